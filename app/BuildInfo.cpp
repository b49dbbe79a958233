// The build stamp. Kept apart because __DATE__ and __TIME__ make this file differ on every build.
#include "app/BuildInfo.h"

#include <chrono>
#include <cstdio>
#include <cstring>

const char* ProductVersion()
{
    return QVL_PRODUCT_VERSION;
}

const char* BuildNumber()
{
    return QVL_BUILD_NUMBER;
}

std::string BuildDateText()
{
    // __DATE__ is "Jul 11 2006" (day padded with a blank), __TIME__ "10:35:55"; the weekday is
    // worked out from the date.
    static const char months[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    static const char days[] = "SunMonTueWedThuFriSat";
    const char* date = __DATE__;
    char monthName[4] = {};
    int day = 0, year = 0;
    if (std::sscanf(date, "%3s %d %d", monthName, &day, &year) != 3)
        return std::string(date) + " " + __TIME__;
    const char* found = std::strstr(months, monthName);
    const unsigned month = found ? unsigned(found - months) / 3 + 1 : 1;
    const std::chrono::weekday weekday{std::chrono::sys_days{
        std::chrono::year{year} / std::chrono::month{month} / std::chrono::day{unsigned(day)}}};
    char text[64];
    std::snprintf(text, sizeof text, "%.3s %s %2d %s %d", days + 3 * weekday.c_encoding(), monthName,
                  day, __TIME__, year);
    return text;
}
