#include "listings/ChannelGroups.h"

#include "foundation/Log.h"
#include "foundation/NameHash.h"
#include "listings/ChannelManager.h"

std::string GetDisplayName(const CChannelAssignment& assignment)
{
    if (!assignment.GetName().empty())
        return assignment.GetName();
    if (const CChannelPtr pChannel = CChannelManager::Get()->GetChannel(assignment.GetChannelID()))
        return pChannel->GetName();
    LogInfo("GetChannelName failed, channel [%u] could not be found", assignment.GetChannelID());
    return {};
}

CChannelAssignmentPtr CChannelAssignmentList::GetAt(size_t nIndex) const
{
    if (nIndex >= m_assignments.size()) {
        LogInfo("CChannelAssignmentList::GetAt - out of bounds");
        return nullptr;
    }
    return m_assignments[nIndex];
}

CChannelAssignmentPtr CChannelGroups::Group::Find(uint32_t uUniqueID) const
{
    if (!bIndexed) {
        byUniqueID.clear();
        for (const CChannelAssignmentPtr& pAssignment : assignments)
            byUniqueID.emplace(pAssignment->GetUniqueAssignedID(), pAssignment);
        bIndexed = true;
    }
    const auto it = byUniqueID.find(uUniqueID);
    return it != byUniqueID.end() ? it->second : nullptr;
}

CChannelGroups& CChannelGroups::Instance()
{
    static CChannelGroups groups;
    return groups;
}

CChannelGroups::Group* CChannelGroups::FindGroup(const std::string& strName)
{
    for (Group& group : m_groups)
        if (NamesEqual(group.strName, strName))
            return &group;
    return nullptr;
}

const CChannelGroups::Group* CChannelGroups::FindGroup(const std::string& strName) const
{
    return const_cast<CChannelGroups*>(this)->FindGroup(strName);
}

const CChannelGroups::Group* CChannelGroups::FindGroupOf(uint32_t uUniqueID, CChannelAssignmentPtr& pFound) const
{
    for (const Group& group : m_groups)
        if ((pFound = group.Find(uUniqueID)))
            return &group;
    return nullptr;
}

std::optional<std::vector<CChannelAssignmentPtr>> CChannelGroups::GetGroup(const std::string& strName) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    const Group* pGroup = FindGroup(strName);
    if (!pGroup)
        return std::nullopt;
    return pGroup->assignments;
}

CChannelGroups::Group& CChannelGroups::FindOrAddGroup(const std::string& strName)
{
    Group* pGroup = FindGroup(strName);
    return pGroup ? *pGroup : m_groups.emplace_back(Group{strName, {}, {}, false});
}

void CChannelGroups::AddAssignment(const std::string& strGroup, CChannelAssignmentPtr pAssignment)
{
    std::lock_guard<std::mutex> lock(m_lock);
    Group& group = FindOrAddGroup(strGroup);
    group.assignments.push_back(std::move(pAssignment));
    group.bIndexed = false;
}

void CChannelGroups::SetGroup(const std::string& strGroup, std::vector<CChannelAssignmentPtr> assignments)
{
    std::lock_guard<std::mutex> lock(m_lock);
    Group& group = FindOrAddGroup(strGroup);
    group.assignments = std::move(assignments);
    group.bIndexed = false;
}

CChannelAssignmentPtr CChannelGroups::GetChannelAssignment(uint32_t uUniqueID) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    CChannelAssignmentPtr pFound;
    if (!FindGroupOf(uUniqueID, pFound))
        LogInfo("CChannelGroups::GetChannelAssignment couldn't find channel assignment");
    return pFound;
}

std::optional<std::string> CChannelGroups::GetGroupFromUniqueChannelID(uint32_t uUniqueID) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    CChannelAssignmentPtr pFound;
    if (const Group* pGroup = FindGroupOf(uUniqueID, pFound))
        return pGroup->strName;
    LogInfo("CChannelGroups::GetGroupFromUniqueChannelID couldn't find group");
    return std::nullopt;
}

bool CChannelGroups::HasChannel(uint32_t uChannelID) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    for (const Group& group : m_groups)
        for (const CChannelAssignmentPtr& pAssignment : group.assignments)
            if (pAssignment->GetChannelID() == uChannelID)
                return true;
    return false;
}

void CChannelGroups::FillAssignmentList(CChannelAssignmentList& list) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    list.Clear();
    for (const Group& group : m_groups)
        for (const CChannelAssignmentPtr& pAssignment : group.assignments)
            list.Add(pAssignment);
}
