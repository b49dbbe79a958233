#include "script/ListingsObjects.h"

#include <js/Array.h>

#include <algorithm>
#include <cstdint>

#include "listings/Category.h"
#include "listings/Channel.h"
#include "listings/ChannelGroups.h"
#include "listings/ChannelManager.h"
#include "listings/ProgrammeDB.h"
#include "listings/ProgrammeDBManager.h"
#include "script/ChannelAssignmentObject.h"
#include "script/GlobalFunctions.h"
#include "script/JSObject.h"
#include "script/ProgrammeObject.h"

namespace {

// ---- Category -------------------------------------------------------------------------------

class CJSCategory : public CJSObject {
public:
    enum { kName = 1, kID = 2 };
    explicit CJSCategory(CCategoryPtr pCategory) : m_pCategory(std::move(pCategory)) {}

    bool GetProperty(JSContext* cx, JS::HandleObject obj, int nTinyId, JS::MutableHandleValue vp) override
    {
        if (nTinyId == kName)
            return TextValue(cx, m_pCategory->GetName(), vp);
        if (nTinyId == kID) {
            vp.setNumber(m_pCategory->GetID());
            return true;
        }
        return CJSObject::GetProperty(cx, obj, nTinyId, vp);
    }

private:
    CCategoryPtr m_pCategory;
};

const CJSPropertySpec kCategoryProperties[] = {
    {"name", CJSCategory::kName, true}, {"id", CJSCategory::kID, true}, {nullptr, 0, false}};
const CJSClassRecord g_categoryClass("Category", nullptr, kCategoryProperties, nullptr, false);

// ---- Channel --------------------------------------------------------------------------------

class CJSChannel : public CJSObject {
public:
    enum { kName = 1, kID = 2, kImageFilename = 3, kURL = 4 };
    explicit CJSChannel(CChannelPtr pChannel) : m_pChannel(std::move(pChannel)) {}

    bool GetProperty(JSContext* cx, JS::HandleObject obj, int nTinyId, JS::MutableHandleValue vp) override
    {
        switch (nTinyId) {
        case kName: return TextValue(cx, m_pChannel->GetName(), vp);
        case kID: vp.setNumber(m_pChannel->GetID()); return true;
        case kImageFilename: return TextValue(cx, m_pChannel->GetImageFileName(), vp);
        case kURL: return TextValue(cx, m_pChannel->GetWebAddress(), vp);
        default: return CJSObject::GetProperty(cx, obj, nTinyId, vp);
        }
    }

private:
    CChannelPtr m_pChannel;
};

// Channels of this program all come from the listings service.
bool IsUserChannel(JSContext*, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    args.rval().setBoolean(false);
    return true;
}

const JSFunctionSpec kChannelMethods[] = {JS_FN("isUserChannel", IsUserChannel, 0, 0), JS_FS_END};
const CJSPropertySpec kChannelProperties[] = {
    {"name", CJSChannel::kName, true},
    {"id", CJSChannel::kID, true},
    {"imageFilename", CJSChannel::kImageFilename, true},
    {"url", CJSChannel::kURL, true},
    {nullptr, 0, false}};
const CJSClassRecord g_channelClass("Channel", kChannelMethods, kChannelProperties, nullptr, false);

// A script object for each item, in an array; false after a report.
template <class TNative, class TItem>
bool MakeArray(JSContext* cx, const CJSClassRecord& record, const std::vector<TItem>& items, JS::MutableHandleValue rval)
{
    CScriptEngine* pEngine = CScriptEngine::FromContext(cx);
    JS::RootedObject array(cx, JS::NewArrayObject(cx, 0));
    if (!pEngine || !array)
        return false;
    uint32_t nIndex = 0;
    for (const TItem& item : items) {
        JS::RootedObject obj(cx, NewInstance(*pEngine, record, new TNative(item)));
        if (!obj || !JS_SetElement(cx, array, nIndex++, obj))
            return false;
    }
    rval.setObject(*array);
    return true;
}

std::vector<CChannelPtr> AllChannels()
{
    const std::shared_ptr<CChannelManager> pManager = CChannelManager::Get();
    return pManager ? pManager->GetChannels() : std::vector<CChannelPtr>();
}

// ---- ListingsManager ------------------------------------------------------------------------

bool IsDBEmpty(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!JSCheckArgCount(cx, args, "isDBEmpty", 0, true))
        return false;
    CProgrammeDBFlat* pDatabase = CProgrammeDBManager::Instance().GetDatabase();
    args.rval().setBoolean(!pDatabase || pDatabase->IsListingsEmpty());
    return true;
}

