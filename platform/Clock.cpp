// The clock in force, time zone information from the zone's rules, and locale date texts.
#include "platform/Clock.h"

#include "platform/Error.h"
#include "platform/File.h"
#include "platform/MessageBox.h"
#include "platform/Process.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <langinfo.h>
#include <locale.h>
#include <map>
#include <mutex>

namespace plat {

namespace {

class SystemClock final : public IClock {
public:
    int64_t NowMicros() const override
    {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
    }
    bool SetNowMicros(int64_t micros) override
    {
        const timespec ts{static_cast<time_t>(micros / 1000000), static_cast<long>(micros % 1000000) * 1000};
        if (clock_settime(CLOCK_REALTIME, &ts) != 0) {
            SetLastErrorFromErrno();
            return false;
        }
        return true;
    }
};

SystemClock g_systemClock;
std::atomic<IClock*> g_clock{nullptr};

// A headless run may pin its clock with QVL_FAKE_NOW=<seconds since 1970 UTC>, so that a whole
// theme run sees one fixed "now". Anything but a plain decimal count within 32 bits is ignored.
IClock* PinnedClockFromEnvironment()
{
    const std::string text = GetEnv("QVL_FAKE_NOW");
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos ||
        CurrentBackend() != Backend::Headless)
        return nullptr;
    const int64_t seconds = std::stoll(text);
    if (seconds > int64_t(UINT32_MAX))
        return nullptr;
    return new FakeClock(seconds);   // lives as long as the process
}

// The clock when none was set: read once, on the first question, which start-up asks before
// any thread of ours runs.
IClock& DefaultClock()
{
    static IClock* const pinned = PinnedClockFromEnvironment();
    return pinned ? *pinned : g_systemClock;
}

// Locale objects of one category, made once per name and kept for the life of the process.
locale_t LocaleFor(int mask, const std::string& name)
{
    static std::mutex lock;
    // Never destroyed: the locale objects must outlive every static that formats a date.
    static auto& made = *new std::map<std::pair<int, std::string>, locale_t>;
    std::lock_guard<std::mutex> guard(lock);
    auto it = made.find({mask, name});
    if (it != made.end())
        return it->second;
    locale_t loc = newlocale(mask, name.c_str(), nullptr);
    if (!loc)
        loc = newlocale(mask, "C", nullptr);
    made[{mask, name}] = loc;
    return loc;
}

// Expands the composite time conversions so the parts can be seen.
std::string ExpandTimeFormat(const std::string& format, locale_t loc)
{
    std::string out;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            const char c = format[++i];
            if (c == 'T')
                out += "%H:%M:%S";
            else if (c == 'R')
                out += "%H:%M";
            else if (c == 'r')
                out += nl_langinfo_l(T_FMT_AMPM, loc);
            else
                out += {'%', c};
        } else {
            out += format[i];
        }
    }
    return out;
}

// The time format with the seconds and the separator before them taken out.
std::string WithoutSeconds(std::string format)
{
    const size_t s = format.find("%S");
    if (s == std::string::npos)
        return format;
    size_t from = s;
    if (from > 0 && format[from - 1] != ' ' && format[from - 1] != 'M')
        --from;   // the ":" or "." before the seconds
    format.erase(from, s + 2 - from);
    return format;
}

// A long date in the order the locale writes its short date: day, month or year first.
std::string LongDateFormat(const std::string& shortFormat)
{
    size_t day = shortFormat.find("%d");
    if (day == std::string::npos)
        day = shortFormat.find("%e");
    const size_t month = shortFormat.find("%m");
    size_t year = shortFormat.find("%y");
    if (year == std::string::npos)
        year = shortFormat.find("%Y");
    if (year != std::string::npos && year < day && year < month)
        return "%A %Y %B %d";
    if (month != std::string::npos && month < day)
        return "%A, %B %d, %Y";
    return "%A %d %B %Y";
}

}  // namespace

IClock& Clock()
{
    IClock* c = g_clock.load();
    return c ? *c : DefaultClock();
}

void SetClock(IClock* clock) { g_clock.store(clock); }

int64_t NowUnix()
{
    const int64_t micros = Clock().NowMicros();
    return micros >= 0 ? micros / 1000000 : (micros - 999999) / 1000000;
}

uint64_t NowFileTime() { return static_cast<uint64_t>(Clock().NowMicros() * 10 + int64_t(kFileTimeUnixEpoch)); }

