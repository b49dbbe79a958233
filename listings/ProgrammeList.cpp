// The sorted programme list: adding in order and the comparison of each sort mode.
#include <algorithm>
#include <cctype>

#include "listings/ChannelGroups.h"
#include "listings/MarkerManager.h"
#include "listings/Programme.h"

namespace {

int Sign(int64_t n) { return n < 0 ? -1 : (n > 0 ? 1 : 0); }

int CompareNoCase(const std::string& a, const std::string& b)
{
    const auto lower = [](unsigned char c) { return std::tolower(c); };
    for (size_t i = 0; i < a.size() && i < b.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return lower(a[i]) < lower(b[i]) ? -1 : 1;
    return Sign(int64_t(a.size()) - int64_t(b.size()));
}

std::string AssignmentName(const CProgramme& programme)
{
    const CChannelAssignmentPtr& pAssignment = programme.GetChannelAssignment();
    return pAssignment ? GetDisplayName(*pAssignment) : std::string();
}

std::string AssignmentEPG(const CProgramme& programme)
{
    const CChannelAssignmentPtr& pAssignment = programme.GetChannelAssignment();
    return pAssignment ? pAssignment->GetEPG() : std::string();
}

bool AllDigits(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// EPG numbers as "9" followed by the text: a longer text is a larger number, and texts of one
// length compare digit by digit, so there is nothing to overflow.
int CompareEPG(const std::string& a, const std::string& b)
{
    if (!AllDigits(a) || !AllDigits(b))
        return Sign(a.compare(b));
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return Sign(a.compare(b));
}

int CategoryPosition(const CProgramme& programme)
{
    const CCategoryPtr& pCategory = programme.GetCategory();
    return pCategory ? CCategoryList::Instance().GetPosition(pCategory->GetID()) : -1;
}

int MinuteOfDay(const CDateTime& time) { return time.GetHour() * 60 + time.GetMinute(); }

}  // namespace

int CProgrammeList::Compare(int nSortMode, const CProgramme& a, const CProgramme& b)
{
    switch (nSortMode) {
    case 1: return CompareNoCase(AssignmentName(a), AssignmentName(b));
    case 5: return Sign(CategoryPosition(a) - CategoryPosition(b));
    case 6: return CompareNoCase(a.GetTitle(), b.GetTitle());
    case 7:
    case 18: return Sign(int64_t(a.GetStartTime()) - int64_t(b.GetStartTime()));
    case 8: return Sign(MinuteOfDay(a.GetStart()) - MinuteOfDay(b.GetStart()));
    case 9: return Sign(MinuteOfDay(a.GetEnd()) - MinuteOfDay(b.GetEnd()));
    case 10: return Sign(int(a.GetDuration()) - int(b.GetDuration()));
    case 12: return CompareEPG(AssignmentEPG(a), AssignmentEPG(b));
    case 13: return Sign(a.GetStart().GetDayOfWeek() - b.GetStart().GetDayOfWeek());
    case 14: {
        const CMarkerManager& markers = CMarkerManager::Instance();
        return Sign(int64_t(markers.GetMatchingMarkers(a).size()) - int64_t(markers.GetMatchingMarkers(b).size()));
    }
    case 15: return Sign(a.GetDetails().GetSeriesNumber() - b.GetDetails().GetSeriesNumber());
    case 16: return Sign(a.GetDetails().GetEpisodeNumber() - b.GetDetails().GetEpisodeNumber());
    case 17:
        if (a.IsOnNow() != b.IsOnNow())
            return a.IsOnNow() ? -1 : 1;
        return Compare(9, a, b);
    case 19: return CompareNoCase(a.GetDetails().GetEpisodeName(), b.GetDetails().GetEpisodeName());
    case 20: return CompareNoCase(a.GetDetails().GetCertificate(), b.GetDetails().GetCertificate());
    case 21: return Sign(a.GetDetails().GetStarRating() - b.GetDetails().GetStarRating());
    default: return 0;   // unsorted, and the modes kept for older lists
    }
}

void CProgrammeList::Add(CProgrammePtr pProgramme)
{
    if (m_nSortMode == 0) {
        m_items.push_back(std::move(pProgramme));
        return;
    }
    // Binary search; landing on an equal element inserts before it.
    const int nDirection = m_bAscending ? 1 : -1;
    size_t nLow = 0;
    size_t nHigh = m_items.size();
    while (nLow < nHigh) {
        const size_t nMiddle = nLow + (nHigh - nLow) / 2;
        const int nOrder = nDirection * Compare(m_nSortMode, *pProgramme, *m_items[nMiddle]);
        if (nOrder == 0) {
            nLow = nHigh = nMiddle;
            break;
        }
        if (nOrder < 0)
            nHigh = nMiddle;
        else
            nLow = nMiddle + 1;
    }
    m_items.insert(m_items.begin() + static_cast<std::ptrdiff_t>(nLow), std::move(pProgramme));
}
