// A marker: a rule that picks out programmes (a favourite title, a reminder for one showing, a
// search over the listings) by title, category, channel, start time, series and episode and
// search terms. Matching is done through CMarkerManager, which holds the lock for it.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "listings/KeywordList.h"
#include "listings/Programme.h"
#include "listings/SearchExpression.h"

// When a programme must start for a marker to match it.
struct MarkerTime {
    enum Kind : int {
        kDaysOfWeek = 0,    // local day of the week in m_uDays, optionally inside a time of day
        kExactStart = 1,    // the start equals m_nStart
        kTimeOfDay = 2,     // local start hour and minute
        kDayAndTime = 3,    // local day of the week and start hour and minute
    };
    Kind m_nKind = kDaysOfWeek;
    uint8_t m_uDays = 0x7F;            // kDaysOfWeek: bit n allows day n (0 = Sunday)
    bool m_bWindow = false;            // kDaysOfWeek: also needs a start in [from, to) minutes
    int m_nWindowFrom = 0;             // minutes after local midnight; from > to wraps midnight
    int m_nWindowTo = 0;
    int64_t m_nStart = 0;              // kExactStart: seconds since 1970 UTC
    int m_nDayOfWeek = 0;              // kDayAndTime: 0 = Sunday
    int m_nHour = 0;                   // kTimeOfDay, kDayAndTime: local
    int m_nMinute = 0;
};

class CMarker {
public:
    // Which texts of a programme the search terms are tried on; searched together, in this order.
    enum SearchText : unsigned {
        kSearchTitle = 1,
        kSearchScheduleDescription = 2,
        kSearchDescription = 4,       // the plain description of the details
        kSearchPeople = 8,            // the cast and crew names of the details, joined with ", "
        kSearchCategory = 16,
        kSearchChannel = 32,
        kSearchKeywords = 64,
    };

    // Names that the programme refers to by number; either may be left empty.
    struct Names {
        const CKeywordList* m_pKeywords = nullptr;                  // not owned
        std::function<std::string(uint32_t)> m_channelName;         // "" when unknown
    };

    std::string m_strName;
    int m_nTypeID = 0;
    std::optional<std::string> m_blob;
    std::optional<std::string> m_icon;
    std::string m_strTitle;                 // empty: any title
    bool m_bAllCategories = true;
    std::set<uint32_t> m_categories;
    bool m_bAllChannels = true;
    std::set<uint32_t> m_channels;
    MarkerTime m_time;
    std::optional<uint16_t> m_series;
    std::optional<uint16_t> m_episode;
    unsigned m_uSearchTexts = kSearchTitle | kSearchScheduleDescription;
    bool m_bStandard = false;

    // Compiles the search terms (empty: none). Throws CExtraInfoException* with the message
    // for the user when they do not compile; the marker keeps its earlier terms then.
    void SetSearchTerms(const std::string& strTerms, CSearchExpression::MatchMode mode = CSearchExpression::kWholeWords);
    const std::string& GetSearchTerms() const { return m_strSearchTerms; }

    // Call through CMarkerManager, which holds the matching lock.
    bool Matches(const CProgramme& programme, const Names& names) const;
    // Only markers for one showing expire: a day after it starts.
    bool IsExpired(int64_t nNow) const;

private:
    std::string m_strSearchTerms;
    std::shared_ptr<const CSearchExpression> m_pSearch;
};

using CMarkerPtr = std::shared_ptr<CMarker>;
