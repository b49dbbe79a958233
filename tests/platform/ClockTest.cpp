#include "platform/Clock.h"

#include "platform/File.h"

#include <gtest/gtest.h>

using namespace plat;

TEST(ClockTest, InjectedClockDrivesNow)
{
    FakeClock fake(1700000000);
    SetClock(&fake);
    EXPECT_EQ(NowUnix(), 1700000000);
    EXPECT_EQ(NowFileTime(), UnixToFileTime(1700000000));
    fake.Advance(61);
    EXPECT_EQ(NowUnix(), 1700000061);
    fake.SetNowMicros(-1);   // just before 1970 rounds down, not towards zero
    EXPECT_EQ(NowUnix(), -1);
    SetClock(nullptr);
    EXPECT_GT(NowUnix(), 1700000000);
}

TEST(ClockTest, TimeZoneInfoFromTheZoneRules)
{
    struct { const char* tz; const char* standard; const char* daylight; int bias, daylightBias; } cases[] = {
        {"Europe/London", "GMT", "BST", 0, -60},
        {"Europe/Berlin", "CET", "CEST", -60, -60},
        {"America/New_York", "EST", "EDT", 300, -60},
        {"Australia/Sydney", "AEST", "AEDT", -600, -60},   // daylight saving over the new year
        {"Asia/Tokyo", "JST", "JST", -540, 0},
        {"UTC", "UTC", "UTC", 0, 0},
    };
    const std::string saved = getenv("TZ") ? getenv("TZ") : "";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tz);
        SetTimeZone(c.tz);
        TimeZoneInfo info;
        ASSERT_TRUE(GetTimeZoneInfo(info));
        EXPECT_EQ(info.standardName, c.standard);
        EXPECT_EQ(info.daylightName, c.daylight);
        EXPECT_EQ(info.bias, c.bias);
        EXPECT_EQ(info.standardBias, 0);
        EXPECT_EQ(info.daylightBias, c.daylightBias);
    }

    SetTimeZone("Europe/London");
    std::tm local{};
    ASSERT_TRUE(UtcToLocal(1719835200, local));   // 2024-07-01 12:00 UTC
    EXPECT_EQ(local.tm_hour, 13);
    EXPECT_EQ(local.tm_isdst, 1);
    local.tm_isdst = -1;
    EXPECT_EQ(LocalToUtc(local), 1719835200);
    std::tm utc{};
    ASSERT_TRUE(UtcToUtcTm(1719835200, utc));
    EXPECT_EQ(utc.tm_hour, 12);
    EXPECT_EQ(utc.tm_mon, 6);
    SetTimeZone(saved.empty() ? "UTC" : saved);
}

TEST(ClockTest, LocaleTextsForC)
{
    const LocaleTexts t = GetLocaleTexts("C");
    EXPECT_EQ(t.dayNames[0], "Sunday");
    EXPECT_EQ(t.shortDayNames[6], "Sat");
    EXPECT_EQ(t.monthNames[11], "December");
    EXPECT_EQ(t.shortMonthNames[0], "Jan");
    EXPECT_EQ(t.shortDateFormat, "%m/%d/%y");
    EXPECT_EQ(t.longDateFormat, "%A, %B %d, %Y");
    EXPECT_EQ(t.timeFormat, "%H:%M");
    EXPECT_EQ(t.amText, "AM");
    EXPECT_EQ(t.pmText, "PM");
    EXPECT_EQ(t.countryCode, "");
    // An unknown locale falls back to "C".
    EXPECT_EQ(GetLocaleTexts("xx_NOWHERE.UTF-8").monthNames[0], "January");

    std::tm t1{};
    t1.tm_year = 124;
    t1.tm_mon = 6;
    t1.tm_mday = 1;
    t1.tm_wday = 1;
    t1.tm_hour = 9;
    t1.tm_min = 5;
    EXPECT_EQ(FormatTime(t1, t.longDateFormat + " " + t.timeFormat, "C"), "Monday, July 01, 2024 09:05");
    EXPECT_EQ(FormatTime(t1, "%p", "C"), "AM");
    EXPECT_EQ(FormatTime(t1, "", "C"), "");
    EXPECT_EQ(FormatTime(t1, std::string(300, 'x'), "C"), std::string(300, 'x'));
}

TEST(ClockTest, LocaleTextsOfAnInstalledTerritory)
{
    const LocaleTexts t = GetLocaleTexts("en_GB.UTF-8");
    if (t.countryCode.empty())
        GTEST_SKIP() << "the en_GB.UTF-8 locale is not installed";
    EXPECT_EQ(t.countryCode, "GBR");
    EXPECT_EQ(t.shortDateFormat, "%d/%m/%y");
    EXPECT_EQ(t.longDateFormat, "%A %d %B %Y");
    EXPECT_EQ(t.timeFormat, "%H:%M");
}
