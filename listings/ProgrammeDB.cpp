// The programme database: schedule cache, listings span, merge rule and the list operations.
#include "listings/ProgrammeDB.h"

#include <algorithm>

#include "foundation/Exceptions.h"
#include "foundation/FileUtils.h"
#include "foundation/Log.h"
#include "foundation/NameHash.h"
#include "listings/DateTime.h"
#include "listings/ProgrammesDatabaseBackgroundProcess.h"
#include "listings/UniqueList.h"
#include "platform/Clock.h"
#include "platform/File.h"

namespace {

// The roles whose names join the unique person list, in the order they are collected.
constexpr const char* kPeopleRoles[] = {kRoleDirector, kRoleGuestStarring, kRoleStarring,
                                        kRoleWriter, kRoleExecutiveProducer, kRoleProducer};

std::string TimeText(uint32_t uTime)
{
    return CDateTime(uTime).GetDateTimeText();
}

}  // namespace

CProgrammeDBFlat::CProgrammeDBFlat(std::string strScheduleFolder, std::string strPendingFolder, ProgrammeDBHooks hooks)
    : m_strScheduleFolder(std::move(strScheduleFolder)),
      m_strPendingFolder(std::move(strPendingFolder)),
      m_hooks(std::move(hooks)),
      m_pAbsorber(std::make_unique<CProgrammesDatabaseBackgroundProcess>(*this))
{
}

CProgrammeDBFlat::~CProgrammeDBFlat()
{
    m_pAbsorber->Close();
}

void CProgrammeDBFlat::Close()
{
    LogInfo("Database closing down");
    m_pAbsorber->Close();
    LogInfo("Database closed");
}

void CProgrammeDBFlat::FlushProgrammeCaches()
{
    std::lock_guard lock(m_cacheLock);
    for (auto& [id, pSchedule] : m_schedules)
        pSchedule->FlushProgrammeCache();
}

CChannelSchedule& CProgrammeDBFlat::GetSchedule(uint32_t uChannelID)
{
    std::lock_guard lock(m_cacheLock);
    std::unique_ptr<CChannelSchedule>& pSchedule = m_schedules[uChannelID];
    if (!pSchedule) {
        pSchedule = std::make_unique<CChannelSchedule>(m_strScheduleFolder, uChannelID, true, m_hooks.isUpdating);
        pSchedule->Load();
    }
    return *pSchedule;
}

void CProgrammeDBFlat::FillLineUp(CChannelAssignmentList& list) const
{
    if (m_hooks.fillLineUp)
        m_hooks.fillLineUp(list);
    else
        CChannelGroups::Instance().FillAssignmentList(list);
}

bool CProgrammeDBFlat::IsChannelOutOfDate(uint32_t uChannelID, uint32_t uRemoteTime)
{
    try {
        const uint32_t uLast = GetSchedule(uChannelID).GetLastUpdateTime();
        LogInfo("CProgrammeDBFlat::IsChannelOutOfDate for channel ID %u last update time %s, remote file time %s",
                uChannelID, TimeText(uLast).c_str(), TimeText(uRemoteTime).c_str());
        return uLast < uRemoteTime;
    } catch (CBaseException* e) {
        LogWarning("CProgrammeDBFlat::IsChannelOutOfDate with error %s", e->GetText());
        e->Delete();
        return false;
    }
}

uint32_t CProgrammeDBFlat::GetChannelLastUpdateID(uint32_t uChannelID)
{
    try {
        return GetSchedule(uChannelID).GetLastUpdateID();
    } catch (CBaseException* e) {
        LogWarning("CProgrammeDBFlat::GetChannelLastUpdateID with error %s", e->GetText());
        e->Delete();
        return 0;
    }
}

uint32_t CProgrammeDBFlat::GetChannelLastUpdateDate(uint32_t uChannelID)
{
    try {
        return GetSchedule(uChannelID).GetLastUpdateDate();
    } catch (CBaseException* e) {
        LogWarning("CProgrammeDBFlat::GetChannelLastUpdateDate with error %s", e->GetText());
        e->Delete();
        return 0;
    }
}

