// One scheduled broadcast on one channel, shared between lists, caches and views (possibly on
// different threads), with its description taken apart on first use.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "listings/Category.h"
#include "listings/ChannelAssignment.h"
#include "listings/DateTime.h"
#include "listings/ProgrammeDetails.h"

class CProgramme {
public:
    enum : int { kRealProgramme = 0, kNoListingsPlaceholder = 3, kGapPlaceholder = 4 };

    // Times are seconds since 1970 UTC. An unknown category id resolves to "Unknown".
    CProgramme(std::string strTitle, std::string strScheduleDescription, uint32_t uCategoryID, uint32_t uStart,
               uint32_t uEnd, uint32_t uProgrammeID, uint32_t uChannelID, CChannelAssignmentPtr pAssignment,
               std::vector<uint16_t> keywords, uint32_t uUpdateDate);

    CProgramme(const CProgramme&) = delete;
    CProgramme& operator=(const CProgramme&) = delete;

    uint32_t GetChannelID() const { return m_uChannelID; }
    uint32_t GetStartTime() const { return m_uStart; }
    uint32_t GetEndTime() const { return m_uEnd; }
    CDateTime GetStart() const { return CDateTime(m_uStart); }
    CDateTime GetEnd() const { return CDateTime(m_uEnd); }
    uint16_t GetDuration() const { return m_nDuration; }   // minutes
    const std::string& GetTitle() const { return m_strTitle; }
    const std::string& GetScheduleDescription() const { return m_strScheduleDescription; }
    // The category id as delivered (kept even when the category list does not know it) and
    // the category it resolves to.
    uint32_t GetCategoryID() const { return m_uCategoryID; }
    const CCategoryPtr& GetCategory() const { return m_pCategory; }
    uint32_t GetProgrammeID() const { return m_uProgrammeID; }
    const std::vector<uint16_t>& GetKeywords() const { return m_keywords; }
    int GetPlaceholderKind() const { return m_nPlaceholderKind; }
    uint32_t GetUpdateDate() const { return m_uUpdateDate; }
    const CChannelAssignmentPtr& GetChannelAssignment() const { return m_pAssignment; }

    bool IsOld() const;     // ended before now
    bool IsOnNow() const;   // start <= now < end
    std::string GetTimeSummary() const;
    std::string GetDurationSummary() const;
    // The names of the keyword indexes in the keyword list; an index past its end gives "".
    std::vector<std::string> GetKeywordNames(const std::vector<std::string>& keywordList) const;

    // The parsed description, built once on first use (safe from any thread).
    const CProgrammeDetails& GetDetails() const;

    // Marks the programme as a placeholder; a gap of more than 6 hours takes the title
    // "Programmes start again on <date> at <time>" from its end. Call before sharing it.
    void MarkPlaceholder(int nKind);

    // "Programmes start again on %s at %s" for the time listings resume, or "Programmes start
    // again later" when the date or time text cannot be made.
    static bool MakeResumeTitle(uint32_t uResume, std::string& strTitle);

private:
    uint32_t m_uChannelID = 0;
    uint32_t m_uStart = 0;
    uint32_t m_uEnd = 0;
    uint16_t m_nDuration = 0;
    std::string m_strTitle;
    std::string m_strScheduleDescription;
    uint32_t m_uCategoryID = 0;
    CCategoryPtr m_pCategory;
    uint32_t m_uProgrammeID = 0;
    std::vector<uint16_t> m_keywords;
    int m_nPlaceholderKind = kRealProgramme;
    uint32_t m_uUpdateDate = 0;
    CChannelAssignmentPtr m_pAssignment;
    mutable std::unique_ptr<const CProgrammeDetails> m_pDetails;
};

using CProgrammePtr = std::shared_ptr<CProgramme>;

// An ordered list of shared programmes. Unsorted (mode 0) it keeps the order of adding; with
// any other mode of the script's knProgListSort... family each programme added goes before the
// first one that does not compare below it (above it when descending).
class CProgrammeList {
public:
    CProgrammeList() = default;
    CProgrammeList(int nSortMode, bool bAscending) : m_nSortMode(nSortMode), m_bAscending(bAscending) {}

    void Add(CProgrammePtr pProgramme);
    void InsertAt(size_t nIndex, CProgrammePtr pProgramme) { m_items.insert(m_items.begin() + nIndex, std::move(pProgramme)); }
    void RemoveAt(size_t nIndex) { m_items.erase(m_items.begin() + nIndex); }
    void RemoveAll() { m_items.clear(); }
    size_t GetCount() const { return m_items.size(); }
    bool IsEmpty() const { return m_items.empty(); }
    const CProgrammePtr& GetAt(size_t nIndex) const { return m_items[nIndex]; }
    const CProgrammePtr& GetLast() const { return m_items.back(); }
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

    // Negative when a goes first under the mode (ascending), 0 when they are equal.
    static int Compare(int nSortMode, const CProgramme& a, const CProgramme& b);

private:
    int m_nSortMode = 0;
    bool m_bAscending = true;
    std::vector<CProgrammePtr> m_items;
};
