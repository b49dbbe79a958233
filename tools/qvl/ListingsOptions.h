// What the qvl commands over the programme database share: the folder options
// (--schedule-folder, --pending-folder, --app-folder) and --channel, times as a user writes
// them, the line-up to list, and the line a programme is printed as.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "listings/ChannelAssignment.h"
#include "tools/qvl/Command.h"

class CProgramme;

namespace qvl {

struct ListingsOptions {
    std::string strScheduleFolder, strPendingFolder, strAppFolder;   // "" until given or loaded
    std::vector<uint32_t> channels;                                 // --channel ids
};

// When args[i] is one of the shared options, takes it with its value (advancing i) and answers
// true; bBad is set when its value is missing or wrong.
bool TakeListingsOption(const Arguments& args, size_t& i, ListingsOptions& options, bool& bBad);

// A decimal number that fits 32 bits.
bool ParseNumber(const std::string& text, uint32_t& value);

// "now", "now+2h", "now-30m", "now+1d", "now+90s", or "YYYY-MM-DDTHH:MM[:SS]Z".
bool ParseTime(const std::string& text, uint32_t& out);

// Fills the folders not given from the user's folder table, and the line-up: the --channel
// ids, else the selected region's line-up, else every channel with a schedule file. False,
// after saying why on standard error, when a folder is unknown.
bool LoadListingsLineUp(ListingsOptions& options, std::vector<CChannelAssignmentPtr>& lineUp);

// Channel id, start, end, title, category id and programme id, tab-separated, times in UTC;
// tabs and line breaks inside the title become blanks. No line end.
std::string ProgrammeLine(const CProgramme& programme);

// The text with tabs and line breaks made blanks, for one tab-separated field.
std::string Field(std::string text);

}  // namespace qvl
