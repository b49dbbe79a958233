#include "listings/Marker.h"

#include "foundation/TextFold.h"
#include "listings/ProgrammeDetails.h"

namespace {

constexpr int64_t kExpiryDelay = 86400;   // a showing's marker lasts a day past its start

bool StartMatches(const MarkerTime& time, const CProgramme& programme)
{
    if (time.m_nKind == MarkerTime::kExactStart)
        return int64_t(programme.GetStartTime()) == time.m_nStart;
    const CDateTime start = programme.GetStart();
    const int day = start.GetDayOfWeek();
    const int minutes = start.GetHour() * 60 + start.GetMinute();
    switch (time.m_nKind) {
    case MarkerTime::kDaysOfWeek:
        if (!(time.m_uDays & (1u << day)))
            return false;
        if (!time.m_bWindow)
            return true;
        if (time.m_nWindowFrom <= time.m_nWindowTo)
            return minutes >= time.m_nWindowFrom && minutes < time.m_nWindowTo;
        return minutes >= time.m_nWindowFrom || minutes < time.m_nWindowTo;
    case MarkerTime::kTimeOfDay:
        return start.GetHour() == time.m_nHour && start.GetMinute() == time.m_nMinute;
    case MarkerTime::kDayAndTime:
        return day == time.m_nDayOfWeek && start.GetHour() == time.m_nHour && start.GetMinute() == time.m_nMinute;
    default:
        return false;
    }
}

std::string JoinPeople(const CProgrammeDetails& details)
{
    std::string joined;
    for (const char* role : kRoleLabels)
        for (const std::string& name : details.GetPeople(role))
            joined += (joined.empty() ? "" : ", ") + name;
    return joined;
}

}  // namespace

void CMarker::SetSearchTerms(const std::string& strTerms, CSearchExpression::MatchMode mode)
{
    std::shared_ptr<const CSearchExpression> pSearch;
    if (!strTerms.empty())
        pSearch = std::make_shared<const CSearchExpression>(strTerms, mode);
    m_pSearch = std::move(pSearch);
    m_strSearchTerms = strTerms;
}

bool CMarker::Matches(const CProgramme& programme, const Names& names) const
{
    if (!m_strTitle.empty() && !textfold::EqualFolded(programme.GetTitle(), m_strTitle))
        return false;
    if (!m_bAllCategories && !m_categories.count(programme.GetCategoryID()))
        return false;
    if (!m_bAllChannels && !m_channels.count(programme.GetChannelID()))
        return false;
    if (!StartMatches(m_time, programme))
        return false;
    if (m_series || m_episode) {
        const CProgrammeDetails& details = programme.GetDetails();
        if (m_series && details.GetSeriesNumber() != *m_series)
            return false;
        if (m_episode && details.GetEpisodeNumber() != *m_episode)
            return false;
    }
    if (!m_pSearch)
        return true;

    std::vector<std::string> texts;
    if (m_uSearchTexts & kSearchTitle)
        texts.push_back(programme.GetTitle());
    if (m_uSearchTexts & kSearchScheduleDescription)
        texts.push_back(programme.GetScheduleDescription());
    if (m_uSearchTexts & kSearchDescription)
        texts.push_back(programme.GetDetails().GetDescription());
    if (m_uSearchTexts & kSearchPeople)
        texts.push_back(JoinPeople(programme.GetDetails()));
    if ((m_uSearchTexts & kSearchCategory) && programme.GetCategory())
        texts.push_back(programme.GetCategory()->GetName());
    if ((m_uSearchTexts & kSearchChannel) && names.m_channelName)
        texts.push_back(names.m_channelName(programme.GetChannelID()));
    if ((m_uSearchTexts & kSearchKeywords) && names.m_pKeywords)
        for (const uint16_t index : programme.GetKeywords())
            texts.push_back(names.m_pKeywords->GetKeyword(index));
    return m_pSearch->Matches(texts);
}

bool CMarker::IsExpired(int64_t nNow) const
{
    return m_time.m_nKind == MarkerTime::kExactStart && m_time.m_nStart + kExpiryDelay < nNow;
}
