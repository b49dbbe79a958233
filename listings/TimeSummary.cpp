#include "listings/TimeSummary.h"

#include "listings/DateTime.h"

namespace {

std::string MinutePart(int64_t minutes) {
    return minutes == 1 ? std::string("1 minute") : std::to_string(minutes) + " minutes";
}

std::string HourPart(int64_t hours) {
    return hours == 1 ? std::string("1 hour") : std::to_string(hours) + " hours";
}

}  // namespace

std::string GetDurationText(uint32_t nMinutes) {
    if (nMinutes / 60 == 0) return MinutePart(nMinutes);
    if (nMinutes % 60 == 0) return HourPart(nMinutes / 60);
    return HourPart(nMinutes / 60) + " and " + MinutePart(nMinutes % 60);
}

std::string GetTimeSummary(int64_t nStart, int64_t nEnd, int64_t nNow) {
    if (nEnd <= nNow) return "Already shown";
    if (nNow >= nStart) {
        const int64_t left = nEnd - nNow;
        const int64_t hours = left / 3600;
        const int64_t minutes = left / 60 - 60 * hours;
        if (hours > 0 && minutes > 0) return HourPart(hours) + " and " + MinutePart(minutes) + " left";
        if (hours > 0) return HourPart(hours) + " left";
        return MinutePart(minutes) + " left";
    }
    const int64_t wait = nStart - nNow;
    const int64_t hours = wait / 3600;
    if (hours == 0) return "in " + MinutePart(wait / 60);
    if (hours <= 5) {
        const int64_t minutes = (wait / 60) % 60;
        return minutes != 0 ? "in " + HourPart(hours) + " and " + MinutePart(minutes) : "in " + HourPart(hours);
    }
    if (hours <= 23) {
        const CDateTime start(nStart), now(nNow);
        const char* day = start.GetDay() != now.GetDay() ? "tomorrow" : "this";
        const int hour = start.GetHour();
        const char* part = hour >= 18 ? "evening" : hour >= 12 ? "afternoon" : "morning";
        return std::string("starting ") + day + " " + part;
    }
    const int64_t days = wait / 86400;
    return "starting in " + std::to_string(days) + (days < 2 ? " day" : " days");
}
