// A line-up entry: a channel as the user has it in a channel group. Programmes are listed
// through one, and carry it so that the views know which entry they belong to.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

class CChannelAssignment {
public:
    CChannelAssignment(uint32_t uUniqueAssignedID, uint32_t uChannelID, std::string strEPG, std::string strName)
        : m_uUniqueAssignedID(uUniqueAssignedID), m_uChannelID(uChannelID), m_strEPG(std::move(strEPG)),
          m_strName(std::move(strName)) {}

    uint32_t GetUniqueAssignedID() const { return m_uUniqueAssignedID; }   // 0 when none
    uint32_t GetChannelID() const { return m_uChannelID; }
    const std::string& GetEPG() const { return m_strEPG; }
    const std::string& GetName() const { return m_strName; }   // may be empty: the channel's name applies

private:
    uint32_t m_uUniqueAssignedID = 0;
    uint32_t m_uChannelID = 0;
    std::string m_strEPG;
    std::string m_strName;
};

using CChannelAssignmentPtr = std::shared_ptr<const CChannelAssignment>;