uint32_t CProgrammeDBFlat::GetLineUpLastUpdateDate()
{
    CChannelAssignmentList lineUp;
    FillLineUp(lineUp);
    uint32_t uLatest = 0;
    for (size_t i = 0; i < lineUp.GetCount(); ++i)
        if (CChannelAssignmentPtr pAssignment = lineUp.GetAt(i))
            uLatest = std::max(uLatest, GetChannelLastUpdateDate(pAssignment->GetChannelID()));
    return uLatest;
}

void CProgrammeDBFlat::AddWithMergeRule(CProgrammeList& list, CProgrammePtr pProgramme)
{
    const int32_t nStart = int32_t(pProgramme->GetStartTime());
    const int32_t nEnd = int32_t(pProgramme->GetEndTime());
    // The first programme that does not start before the new one.
    size_t lo = 0, hi = list.GetCount();
    while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        if (int32_t(list.GetAt(mid)->GetStartTime()) < nStart)
            lo = mid + 1;
        else
            hi = mid;
    }
    size_t at = lo;
    if (at < list.GetCount() && int32_t(list.GetAt(at)->GetStartTime()) == nStart)
        list.RemoveAt(at);
    list.InsertAt(at, std::move(pProgramme));
    while (at + 1 < list.GetCount() && int32_t(list.GetAt(at + 1)->GetStartTime()) < nEnd)
        list.RemoveAt(at + 1);
    while (at > 0 && int32_t(list.GetAt(at - 1)->GetEndTime()) > nStart) {
        list.RemoveAt(at - 1);
        --at;
    }
}

bool CProgrammeDBFlat::MergeIntoChannel(uint32_t uChannelID, const std::vector<CProgrammePtr>& programmes,
                                        uint32_t uLastUpdateTime, uint32_t uUpdateID, uint32_t uCutOff,
                                        const char* pszOperation)
{
    CChannelSchedule& schedule = GetSchedule(uChannelID);
    CProgrammeList list;
    if (!schedule.GetAllProgrammes(list, uCutOff)) {
        LogWarning("CProgrammeDBFlat::%s - Failed to get all programmes", pszOperation);
        return false;
    }
    for (const CProgrammePtr& pProgramme : programmes) {
        AddWithMergeRule(list, pProgramme);
        LogDetail("update(%u): %s - %s\n", uUpdateID, TimeText(pProgramme->GetStartTime()).c_str(),
                  pProgramme->GetTitle().c_str());
    }
    return schedule.SetAllProgrammes(list, uLastUpdateTime, uUpdateID);
}

bool CProgrammeDBFlat::UpdateChannelProgrammes(uint32_t uChannelID, const CProgrammeList& programmes,
                                               uint32_t uLastUpdateTime, uint32_t uUpdateID, uint32_t uCutOff)
{
    try {
        ForgetListingsBounds();
        const bool bDone = MergeIntoChannel(uChannelID, {programmes.begin(), programmes.end()}, uLastUpdateTime,
                                            uUpdateID, uCutOff, "UpdateChannelProgrammes");
        ForgetListingsBounds();
        return bDone;
    } catch (CBaseException* e) {
        LogWarning("CProgrammeDBFlat::UpdateChannelProgrammes with error %s", e->GetText());
        e->Delete();
        return false;
    }
}

