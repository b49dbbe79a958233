#include "script/ProgrammeObject.h"

#include <js/Array.h>
#include <js/Date.h>

#include "listings/ProgrammeDBManager.h"
#include "script/ChannelAssignmentObject.h"
#include "script/ListingsObjects.h"

namespace {

class CJSProgramme : public CJSObject {
public:
    enum {
        kID = 1, kName, kStartDate, kEndDate, kChannelAssignment, kCategory, kSeriesNumber, kEpisodeNumber,
        kEpisodeName, kEpisodeDetails, kYear, kStarRating, kCertificate, kSpecialEpisode, kDescription,
        kScheduleDescription, kQualifiers
    };
    explicit CJSProgramme(CProgrammePtr pProgramme) : m_pProgramme(std::move(pProgramme)) {}

    const CProgramme& Get() const { return *m_pProgramme; }

    bool GetProperty(JSContext* cx, JS::HandleObject obj, int nTinyId, JS::MutableHandleValue vp) override
    {
        const CProgramme& programme = *m_pProgramme;
        switch (nTinyId) {
        case kID: vp.setNumber(programme.GetProgrammeID()); return true;
        case kName: return TextValue(cx, programme.GetTitle(), vp);
        case kStartDate: return DateValue(cx, programme.GetStart(), vp);
        case kEndDate: return DateValue(cx, programme.GetEnd(), vp);
        case kChannelAssignment: return ChannelAssignmentValue(cx, programme.GetChannelAssignment(), vp);
        case kCategory: return CategoryValue(cx, programme.GetCategory(), vp);
        case kScheduleDescription: return TextValue(cx, programme.GetScheduleDescription(), vp);
        default: break;
        }
        const CProgrammeDetails& details = programme.GetDetails();
        switch (nTinyId) {
        case kSeriesNumber: vp.setInt32(details.GetSeriesNumber()); return true;
        case kEpisodeNumber: vp.setInt32(details.GetEpisodeNumber()); return true;
        case kEpisodeName: return TextValue(cx, details.GetEpisodeName(), vp);
        case kEpisodeDetails: return TextValue(cx, details.GetEpisodeDetails(), vp);
        case kYear: vp.setInt32(details.GetYear()); return true;
        case kStarRating: vp.setInt32(details.GetStarRating()); return true;
        case kCertificate: return TextValue(cx, details.GetCertificate(), vp);
        case kSpecialEpisode: vp.setBoolean(details.IsSpecialEpisode()); return true;
        case kDescription: return TextValue(cx, details.GetDescription(), vp);
        case kQualifiers: return TextValue(cx, details.GetQualifiers(), vp);
        default: return CJSObject::GetProperty(cx, obj, nTinyId, vp);
        }
    }

private:
    // A Date of the programme's instant, so that its local year, month, day, hour, minute and
    // second are the programme's. (Built from those fields it would be an hour out for the
    // times that come twice when the clocks go back.)
    static bool DateValue(JSContext* cx, const CDateTime& time, JS::MutableHandleValue vp)
    {
        JSObject* date = JS::NewDateObject(cx, JS::TimeClip(static_cast<double>(time.GetTime()) * 1000.0));
        if (!date)
            return false;
        vp.setObject(*date);
        return true;
    }

