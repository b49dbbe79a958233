#include "script/ChannelAssignmentObject.h"

#include "listings/ChannelGroups.h"
#include "listings/ChannelManager.h"
#include "script/ListingsObjects.h"

namespace {

class CJSChannelAssignment : public CJSObject {
public:
    enum { kChannel = 1, kName, kID, kUniqueAssignedID, kEPG };
    explicit CJSChannelAssignment(CChannelAssignmentPtr pAssignment) : m_pAssignment(std::move(pAssignment)) {}

    bool GetProperty(JSContext* cx, JS::HandleObject obj, int nTinyId, JS::MutableHandleValue vp) override
    {
        switch (nTinyId) {
        case kChannel: {
            const std::shared_ptr<CChannelManager> pManager = CChannelManager::Get();
            return ChannelValue(cx, pManager ? pManager->GetChannel(m_pAssignment->GetChannelID()) : nullptr, vp);
        }
        case kName: return TextValue(cx, GetDisplayName(*m_pAssignment), vp);
        case kID: vp.setNumber(m_pAssignment->GetChannelID()); return true;
        case kUniqueAssignedID: vp.setNumber(m_pAssignment->GetUniqueAssignedID()); return true;
        case kEPG: return TextValue(cx, m_pAssignment->GetEPG(), vp);
        default: return JSFail(cx, "%s", "Unknown property request to Channel");
        }
    }

    bool SetProperty(JSContext* cx, JS::HandleObject, int, JS::MutableHandleValue) override
    {
        return JSFail(cx, "%s", "Unknown writable property request to Channel");
    }

private:
    CChannelAssignmentPtr m_pAssignment;
};

const CJSPropertySpec kProperties[] = {
    {"channel", CJSChannelAssignment::kChannel, true},
    {"name", CJSChannelAssignment::kName, true},
    {"id", CJSChannelAssignment::kID, true},
    {"uniqueAssignedID", CJSChannelAssignment::kUniqueAssignedID, true},
    {"epg", CJSChannelAssignment::kEPG, true},
    {nullptr, 0, false}};

}  // namespace

const CJSClassRecord g_channelAssignmentClass("ChannelAssignment", nullptr, kProperties, nullptr, false);

bool ChannelAssignmentValue(JSContext* cx, const CChannelAssignmentPtr& pAssignment, JS::MutableHandleValue rval)
{
    return NativeValue(cx, g_channelAssignmentClass, pAssignment ? new CJSChannelAssignment(pAssignment) : nullptr, rval);
}
