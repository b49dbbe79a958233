// The two texts shown for a programme: how long it lasts ("1 hour and 5 minutes") and when it
// starts or how long it has left ("in 20 minutes", "starting this evening", "5 minutes left").
#pragma once
#include <cstdint>
#include <string>

std::string GetDurationText(uint32_t nMinutes);
// Times in seconds since 1970 UTC; the local hour and day decide the "starting ..." texts.
std::string GetTimeSummary(int64_t nStart, int64_t nEnd, int64_t nNow);
