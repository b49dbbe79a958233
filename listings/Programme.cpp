#include "listings/Programme.h"

#include <algorithm>
#include <mutex>

#include "listings/TimeSummary.h"
#include "platform/Clock.h"

namespace {

// One lock for building the details of every programme, so no description is parsed twice.
std::mutex g_detailsLock;

}  // namespace

CProgramme::CProgramme(std::string strTitle, std::string strScheduleDescription, uint32_t uCategoryID,
                       uint32_t uStart, uint32_t uEnd, uint32_t uProgrammeID, uint32_t uChannelID,
                       CChannelAssignmentPtr pAssignment, std::vector<uint16_t> keywords, uint32_t uUpdateDate)
    : m_uChannelID(uChannelID), m_uStart(uStart), m_uEnd(uEnd),
      m_nDuration(static_cast<uint16_t>(uEnd > uStart ? std::min<uint32_t>((uEnd - uStart) / 60, 0xFFFF) : 0)),
      m_strTitle(std::move(strTitle)), m_strScheduleDescription(std::move(strScheduleDescription)),
      m_uCategoryID(uCategoryID), m_pCategory(CCategoryList::Instance().GetCategory(uCategoryID)), m_uProgrammeID(uProgrammeID),
      m_keywords(std::move(keywords)), m_uUpdateDate(uUpdateDate), m_pAssignment(std::move(pAssignment)) {}

bool CProgramme::IsOld() const { return plat::NowUnix() > int64_t(m_uEnd); }

bool CProgramme::IsOnNow() const {
    const int64_t now = plat::NowUnix();
    return int64_t(m_uStart) <= now && now < int64_t(m_uEnd);
}

std::string CProgramme::GetTimeSummary() const { return ::GetTimeSummary(m_uStart, m_uEnd, plat::NowUnix()); }

std::string CProgramme::GetDurationSummary() const { return GetDurationText(m_nDuration); }

std::vector<std::string> CProgramme::GetKeywordNames(const std::vector<std::string>& keywordList) const {
    std::vector<std::string> names;
    names.reserve(m_keywords.size());
    for (const uint16_t index : m_keywords) names.push_back(index < keywordList.size() ? keywordList[index] : std::string());
    return names;
}

const CProgrammeDetails& CProgramme::GetDetails() const {
    std::lock_guard<std::mutex> lock(g_detailsLock);
    if (!m_pDetails) m_pDetails = std::make_unique<const CProgrammeDetails>(m_strScheduleDescription);
    return *m_pDetails;
}

void CProgramme::MarkPlaceholder(int nKind) {
    m_nPlaceholderKind = nKind;
    if (nKind == kGapPlaceholder && m_nDuration > 360) MakeResumeTitle(m_uEnd, m_strTitle);
}

bool CProgramme::MakeResumeTitle(uint32_t uResume, std::string& strTitle) {
    const CDateTime resume(uResume);
    std::string date, time;
    if (!resume.GetLongDateText(date) || !resume.GetTimeText(time)) {
        strTitle = "Programmes start again later";
        return false;
    }
    strTitle = "Programmes start again on " + date + " at " + time;
    return true;
}