    CProgrammePtr m_pProgramme;
};

const CJSProgramme* This(JSContext* cx, const JS::CallArgs& args, const char* pszName, unsigned nArgs)
{
    if (!JSCheckArgCount(cx, args, pszName, nArgs, true))
        return nullptr;
    return JSThisNative<CJSProgramme>(cx, args, g_programmeClass);
}

bool IsOld(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    const CJSProgramme* pThis = This(cx, args, "isOld", 0);
    if (!pThis)
        return false;
    args.rval().setBoolean(pThis->Get().IsOld());
    return true;
}

bool IsOnNow(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    const CJSProgramme* pThis = This(cx, args, "isOnNow", 0);
    if (!pThis)
        return false;
    args.rval().setBoolean(pThis->Get().IsOnNow());
    return true;
}

bool TextArray(JSContext* cx, const std::vector<std::string>& texts, JS::MutableHandleValue rval)
{
    JS::RootedObject array(cx, JS::NewArrayObject(cx, 0));
    if (!array)
        return false;
    for (uint32_t i = 0; i < texts.size(); ++i) {
        JS::RootedValue value(cx);
        if (!TextValue(cx, texts[i], &value) || !JS_SetElement(cx, array, i, value))
            return false;
    }
    rval.setObject(*array);
    return true;
}

bool GetPeople(JSContext* cx, unsigned argc, JS::Value* vp)
{
    // In the order of the constants knGuests ... knWriters.
    static const char* const kRoles[] = {kRoleGuestStarring, kRoleStarring, kRoleDirector, kRoleProducer, kRoleWriter};
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    const CJSProgramme* pThis = This(cx, args, "getPeople", 1);
    if (!pThis)
        return false;
    const int32_t nRole = JSValueToInt(cx, args[0]);
    if (nRole < 0 || nRole > 4)
        return JSFail(cx, "Unknown parameter value passed '%d'", nRole);
    return TextArray(cx, pThis->Get().GetDetails().GetPeople(kRoles[nRole]), args.rval());
}

bool GetKeywords(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    const CJSProgramme* pThis = This(cx, args, "getKeywords", 0);
    if (!pThis)
        return false;
    const CKeywordList& keywords = CProgrammeDBManager::Instance().GetKeywords();
    std::vector<std::string> names;
    for (const uint16_t nIndex : pThis->Get().GetKeywords())
        names.push_back(keywords.GetKeyword(nIndex));
    return TextArray(cx, names, args.rval());
}

bool GetTimeSummary(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    const CJSProgramme* pThis = This(cx, args, "getTimeSummary", 0);
    return pThis && TextValue(cx, pThis->Get().GetTimeSummary(), args.rval());
}

bool GetDurationSummary(JSContext* cx, unsigned argc, JS::Value* vp)
{
    JS::CallArgs args = JS::CallArgsFromVp(argc, vp);
    const CJSProgramme* pThis = This(cx, args, "getDurationSummary", 0);
    return pThis && TextValue(cx, pThis->Get().GetDurationSummary(), args.rval());
}

const JSFunctionSpec kMethods[] = {
    JS_FN("isOld", IsOld, 0, 0),
    JS_FN("isOnNow", IsOnNow, 0, 0),
    JS_FN("getPeople", GetPeople, 1, 0),
    JS_FN("getKeywords", GetKeywords, 0, 0),
    JS_FN("getTimeSummary", GetTimeSummary, 0, 0),
    JS_FN("getDurationSummary", GetDurationSummary, 0, 0),
    JS_FS_END};

const CJSPropertySpec kProperties[] = {
    {"id", CJSProgramme::kID, true},
    {"name", CJSProgramme::kName, true},
    {"startDate", CJSProgramme::kStartDate, true},
    {"endDate", CJSProgramme::kEndDate, true},
    {"channelAssignment", CJSProgramme::kChannelAssignment, true},
    {"category", CJSProgramme::kCategory, true},
    {"seriesNumber", CJSProgramme::kSeriesNumber, true},
    {"episodeNumber", CJSProgramme::kEpisodeNumber, true},
    {"episodeName", CJSProgramme::kEpisodeName, true},
    {"episodeDetails", CJSProgramme::kEpisodeDetails, true},
    {"year", CJSProgramme::kYear, true},
    {"starRating", CJSProgramme::kStarRating, true},
    {"certificate", CJSProgramme::kCertificate, true},
    {"specialEpisode", CJSProgramme::kSpecialEpisode, true},
    {"description", CJSProgramme::kDescription, true},
    {"scheduleDescription", CJSProgramme::kScheduleDescription, true},
    {"qualifiers", CJSProgramme::kQualifiers, true},
    {nullptr, 0, false}};

}  // namespace

const CJSClassRecord g_programmeClass("Programme", kMethods, kProperties, nullptr, false);

bool ProgrammeArray(JSContext* cx, const CProgrammeList& list, JS::MutableHandleValue rval)
{
    JS::RootedObject array(cx, JS::NewArrayObject(cx, 0));
    if (!array)
        return false;
    uint32_t nIndex = 0;
    for (const CProgrammePtr& pProgramme : list) {
        JS::RootedValue value(cx);
        if (!NativeValue(cx, g_programmeClass, new CJSProgramme(pProgramme), &value) ||
            !JS_SetElement(cx, array, nIndex++, value))
            return false;
    }
    rval.setObject(*array);
    return true;
}