bool GetTimeZoneInfo(TimeZoneInfo& out)
{
    tzset();
    std::tm now{};
    if (!UtcToUtcTm(NowUnix(), now))
        return false;
    now.tm_mon = 0;
    now.tm_mday = 1;
    now.tm_hour = 12;
    now.tm_min = now.tm_sec = 0;
    const time_t yearStart = timegm(&now);
    bool haveStandard = false, haveDaylight = false;
    long standardOffset = 0, daylightOffset = 0;
    // Look at every day of the year: the zone's rules say which days keep daylight saving.
    for (int day = 0; day < 366; ++day) {
        const time_t t = yearStart + time_t(day) * 86400;
        std::tm local{};
        if (!localtime_r(&t, &local))
            return false;
        if (local.tm_isdst > 0 && !haveDaylight) {
            haveDaylight = true;
            daylightOffset = local.tm_gmtoff;
            out.daylightName = local.tm_zone ? local.tm_zone : "";
        } else if (local.tm_isdst == 0 && !haveStandard) {
            haveStandard = true;
            standardOffset = local.tm_gmtoff;
            out.standardName = local.tm_zone ? local.tm_zone : "";
        }
    }
    if (!haveStandard) {   // a zone in daylight saving all year: treat that as its standard
        standardOffset = daylightOffset;
        out.standardName = out.daylightName;
        haveDaylight = false;
    }
    if (!haveDaylight) {
        daylightOffset = standardOffset;
        out.daylightName = out.standardName;
    }
    out.bias = static_cast<int32_t>(-standardOffset / 60);
    out.standardBias = 0;
    out.daylightBias = static_cast<int32_t>(-(daylightOffset - standardOffset) / 60);
    return true;
}

void SetTimeZone(const std::string& tz)
{
    setenv("TZ", tz.c_str(), 1);
    tzset();
}

bool UtcToLocal(int64_t unixSeconds, std::tm& out)
{
    const time_t t = static_cast<time_t>(unixSeconds);
    return localtime_r(&t, &out) != nullptr;
}

bool UtcToUtcTm(int64_t unixSeconds, std::tm& out)
{
    const time_t t = static_cast<time_t>(unixSeconds);
    return gmtime_r(&t, &out) != nullptr;
}

int64_t LocalToUtc(std::tm local) { return static_cast<int64_t>(mktime(&local)); }

LocaleTexts GetLocaleTexts(const std::string& localeName)
{
    const locale_t loc = LocaleFor(LC_TIME_MASK, localeName);
    LocaleTexts t;
    if (!loc)
        return t;
    for (int i = 0; i < 7; ++i) {
        t.dayNames[i] = nl_langinfo_l(DAY_1 + i, loc);
        t.shortDayNames[i] = nl_langinfo_l(ABDAY_1 + i, loc);
    }
    for (int i = 0; i < 12; ++i) {
        t.monthNames[i] = nl_langinfo_l(MON_1 + i, loc);
        t.shortMonthNames[i] = nl_langinfo_l(ABMON_1 + i, loc);
    }
    t.shortDateFormat = nl_langinfo_l(D_FMT, loc);
    t.longDateFormat = LongDateFormat(t.shortDateFormat);
    t.timeFormat = WithoutSeconds(ExpandTimeFormat(nl_langinfo_l(T_FMT, loc), loc));
    t.amText = nl_langinfo_l(AM_STR, loc);
    t.pmText = nl_langinfo_l(PM_STR, loc);
    if (const locale_t address = LocaleFor(LC_ADDRESS_MASK, localeName))
        t.countryCode = nl_langinfo_l(_NL_ADDRESS_COUNTRY_AB3, address);
    return t;
}

std::string FormatTime(const std::tm& t, const std::string& format, const std::string& localeName)
{
    const locale_t loc = LocaleFor(LC_TIME_MASK, localeName);
    if (format.empty() || !loc)
        return {};
    std::string buffer(64 + format.size() * 4, '\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
        const size_t n = strftime_l(buffer.data(), buffer.size(), format.c_str(), &t, loc);
        if (n > 0) {
            buffer.resize(n);
            return buffer;
        }
        buffer.resize(buffer.size() * 4);   // too small, or the result is really empty
    }
    return {};
}

}  // namespace plat