bool GetCategories(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    return JSCheckArgCount(cx, args, "getCategories", 0, true) &&
           MakeArray<CJSCategory>(cx, g_categoryClass, CCategoryList::Instance().GetSortedCategories(), args.rval());
}

bool GetChannels(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    return JSCheckArgCount(cx, args, "getChannels", 0, true) &&
           MakeArray<CJSChannel>(cx, g_channelClass, AllChannels(), args.rval());
}

// (from, to[, sort mode[, ascending with placeholders]]): the programmes of the whole line-up.
bool GetProgrammeListForTimeRange(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!JSCheckArgCount(cx, args, "getProgrammeListForTimeRange", 2, false))
        return false;
    const CDateTime from = DateArgument(cx, args[0]);
    const CDateTime to = from.IsValid() ? DateArgument(cx, args[1]) : CDateTime();
    if (!from.IsValid() || !to.IsValid())
        return JSFail(cx, "%s", "getProgrammeForTimeRange needs a date/time range");
    const int32_t nSortMode = args.length() > 2 ? JSValueToInt(cx, args[2]) : 0;
    const bool bAscending = args.length() > 3 ? JSValueToBool(cx, args[3]) : args.length() == 2;

    // Listings times are unsigned 32-bit seconds: a date outside them stands for their nearest end.
    auto listingsTime = [](const CDateTime& time) {
        return static_cast<uint32_t>(std::clamp<int64_t>(time.GetTime(), 0, UINT32_MAX));
    };
    CProgrammeList found;
    if (CProgrammeDBFlat* pDatabase = CProgrammeDBManager::Instance().GetDatabase())
        pDatabase->GetProgrammeList(nullptr, listingsTime(from), listingsTime(to), found, bAscending);
    CProgrammeList sorted(nSortMode, bAscending);
    for (const CProgrammePtr& pProgramme : found)
        sorted.Add(pProgramme);
    return ProgrammeArray(cx, sorted, args.rval());
}

CJSObject* RefuseListingsManager(JSContext* cx, const JS::CallArgs&)
{
    JSFail(cx, "%s", "ListingsManager objects cannot be created within script");
    return nullptr;
}

const JSFunctionSpec kListingsManagerMethods[] = {
    JS_FN("isDBEmpty", IsDBEmpty, 0, 0),
    JS_FN("getCategories", GetCategories, 0, 0),
    JS_FN("getChannels", GetChannels, 0, 0),
    JS_FN("getProgrammeListForTimeRange", GetProgrammeListForTimeRange, 2, 0),
    JS_FS_END};
const CJSClassRecord g_listingsManagerClass("ListingsManager", kListingsManagerMethods, nullptr,
                                            RefuseListingsManager, true);

// ---- ChannelManager -------------------------------------------------------------------------

bool IsChannelSelected(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!JSCheckArgCount(cx, args, "isChannelSelected", 1, false))
        return false;
    args.rval().setBoolean(CChannelGroups::Instance().HasChannel(static_cast<uint32_t>(JSValueToInt(cx, args[0]))));
    return true;
}

bool GetChannelFromID(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!JSCheckArgCount(cx, args, "getChannelFromID", 1, false))
        return false;
    const uint32_t uID = static_cast<uint32_t>(JSValueToInt(cx, args[0]));
    const std::shared_ptr<CChannelManager> pManager = CChannelManager::Get();
    return ChannelValue(cx, pManager ? pManager->GetChannel(uID) : nullptr, args.rval());
}

bool GetChannelFromName(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    if (!JSCheckArgCount(cx, args, "getChannelFromName", 1, false))
        return false;
    const std::string name = JSValueToText(cx, args[0]);
    const std::shared_ptr<CChannelManager> pManager = CChannelManager::Get();
    return ChannelValue(cx, pManager ? pManager->GetChannelByName(name) : nullptr, args.rval());
}

CJSObject* RefuseChannelManager(JSContext* cx, const JS::CallArgs&)
{
    JSFail(cx, "%s", "ChannelManager objects cannot be created within script");
    return nullptr;
}

