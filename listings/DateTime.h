// A moment in seconds since 1970 UTC with its local broken-down form, and the date and time
// texts built from it: locale-formatted ones for display, fixed English ones for headers.
// Times are held in 64 bits, so stored unsigned 32-bit times past 2038 keep their meaning.
#pragma once
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

class CDateTime {
public:
    CDateTime() = default;   // invalid
    explicit CDateTime(int64_t nSeconds) : m_nTime(nSeconds), m_bValid(true) {}

    static CDateTime Now();
    // From local fields (month 0-11); daylight saving is decided by the time zone's rules.
    // Fields out of range or a failed conversion give an invalid value.
    static CDateTime FromLocal(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond);
    // From UTC fields (month 0-11).
    static CDateTime FromUtc(int nYear, int nMonth, int nDay, int nHour, int nMinute, int nSecond);
    // "hh?mm...": 1 February 1999 at that local hour and minute; invalid when malformed.
    static CDateTime ParseClockText(std::string_view text);
    // Five numbers separated by non-digits: day, month (1-12), year, hour, minute, local time.
    // Years below 2000 have 2000 added.
    static CDateTime ParseDateText(std::string_view text);

    // Replaces the cached day and month names and formats with those of the named locale
    // ("" = the user's, from the environment). Loaded on first use when never called.
    static void LoadLocaleTexts(const std::string& strLocaleName = "");

    bool IsValid() const { return m_bValid; }
    int64_t GetTime() const { return m_nTime; }
    void SetTime(int64_t nSeconds);

    void AddMinutes(int64_t n) { SetTime(m_nTime + n * 60); }
    void AddHours(int64_t n) { SetTime(m_nTime + n * 3600); }
    void AddDays(int64_t n) { SetTime(m_nTime + n * 86400); }
    // Same local day of month (clamped to the target month's length), hour and minute, n
    // months on; the seconds become 0. False (and invalid) when the conversion fails.
    bool AddMonths(int n);

    // The local broken-down form (meaningful only for a valid value that converts).
    int GetYear() const { return Local().tm_year + 1900; }
    int GetMonth() const { return Local().tm_mon; }        // 0-11
    int GetDay() const { return Local().tm_mday; }
    int GetHour() const { return Local().tm_hour; }
    int GetMinute() const { return Local().tm_min; }
    int GetSecond() const { return Local().tm_sec; }
    int GetDayOfWeek() const { return Local().tm_wday; }   // 0 = Sunday

    // Locale-formatted texts; false when the value is invalid or the text cannot be made.
    bool GetTimeText(std::string& out, bool bSeconds = false) const;
    bool GetLongDateText(std::string& out) const;
    bool GetShortDateText(std::string& out) const;
    bool GetDateTimeText(std::string& out, bool bSeconds = false) const;
    // The date-time text, or "(invalid time)" when it cannot be made; for log lines.
    std::string GetDateTimeText(bool bSeconds = false) const;

    std::string Get12HourTime() const;            // "07:05pm"
    std::string GetDayText(bool bWithYear) const; // "Tuesday 3rd March [2009]"
    // "Tue, 03 Mar 2009 18:05:00 GMT", from the UTC fields.
    std::string GetInternetDate() const;
    // "2009-03-03T18:05:00Z", for tools and diagnostics.
    std::string GetISO8601() const;

    static const char* GetOrdinalSuffix(int nDay);   // "st", "nd", "rd", "th"

private:
    const std::tm& Local() const;
    bool LocalOk() const;

    int64_t m_nTime = 0;
    bool m_bValid = false;
    // Cached local broken-down form; dropped whenever the seconds change.
    mutable bool m_bLocalCached = false;
    mutable bool m_bLocalOk = false;
    mutable std::tm m_local{};
};