bool CProgrammeDBFlat::AbsorbChannelPlans(const ListingsPlan& plan, uint32_t uLastUpdateTime, uint32_t uUpdateID,
                                          CUniqueProgrammeList* pProgrammes, CUniquePersonList* pPeople,
                                          uint32_t uCutOff)
{
    LogInfo("CProgrammeDBFlat::AbsorbChannelPlans for channel last update time %s", TimeText(uLastUpdateTime).c_str());
    ForgetListingsBounds();
    const uint32_t uNow = uint32_t(plat::NowUnix());
    for (const ChannelPlan& channel : plan) {
        try {
            std::vector<CProgrammePtr> programmes;
            programmes.reserve(channel.programmes.size());
            for (const PlannedProgramme& planned : channel.programmes) {
                if (!planned.bStartValid) {
                    LogWarning("CProgrammeDBFlat::AbsorbChannelPlans - Skipped '%s' on channel %u: no valid start",
                               planned.strTitle.c_str(), channel.uChannelID);
                    continue;
                }
                const uint64_t uEnd = uint64_t(planned.uStart) + uint64_t(planned.nDuration) * 60;
                auto pProgramme = std::make_shared<CProgramme>(
                    planned.strTitle, planned.strDescription, planned.nCategoryID, planned.uStart,
                    uint32_t(std::min<uint64_t>(uEnd, UINT32_MAX)), planned.uProgrammeID, channel.uChannelID, nullptr,
                    planned.keywords, uNow);
                if (pPeople)
                    for (const char* role : kPeopleRoles)
                        for (const std::string& name : pProgramme->GetDetails().GetPeople(role))
                            pPeople->Add(name);
                if (pProgrammes)
                    pProgrammes->Add(planned.strTitle);
                programmes.push_back(std::move(pProgramme));
            }
            if (!MergeIntoChannel(channel.uChannelID, programmes, uLastUpdateTime, uUpdateID, uCutOff,
                                  "AbsorbChannelPlans"))
                LogWarning("CProgrammeDBFlat::AbsorbChannelPlans - Failed to update channel %u", channel.uChannelID);
        } catch (CBaseException* e) {
            LogWarning("CProgrammeDBFlat::AbsorbChannelPlans - Failed to find channel (%s)", e->GetText());
            e->Delete();
        }
    }
    // A span worked out while the files were being rewritten may mix old and new files.
    ForgetListingsBounds();
    return true;
}

void CProgrammeDBFlat::ForgetListingsBounds()
{
    std::lock_guard lock(m_dbLock);
    m_uFirst = m_uLast = 0;
    plat::DeleteFile(m_strScheduleFolder + kCachedSpanFile);
}

void CProgrammeDBFlat::GetListingsBounds(uint32_t& uFirst, uint32_t& uLast)
{
    std::lock_guard lock(m_dbLock);
    try {
        const std::string path = m_strScheduleFolder + kCachedSpanFile;
        std::vector<uint8_t> bytes;
        if (m_uFirst == 0 && m_uLast == 0 && ReadWholeFile(path, bytes) && bytes.size() >= 8) {
            auto u32 = [&](size_t at) {
                return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
                       uint32_t(bytes[at + 3]) << 24;
            };
            m_uFirst = u32(0);
            m_uLast = u32(4);
        }
        if (m_uFirst == 0 && m_uLast == 0) {
            LogInfo("GetListingsBounds");
            uint32_t uLow = uint32_t(plat::NowUnix()), uHigh = uLow;
            CChannelAssignmentList lineUp;
            FillLineUp(lineUp);
            for (size_t i = 0; i < lineUp.GetCount(); ++i) {
                CChannelAssignmentPtr pAssignment = lineUp.GetAt(i);
                uint32_t uChannelFirst = 0, uChannelLast = 0;
                if (pAssignment && GetSchedule(pAssignment->GetChannelID()).GetListingsBounds(uChannelFirst, uChannelLast)) {
                    uLow = std::min(uLow, uChannelFirst);
                    uHigh = std::max(uHigh, uChannelLast);
                }
            }
            LogInfo("Listings run from %s to %s", TimeText(uLow).c_str(), TimeText(uHigh).c_str());
            m_uFirst = uLow;
            m_uLast = uHigh;
            const uint8_t bytesOut[8] = {uint8_t(uLow), uint8_t(uLow >> 8), uint8_t(uLow >> 16), uint8_t(uLow >> 24),
                                         uint8_t(uHigh), uint8_t(uHigh >> 8), uint8_t(uHigh >> 16), uint8_t(uHigh >> 24)};
            plat::WriteFileReplacing(path, bytesOut, sizeof bytesOut);
        }
    } catch (CBaseException* e) {
        LogWarning("CProgrammeDBFlat::GetListingsBounds with error %s", e->GetText());
        e->Delete();
    }
    uFirst = m_uFirst;
    uLast = m_uLast;
}

bool CProgrammeDBFlat::IsListingsEmpty()
{
    uint32_t uFirst = 0, uLast = 0;
    GetListingsBounds(uFirst, uLast);
    return uFirst == uLast;
}

