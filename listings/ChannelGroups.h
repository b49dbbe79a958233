// The user's channel line-up: named groups of channel assignments, kept in order. Every list of
// all the user's channels walks the groups in order, through a flat CChannelAssignmentList.
// Any thread may use the groups.
#pragma once
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "listings/ChannelAssignment.h"

// The group that the region's channels make up.
inline constexpr char kMyChannelsGroup[] = "My Channels";

// The assignment's own name, or else the name of its channel in the channel manager ("" when
// the channel is unknown, which is logged).
std::string GetDisplayName(const CChannelAssignment& assignment);

// A flat, ordered list of assignments taken from all groups, group by group.
class CChannelAssignmentList {
public:
    size_t GetCount() const { return m_assignments.size(); }
    // Null, logged, for an index out of range.
    CChannelAssignmentPtr GetAt(size_t nIndex) const;
    void Add(CChannelAssignmentPtr pAssignment) { m_assignments.push_back(std::move(pAssignment)); }
    void Clear() { m_assignments.clear(); }

private:
    std::vector<CChannelAssignmentPtr> m_assignments;
};

class CChannelGroups {
public:
    // The process's line-up.
    static CChannelGroups& Instance();

    // The assignments of the first group of that name (compared without regard to case);
    // nothing when there is no such group.
    std::optional<std::vector<CChannelAssignmentPtr>> GetGroup(const std::string& strName) const;
    // Appends to the named group, which is made at the end when missing.
    void AddAssignment(const std::string& strGroup, CChannelAssignmentPtr pAssignment);
    // Replaces the named group's assignments at once (readers see the old or the new ones),
    // making the group at the end when missing.
    void SetGroup(const std::string& strGroup, std::vector<CChannelAssignmentPtr> assignments);

    // By unique assigned id; null, logged, when no group has it.
    CChannelAssignmentPtr GetChannelAssignment(uint32_t uUniqueID) const;
    // The name of the group holding that unique assigned id; nothing, logged, when none does.
    std::optional<std::string> GetGroupFromUniqueChannelID(uint32_t uUniqueID) const;
    // True when any group has an assignment of the channel.
    bool HasChannel(uint32_t uChannelID) const;
    // Fills the list with every assignment of every group, in group order.
    void FillAssignmentList(CChannelAssignmentList& list) const;

private:
    struct Group {
        std::string strName;
        std::vector<CChannelAssignmentPtr> assignments;
        // Unique assigned id to assignment, made on the first lookup after a change.
        mutable std::unordered_map<uint32_t, CChannelAssignmentPtr> byUniqueID;
        mutable bool bIndexed = false;

        CChannelAssignmentPtr Find(uint32_t uUniqueID) const;
    };
    Group& FindOrAddGroup(const std::string& strName);
    Group* FindGroup(const std::string& strName);
    const Group* FindGroup(const std::string& strName) const;
    const Group* FindGroupOf(uint32_t uUniqueID, CChannelAssignmentPtr& pFound) const;

    mutable std::mutex m_lock;
    std::vector<Group> m_groups;
};
