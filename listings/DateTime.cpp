#include "listings/DateTime.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>

#include "platform/Clock.h"

namespace {

struct LocaleState {
    std::string name;
    plat::LocaleTexts texts;
};

std::mutex g_localeLock;
std::shared_ptr<const LocaleState> g_locale;

std::shared_ptr<const LocaleState> Locale() {
    std::lock_guard<std::mutex> lock(g_localeLock);
    if (!g_locale) {
        auto state = std::make_shared<LocaleState>();
        state->texts = plat::GetLocaleTexts();
        g_locale = std::move(state);
    }
    return g_locale;
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 1 && IsLeapYear(year) ? 29 : kDays[month];
}

bool FieldsValid(int year, int month, int day, int hour, int minute, int second) {
    return year >= 1 && year <= 9999 && month >= 0 && month <= 11 && day >= 1 &&
           day <= DaysInMonth(year, month) && hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 &&
           second >= 0 && second <= 59;
}

// Days since 1970-01-01 of a civil date (month 1-12), proleptic Gregorian.
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

// Reads a decimal number at pos, moving pos past it; -1 when there is no digit.
int64_t ReadNumber(std::string_view text, size_t& pos) {
    if (pos >= text.size() || text[pos] < '0' || text[pos] > '9') return -1;
    int64_t value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        if (value < 100000000) value = value * 10 + (text[pos] - '0');
        ++pos;
    }
    return value;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

CDateTime CDateTime::Now() { return CDateTime(plat::NowUnix()); }

CDateTime CDateTime::FromLocal(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond) {
    if (!FieldsValid(nYear, nMonth, nDay, nHour, nMinute, nSecond)) return CDateTime();
    std::tm local{};
    local.tm_year = nYear - 1900;
    local.tm_mon = nMonth;
    local.tm_mday = nDay;
    local.tm_hour = nHour;
    local.tm_min = nMinute;
    local.tm_sec = nSecond;
    local.tm_isdst = -1;
    const int64_t seconds = plat::LocalToUtc(local);
    // The conversion answers -1 when it fails; 1969-12-31 23:59:59 UTC is no listings time.
    if (seconds == -1) return CDateTime();
    return CDateTime(seconds);
}

CDateTime CDateTime::FromUtc(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond) {
    if (!FieldsValid(nYear, nMonth, nDay, nHour, nMinute, nSecond)) return CDateTime();
    const int64_t days = DaysFromCivil(nYear, static_cast<unsigned>(nMonth + 1), static_cast<unsigned>(nDay));
    return CDateTime(days * 86400 + nHour * 3600 + nMinute * 60 + nSecond);
}

CDateTime CDateTime::ParseClockText(std::string_view text) {
    if (text.size() < 5 || !IsDigit(text[0]) || !IsDigit(text[1]) || !IsDigit(text[3]) || !IsDigit(text[4]))
        return CDateTime();
    int hour = (text[0] - '0') * 10 + (text[1] - '0');
    int minute = (text[3] - '0') * 10 + (text[4] - '0');
    if (hour >= 24) hour = 0;
    if (minute >= 60) minute = 0;
    return FromLocal(1999, 1, 1, hour, minute, 0);
}

CDateTime CDateTime::ParseDateText(std::string_view text) {
    int64_t values[5];
    size_t pos = 0;
    for (int i = 0; i < 5; ++i) {
        while (pos < text.size() && !IsDigit(text[pos])) ++pos;
        values[i] = ReadNumber(text, pos);
        if (values[i] < 0) return CDateTime();
    }
    int64_t year = values[2];
    if (year < 2000) year += 2000;
    if (values[1] < 1 || values[1] > 12 || year > 9999 || values[0] > 31 || values[3] > 23 || values[4] > 59)
        return CDateTime();
    return FromLocal(static_cast<int>(year), static_cast<int>(values[1] - 1), static_cast<int>(values[0]),
                     static_cast<int>(values[3]), static_cast<int>(values[4]), 0);
}

void CDateTime::LoadLocaleTexts(const std::string& strLocaleName) {
    auto state = std::make_shared<LocaleState>();
    state->name = strLocaleName;
    state->texts = plat::GetLocaleTexts(strLocaleName);
    std::lock_guard<std::mutex> lock(g_localeLock);
    g_locale = std::move(state);
}

void CDateTime::SetTime(int64_t nSeconds) {
    m_nTime = nSeconds;
    m_bValid = true;
    m_bLocalCached = false;
}

bool CDateTime::AddMonths(int n) {
    if (!LocalOk()) return false;
    const int64_t index = int64_t(GetYear()) * 12 + GetMonth() + n;
    const int year = static_cast<int>(index / 12);
    const int month = static_cast<int>(index % 12);
    if (index < 0 || year > 9999) {
        *this = CDateTime();
        return false;
    }
    const int day = std::min(GetDay(), DaysInMonth(year, month));
    *this = FromLocal(year, month, day, GetHour(), GetMinute(), 0);
    return m_bValid;
}

const std::tm& CDateTime::Local() const {
    LocalOk();
    return m_local;
}

bool CDateTime::LocalOk() const {
    if (!m_bValid) return false;
    if (!m_bLocalCached) {
        m_bLocalOk = plat::UtcToLocal(m_nTime, m_local);
        if (!m_bLocalOk) m_local = std::tm{};
        m_bLocalCached = true;
    }
    return m_bLocalOk;
}

bool CDateTime::GetTimeText(std::string& out, bool bSeconds) const {
    if (!LocalOk()) return false;
    const auto locale = Locale();
    std::string format = locale->texts.timeFormat;
    if (bSeconds) {
        const size_t minutes = format.find("%M");
        if (minutes != std::string::npos && format.find("%S") == std::string::npos) format.insert(minutes + 2, ":%S");
    }
    out = plat::FormatTime(m_local, format, locale->name);
    return !out.empty();
}

bool CDateTime::GetLongDateText(std::string& out) const {
    if (!LocalOk()) return false;
    const auto locale = Locale();
    out = plat::FormatTime(m_local, locale->texts.longDateFormat, locale->name);
    return !out.empty();
}

bool CDateTime::GetShortDateText(std::string& out) const {
    if (!LocalOk()) return false;
    const auto locale = Locale();
    out = plat::FormatTime(m_local, locale->texts.shortDateFormat, locale->name);
    return !out.empty();
}

bool CDateTime::GetDateTimeText(std::string& out, bool bSeconds) const {
    std::string date, time;
    if (!GetLongDateText(date) || !GetTimeText(time, bSeconds)) return false;
    out = date + " " + time;
    return true;
}

std::string CDateTime::GetDateTimeText(bool bSeconds) const {
    std::string text;
    if (!GetDateTimeText(text, bSeconds)) return "(invalid time)";
    return text;
}

std::string CDateTime::Get12HourTime() const {
    const int hour = GetHour();
    const int shown = hour % 12 == 0 ? 12 : hour % 12;
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d%s", shown, GetMinute(), hour < 12 ? "am" : "pm");
    return text;
}

const char* CDateTime::GetOrdinalSuffix(int nDay) {
    if (nDay >= 10 && nDay <= 20) return "th";
    switch (nDay % 10) {
    case 1: return "st";
    case 2: return "nd";
    case 3: return "rd";
    default: return "th";
    }
}

std::string CDateTime::GetDayText(bool bWithYear) const {
    if (!LocalOk()) return {};
    const auto locale = Locale();
    const std::string& weekday = locale->texts.dayNames[static_cast<size_t>(m_local.tm_wday) % 7];
    const std::string& month = locale->texts.monthNames[static_cast<size_t>(m_local.tm_mon) % 12];
    std::string text = weekday + " " + std::to_string(m_local.tm_mday) + GetOrdinalSuffix(m_local.tm_mday) + " " + month;
    if (bWithYear) text += " " + std::to_string(m_local.tm_year + 1900);
    return text;
}

std::string CDateTime::GetInternetDate() const {
    static constexpr const char* kDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm utc{};
    if (!m_bValid || !plat::UtcToUtcTm(m_nTime, utc)) return {};
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[utc.tm_wday % 7], utc.tm_mday,
                  kMonths[utc.tm_mon % 12], utc.tm_year + 1900, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

std::string CDateTime::GetISO8601() const {
    std::tm utc{};
    if (!m_bValid || !plat::UtcToUtcTm(m_nTime, utc)) return {};
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday,
                  utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}