void CProgrammeDBFlat::GetProgrammeList(const CChannelAssignmentPtr& pAssignment, uint32_t uFrom, uint32_t uTo,
                                        CProgrammeList& list, bool bPlaceholders)
{
    list.RemoveAll();
    if (uTo < uFrom)
        return;   // a range that ends before it starts holds nothing, not even a placeholder
    try {
        if (pAssignment) {
            if (!GetSchedule(pAssignment->GetChannelID()).GetProgrammeList(uFrom, uTo, list, pAssignment, bPlaceholders))
                LogWarning("CProgrammeDBFlat::GetProgrammeList failed to get programme list");
            return;
        }
        CChannelAssignmentList lineUp;
        FillLineUp(lineUp);
        for (size_t i = 0; i < lineUp.GetCount(); ++i) {
            CChannelAssignmentPtr pEntry = lineUp.GetAt(i);
            if (pEntry && !GetSchedule(pEntry->GetChannelID()).GetProgrammeList(uFrom, uTo, list, pEntry, bPlaceholders))
                LogWarning("CProgrammeDBFlat::GetProgrammeList (multi) failed to get programme list");
        }
    } catch (CBaseException* e) {
        LogWarning("CProgrammeDBFlat::GetChannelProgrammeMap with error %s", e->GetText());
        e->Delete();
    }
}

void CProgrammeDBFlat::GetChannelProgrammeMap(ChannelProgrammeMap& map, uint32_t uFrom, uint32_t uTo)
{
    if (uTo < uFrom || map.empty())
        return;
    try {
        for (auto& [pAssignment, list] : map) {
            if (pAssignment)
                GetSchedule(pAssignment->GetChannelID()).GetProgrammeList(uFrom, uTo, list, pAssignment, true);
        }
    } catch (CBaseException* e) {
        LogWarning("CProgrammeDBFlat::GetChannelProgrammeMap with error %s", e->GetText());
        e->Delete();
    }
}

void CProgrammeDBFlat::GetNextProgsChannelProgrammesMap(ChannelProgrammeMap& map, uint32_t uFrom, uint32_t nCount)
{
    if (map.empty() || nCount == 0)
        return;
    try {
        for (auto& [pAssignment, list] : map)
            if (pAssignment)
                GetSchedule(pAssignment->GetChannelID()).GetNextProgrammes(uFrom, nCount, list, pAssignment);
    } catch (CBaseException* e) {
        LogWarning("CProgrammeDBFlat::GetNextProgsChannelProgrammesMap with error %s", e->GetText());
        e->Delete();
    }
}

void CProgrammeDBFlat::GetProgrammeUpdatesOfDay(uint32_t uDay, CProgrammeList& list,
                                                const CChannelAssignmentList& assignments)
{
    try {
        for (size_t i = 0; i < assignments.GetCount(); ++i)
            if (CChannelAssignmentPtr pAssignment = assignments.GetAt(i))
                GetSchedule(pAssignment->GetChannelID()).GetProgrammeUpdatesList(uDay, list, pAssignment);
    } catch (CBaseException* e) {
        LogWarning("CProgrammeDBFlat::GetProgrammeUpdatesOfDay with error %s", e->GetText());
        e->Delete();
    }
}

bool CProgrammeDBFlat::IsUpdateFileQueued(uint32_t uChannelID, uint32_t uUpdateID) const
{
    return m_pAbsorber->IsQueued(m_strPendingFolder + std::to_string(uChannelID) + "-" + std::to_string(uUpdateID) +
                                 ".up");
}

bool CProgrammeDBFlat::IsAbsorberBusy() const
{
    return m_pAbsorber->IsBusy();
}

void CProgrammeDBFlat::AbsorbFile(const std::string& strPath)
{
    m_pAbsorber->AbsorbNewFile(strPath);
}

void CProgrammeDBFlat::SetAbsorberQuietPeriod(uint32_t uMilliseconds)
{
    m_pAbsorber->SetQuietPeriod(uMilliseconds);
}

void CProgrammeDBFlat::NotifyListingsAbsorbed() const
{
    if (m_hooks.onListingsAbsorbed)
        m_hooks.onListingsAbsorbed();
}

void CProgrammeDBFlat::NotifyFileProcessed(const std::string& strPath, const std::string& strResult) const
{
    if (m_hooks.onFileProcessed)
        m_hooks.onFileProcessed(strPath, strResult);
}
