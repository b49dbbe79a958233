// The clock, the time zone and the user's locale texts for dates. The clock is injectable so
// tests can pin "now"; the time zone follows TZ, which tests may set before threads start.
#pragma once
#include <array>
#include <cstdint>
#include <ctime>
#include <string>

namespace plat {

class IClock {
public:
    virtual ~IClock() = default;
    virtual int64_t NowMicros() const = 0;            // microseconds since 1970 UTC
    virtual bool SetNowMicros(int64_t micros) = 0;    // set the clock; false when refused
};

// The clock in force: the one set, else the system clock (in a headless run, a clock fixed at
// QVL_FAKE_NOW seconds since 1970 when that variable is set).
IClock& Clock();
void SetClock(IClock* clock);    // nullptr restores the system clock; not owned

int64_t NowUnix();               // seconds since 1970 UTC from Clock()
uint64_t NowFileTime();          // 100 ns since 1601 from Clock()

// A clock for tests: starts where it is told and moves only when told.
class FakeClock final : public IClock {
public:
    explicit FakeClock(int64_t unixSeconds = 0) : m_micros(unixSeconds * 1000000) {}
    int64_t NowMicros() const override { return m_micros; }
    bool SetNowMicros(int64_t micros) override { m_micros = micros; return true; }
    void Advance(int64_t seconds) { m_micros += seconds * 1000000; }
private:
    int64_t m_micros;
};

struct TimeZoneInfo {
    std::string standardName;   // "GMT", "CET"
    std::string daylightName;   // "BST", "CEST"; equal to standardName where there is none
    int32_t bias = 0;           // minutes: UTC = local + bias (Windows sign)
    int32_t standardBias = 0;   // 0
    int32_t daylightBias = 0;   // minutes added to bias during daylight saving (usually -60)
};
bool GetTimeZoneInfo(TimeZoneInfo& out);

// Changes the process time zone (setenv TZ + tzset). Only before threads start; for tests.
void SetTimeZone(const std::string& tz);

// Broken-down times in the process time zone.
bool UtcToLocal(int64_t unixSeconds, std::tm& out);
bool UtcToUtcTm(int64_t unixSeconds, std::tm& out);
int64_t LocalToUtc(std::tm local);   // tm_isdst -1: decided by the rules of the zone

// Day and month names and formats of the user's LC_TIME locale (strftime-style formats).
// LC_CTYPE and LC_NUMERIC of the process stay "C".
struct LocaleTexts {
    std::array<std::string, 7> dayNames;          // Sunday first
    std::array<std::string, 7> shortDayNames;
    std::array<std::string, 12> monthNames;
    std::array<std::string, 12> shortMonthNames;
    std::string shortDateFormat;                  // e.g. "%d/%m/%y"
    std::string longDateFormat;                   // e.g. "%A %d %B %Y"
    std::string timeFormat;                       // without seconds, e.g. "%H:%M"
    std::string amText, pmText;
    std::string countryCode;                      // e.g. "GBR", or "" when unknown
};
// The texts of the named locale ("" = from LC_ALL / LC_TIME / LANG); falls back to "C".
LocaleTexts GetLocaleTexts(const std::string& localeName = "");
// Formats a broken-down time with a strftime format in the named locale.
std::string FormatTime(const std::tm& t, const std::string& format, const std::string& localeName = "");

}  // namespace plat
