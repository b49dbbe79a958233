// The sorted programme list: where each sort mode puts programmes, descending order, and
// equal programmes.
#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "listings/Category.h"
#include "listings/Programme.h"

namespace {

struct Item {
    const char* pszTitle;
    int64_t nStartOffset;   // seconds from now
    uint32_t uMinutes;
    const char* pszDescription;
    uint32_t uCategory;
    const char* pszChannelName;
    const char* pszEPG;
};

CProgrammePtr Make(const Item& item, int64_t nNow)
{
    const uint32_t uStart = static_cast<uint32_t>(nNow + item.nStartOffset);
    return std::make_shared<CProgramme>(item.pszTitle, item.pszDescription, item.uCategory, uStart,
                                        uStart + item.uMinutes * 60, 1, 1,
                                        std::make_shared<CChannelAssignment>(1, 1, item.pszEPG, item.pszChannelName),
                                        std::vector<uint16_t>{}, 0);
}

// The titles in order, without "c" when asked.
std::string Titles(const CProgrammeList& list, bool bWithoutC)
{
    std::string titles;
    for (const CProgrammePtr& p : list)
        if (!bWithoutC || p->GetTitle() != "c")
            titles += (titles.empty() ? "" : ",") + p->GetTitle();
    return titles;
}

TEST(ProgrammeList, EachModeOrdersByItsKey)
{
    CCategoryList::Instance().SetCategories({std::make_shared<CCategory>(1, "Drama"), std::make_shared<CCategory>(2, "Comedy"),
                                             std::make_shared<CCategory>(3, "News")});
    // Whole hours from a local midnight a day ahead, so that times of day are predictable.
    std::tm midnight = {};
    const std::time_t now = std::time(nullptr);
    localtime_r(&now, &midnight);
    midnight.tm_mday += 2;
    midnight.tm_hour = midnight.tm_min = midnight.tm_sec = 0;
    midnight.tm_isdst = -1;
    const int64_t nBase = std::mktime(&midnight) - now;
    const int64_t kHour = 3600;
    // a: 02:00-03:30 day 1; b: 22:00-22:30 day 0; c: on air now, 10 minutes; d: 05:00-07:00 day 1.
    const Item kItems[] = {
        {"a", nBase + 26 * kHour, 90, "Zed. Series 2, episode 9.\r\nText. (2 Star, PG)", 3, "bbc", "101"},
        {"b", nBase + 22 * kHour, 30, "Alpha. Series 10, episode 1.\r\nText. (4 Star, 15)", 1, "Cnn", "9"},
        {"c", -60, 10, "mid. Series 5, episode 3.\r\nText. (1 Star, U)", 2, "abc", "55"},
        {"d", nBase + 29 * kHour, 120, "Text.", 1, "Dave", "x1"},
    };
    struct Case {
        int nMode;
        const char* pszAscending;
        bool bStrict;   // no two programmes equal, so descending is the exact reverse
    };
    const Case kCases[] = {
        {0, "a,b,c,d", false},   // as added
        {1, "c,a,b,d", true},    // abc, bbc, Cnn, Dave
        {2, "b,d,c,a", false},   // all equal: each goes before the equal one the search lands on
        {5, "c,d,b,a", false},   // Comedy, Drama (d before the equal b), News
        {6, "a,b,c,d", true},
        {7, "c,b,a,d", true},
        {8, "a,d,b", true},      // 02:00, 05:00, 22:00 (c, at the time of day of now, left out)
        {10, "c,b,a,d", true},
        {12, "b,c,a,d", true},   // 9 < 55 < 101, and "x1" is not a number: after the digits by text
        {15, "d,a,c,b", true},   // series 0, 2, 5, 10
        {16, "d,b,c,a", true},
        {17, "c,a,d,b", true},   // on air first, then by the time of day of the end
        {19, "d,b,c,a", true},   // "", "Alpha", "mid", "Zed" without regard to case
        {20, "d,b,a,c", true},   // "", "15", "PG", "U"
        {21, "d,c,a,b", true},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE("mode " + std::to_string(c.nMode));
        CProgrammeList ascending(c.nMode, true);
        CProgrammeList descending(c.nMode, false);
        for (const Item& item : kItems) {
            ascending.Add(Make(item, now));
            descending.Add(Make(item, now));
        }
        const bool bWithoutC = c.nMode == 8;
        EXPECT_EQ(Titles(ascending, bWithoutC), c.pszAscending);
        if (!c.bStrict)
            continue;
        std::string reversed;
        for (size_t i = ascending.GetCount(); i-- > 0;)
            if (!bWithoutC || ascending.GetAt(i)->GetTitle() != "c")
                reversed += (reversed.empty() ? "" : ",") + ascending.GetAt(i)->GetTitle();
        EXPECT_EQ(Titles(descending, bWithoutC), reversed);
    }
    CCategoryList::Instance().SetCategories({});
}

}  // namespace