const JSFunctionSpec kChannelManagerMethods[] = {
    JS_FN("isChannelSelected", IsChannelSelected, 1, 0),
    JS_FN("getChannelFromID", GetChannelFromID, 1, 0),
    JS_FN("getChannelFromName", GetChannelFromName, 1, 0),
    JS_FS_END};
const CJSClassRecord g_channelManagerClass("ChannelManager", kChannelManagerMethods, nullptr,
                                           RefuseChannelManager, true);

// ---- constants ------------------------------------------------------------------------------

const CJSConstantSpec kListingsConstants[] = {
    {0, "knListSortUnsorted"},
    {1, "knProgListSortChannel"},
    {2, "knProgListSortOldButMustStayFavourite"},
    {3, "knProgListSortOldButMustStayReminder"},
    {4, "knProgListSortOldButMustStaySmartSearch"},
    {5, "knProgListSortCategory"},
    {6, "knProgListSortProgrammeName"},
    {7, "knProgListSortDate"},
    {8, "knProgListSortStartTime"},
    {9, "knProgListSortEndTime"},
    {10, "knProgListSortDuration"},
    {11, "knProgListSortVideoPlus"},
    {12, "knProgListSortEPG"},
    {13, "knProgListSortDay"},
    {14, "knProgListSortMarkers"},
    {15, "knProgListSortSeries"},
    {16, "knProgListSortEpisode"},
    {17, "knProgListSortNowNext"},
    {18, "knProgListSortLongDate"},
    {19, "knProgListSortEpisodeName"},
    {20, "knProgListSortCertificate"},
    {21, "knProgListSortRating"},
    {0, "knGuests"},
    {1, "knStars"},
    {2, "knDirectors"},
    {3, "knProducers"},
    {4, "knWriters"},
    {0, nullptr}};

bool GetManagerObject(CScriptEngine& engine, JS::HandleObject app, const char* pszName,
                      const CJSClassRecord& record, JS::MutableHandleValue result)
{
    JSContext* cx = engine.GetContext();
    if (!JS_GetProperty(cx, app, pszName, result))
        return false;
    if (result.isObject())
        return true;
    JSObject* obj = DefineStaticObject(engine, app, pszName, record, nullptr);
    if (!obj)
        return false;
    result.setObject(*obj);
    return true;
}

}  // namespace

bool DefineListingsClasses(CScriptEngine& engine)
{
    JSContext* cx = engine.GetContext();
    if (!cx)
        return false;
    CScriptEngine::CEnter enter(engine);
    for (const CJSClassRecord* pRecord : {&g_listingsManagerClass, &g_channelManagerClass, &g_categoryClass,
                                         &g_channelClass, &g_channelAssignmentClass, &g_programmeClass})
        if (!DefineClass(engine, *pRecord))
            return false;
    return DefineConstants(cx, engine.GetGlobalObject(), kListingsConstants);
}

bool GetListingsManagerObject(CScriptEngine& engine, JS::HandleObject app, JS::MutableHandleValue result)
{
    return GetManagerObject(engine, app, "listingsManager", g_listingsManagerClass, result);
}

bool GetChannelManagerObject(CScriptEngine& engine, JS::HandleObject app, JS::MutableHandleValue result)
{
    return GetManagerObject(engine, app, "channelManager", g_channelManagerClass, result);
}

bool TextValue(JSContext* cx, const std::string& text, JS::MutableHandleValue vp)
{
    JSString* str = JSNewText(cx, text);
    if (!str)
        return false;
    vp.setString(str);
    return true;
}

bool NativeValue(JSContext* cx, const CJSClassRecord& record, CJSObject* pNative, JS::MutableHandleValue rval)
{
    if (!pNative) {
        rval.setNull();
        return true;
    }
    CScriptEngine* pEngine = CScriptEngine::FromContext(cx);
    JSObject* obj = pEngine ? NewInstance(*pEngine, record, pNative) : nullptr;
    if (!obj) {
        if (!pEngine)
            delete pNative;
        return false;
    }
    rval.setObject(*obj);
    return true;
}

bool CategoryValue(JSContext* cx, const CCategoryPtr& pCategory, JS::MutableHandleValue rval)
{
    return NativeValue(cx, g_categoryClass, pCategory ? new CJSCategory(pCategory) : nullptr, rval);
}

bool ChannelValue(JSContext* cx, const CChannelPtr& pChannel, JS::MutableHandleValue rval)
{
    return NativeValue(cx, g_channelClass, pChannel ? new CJSChannel(pChannel) : nullptr, rval);
}
