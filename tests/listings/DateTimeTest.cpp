#include "listings/DateTime.h"

#include <gtest/gtest.h>

#include "listings/TimeSummary.h"

namespace {

// 2024-03-31 01:00 UTC: clocks in London go from 01:00 GMT to 02:00 BST.
constexpr int64_t kSpringForward = 1711846800;
// 2024-10-27 01:00 UTC: clocks go back from 02:00 BST to 01:00 GMT.
constexpr int64_t kFallBack = 1729990800;

std::string TimeText(int64_t t) {
    std::string text;
    EXPECT_TRUE(CDateTime(t).GetTimeText(text));
    return text;
}

TEST(DateTime, LocalTextsFollowDaylightSaving) {
    EXPECT_EQ(TimeText(kSpringForward - 1), "00:59");
    EXPECT_EQ(TimeText(kSpringForward), "02:00");
    EXPECT_EQ(TimeText(kFallBack - 1800), "01:30");   // BST
    EXPECT_EQ(TimeText(kFallBack + 1800), "01:30");   // GMT, an hour later

    const CDateTime spring(kSpringForward);
    std::string text;
    ASSERT_TRUE(spring.GetLongDateText(text));
    EXPECT_EQ(text, "Sunday, March 31, 2024");
    ASSERT_TRUE(spring.GetShortDateText(text));
    EXPECT_EQ(text, "03/31/24");
    ASSERT_TRUE(spring.GetDateTimeText(text, true));
    EXPECT_EQ(text, "Sunday, March 31, 2024 02:00:00");
    EXPECT_EQ(spring.GetDayText(false), "Sunday 31st March");
    EXPECT_EQ(spring.GetDayText(true), "Sunday 31st March 2024");
    EXPECT_EQ(spring.Get12HourTime(), "02:00am");
    // The internet date is in UTC whatever the local zone.
    EXPECT_EQ(spring.GetInternetDate(), "Sun, 31 Mar 2024 01:00:00 GMT");

    // A local day that is 23 hours long: midnight to midnight across the change.
    const CDateTime midnight = CDateTime::FromLocal(2024, 2, 31, 0, 0, 0);
    const CDateTime nextMidnight = CDateTime::FromLocal(2024, 3, 1, 0, 0, 0);
    ASSERT_TRUE(midnight.IsValid() && nextMidnight.IsValid());
    EXPECT_EQ(nextMidnight.GetTime() - midnight.GetTime(), 23 * 3600);
    EXPECT_EQ(CDateTime::FromLocal(2024, 6, 1, 12, 0, 0).GetTime(), CDateTime::FromUtc(2024, 6, 1, 11, 0, 0).GetTime());

    CDateTime t(kSpringForward - 12 * 3600);   // Saturday 13:00 GMT
    t.AddDays(1);                              // exactly 24 hours on: 14:00 BST
    EXPECT_EQ(t.GetHour(), 14);
    EXPECT_EQ(t.GetDay(), 31);
    EXPECT_FALSE(CDateTime().GetTimeText(text));
    EXPECT_EQ(CDateTime().GetDateTimeText(), "(invalid time)");
}

TEST(DateTime, FieldsMonthsAndParsing) {
    EXPECT_EQ(CDateTime::FromUtc(2024, 0, 1, 0, 0, 0).GetTime(), 1704067200);
    EXPECT_FALSE(CDateTime::FromUtc(2023, 1, 29, 0, 0, 0).IsValid());
    EXPECT_FALSE(CDateTime::FromLocal(2024, 12, 1, 0, 0, 0).IsValid());

    struct { int year, month, day, hour; int months; int wantYear, wantMonth, wantDay; } cases[] = {
        {2024, 0, 31, 10, 1, 2024, 1, 29},   // leap year
        {2023, 0, 31, 10, 1, 2023, 1, 28},
        {2100, 0, 31, 10, 1, 2100, 1, 28},   // divisible by 100
        {2000, 0, 31, 10, 1, 2000, 1, 29},   // divisible by 400
        {2024, 10, 30, 10, 3, 2025, 1, 28},  // over the year end
        {2024, 2, 15, 12, -1, 2024, 1, 15},
        {2024, 2, 15, 12, 1, 2024, 3, 15},   // into summer time
    };
    for (const auto& c : cases) {
        CDateTime t = CDateTime::FromLocal(c.year, c.month, c.day, c.hour, 30, 45);
        ASSERT_TRUE(t.AddMonths(c.months));
        EXPECT_EQ(t.GetYear(), c.wantYear);
        EXPECT_EQ(t.GetMonth(), c.wantMonth);
        EXPECT_EQ(t.GetDay(), c.wantDay);
        EXPECT_EQ(t.GetHour(), c.hour);   // local hour kept across a daylight-saving change
        EXPECT_EQ(t.GetMinute(), 30);
        EXPECT_EQ(t.GetSecond(), 0);
    }

    EXPECT_EQ(CDateTime::ParseClockText("21:30").GetTime(), CDateTime::FromUtc(1999, 1, 1, 21, 30, 0).GetTime());
    EXPECT_EQ(CDateTime::ParseClockText("24.75 pm").GetTime(), CDateTime::FromUtc(1999, 1, 1, 0, 0, 0).GetTime());
    EXPECT_FALSE(CDateTime::ParseClockText("2:30").IsValid());
    EXPECT_FALSE(CDateTime::ParseClockText("2a:30").IsValid());
    // Summer time: 09:05 BST is 08:05 UTC.
    EXPECT_EQ(CDateTime::ParseDateText("5-6-07 9:05").GetTime(), CDateTime::FromUtc(2007, 5, 5, 8, 5, 0).GetTime());
    EXPECT_EQ(CDateTime::ParseDateText("05/06/2007 09h05").GetTime(), CDateTime::FromUtc(2007, 5, 5, 8, 5, 0).GetTime());
    EXPECT_FALSE(CDateTime::ParseDateText("5/6/07 9").IsValid());
    EXPECT_FALSE(CDateTime::ParseDateText("31/2/07 9:05").IsValid());
}

TEST(DateTime, TimesPast2038KeepTheirTexts) {
    const CDateTime t(int64_t(0x80000000u) + 3600);   // 2038-01-19 04:14:08 UTC
    EXPECT_EQ(t.GetYear(), 2038);
    EXPECT_EQ(t.GetHour(), 4);
    std::string text;
    ASSERT_TRUE(t.GetLongDateText(text));
    EXPECT_EQ(text, "Tuesday, January 19, 2038");
    EXPECT_EQ(CDateTime(0xFFFFFF00u).GetInternetDate(), "Sun, 07 Feb 2106 06:24:00 GMT");
}

TEST(DateTime, OrdinalSuffixes) {
    const struct { int day; const char* suffix; } cases[] = {
        {1, "st"}, {2, "nd"}, {3, "rd"}, {4, "th"}, {10, "th"}, {11, "th"}, {12, "th"},
        {13, "th"}, {20, "th"}, {21, "st"}, {22, "nd"}, {23, "rd"}, {30, "th"}, {31, "st"},
    };
    for (const auto& c : cases) EXPECT_STREQ(CDateTime::GetOrdinalSuffix(c.day), c.suffix) << c.day;
}

TEST(TimeSummary, DurationTexts) {
    const struct { uint32_t minutes; const char* text; } cases[] = {
        {60, "1 hour"}, {61, "1 hour and 1 minute"}, {59, "59 minutes"}, {0, "0 minutes"},
        {1, "1 minute"}, {125, "2 hours and 5 minutes"}, {180, "3 hours"},
    };
    for (const auto& c : cases) EXPECT_EQ(GetDurationText(c.minutes), c.text) << c.minutes;
}

TEST(TimeSummary, StartAndTimeLeftTexts) {
    const int64_t n = CDateTime::FromUtc(2024, 0, 10, 8, 0, 0).GetTime();   // 08:00 GMT
    const int64_t h = 3600, m = 60;
    const struct { int64_t start, end, now; const char* text; } cases[] = {
        {n - h, n, n, "Already shown"},
        {n - h, n + 30, n, "0 minutes left"},
        {n - h, n + 2 * h, n, "2 hours left"},
        {n - h, n + h + m + 30, n, "1 hour and 1 minute left"},
        {n - h, n + 59 * m, n, "59 minutes left"},
        {n + 59, n + h, n, "in 0 minutes"},
        {n + 2 * h, n + 3 * h, n, "in 2 hours"},
        {n + 5 * h + 59 * m, n + 7 * h, n, "in 5 hours and 59 minutes"},
        {n + 6 * h, n + 7 * h, n, "starting this afternoon"},     // 14:00
        {n + 11 * h, n + 12 * h, n, "starting this evening"},     // 19:00
        {n, n + h, n - 6 * h, "starting this morning"},           // 08:00, seen at 02:00
        {n + 17 * h, n + 18 * h, n, "starting tomorrow morning"}, // 01:00 next day
        {n + 25 * h, n + 26 * h, n, "starting in 1 day"},
        {n + 49 * h, n + 50 * h, n, "starting in 2 days"},
        // Daylight saving decides the local hour: 17:30 UTC on 31 March 2024 is 18:30 BST.
        {kSpringForward - h + 17 * h + 30 * m, kSpringForward + 20 * h, kSpringForward - h, "starting this evening"},
        // 20:00 UTC is 21:00 BST on the 26th; 03:00 UTC on the 27th is 03:00 GMT.
        {kFallBack + 2 * h, kFallBack + 3 * h, kFallBack - 5 * h, "starting tomorrow morning"},
        {kFallBack + 6 * h, kFallBack + 7 * h, kFallBack - 2 * h + 30 * m, "starting this morning"},
    };
    for (const auto& c : cases) EXPECT_EQ(GetTimeSummary(c.start, c.end, c.now), c.text) << c.start - c.now;
}

}  // namespace
