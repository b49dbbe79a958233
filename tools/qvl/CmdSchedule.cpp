// qvl schedule dump FILE [--records]: the header and index of a channel schedule file, and with
// --records each decoded programme record.
#include <cstdio>
#include <string>

#include "listings/ScheduleDump.h"
#include "tools/qvl/Command.h"

namespace {

int RunSchedule(const qvl::Arguments& args);

const qvl::Command kSchedule = {
    "schedule",
    "dump FILE [--records]",
    "shows a channel schedule file's header and index",
    "Each index line gives the programme's start and end (UTC), when it was absorbed, and where\n"
    "its record lies. --records adds each record's title, category id, programme id and keyword\n"
    "indexes, and marks records that are damaged.",
    RunSchedule,
};

int RunSchedule(const qvl::Arguments& args) {
    if (args.empty() || args[0] != "dump") return qvl::UsageError(kSchedule);
    std::string path;
    bool records = false;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--records") records = true;
        else if (path.empty() && !args[i].empty() && args[i][0] != '-') path = args[i];
        else return qvl::UsageError(kSchedule);
    }
    if (path.empty()) return qvl::UsageError(kSchedule);
    std::string text;
    const bool ok = DumpScheduleFile(path, records, text);
    std::fwrite(text.data(), 1, text.size(), ok ? stdout : stderr);
    return ok ? qvl::kExitOk : qvl::kExitFailure;
}

const qvl::CommandRegistration kRegistration(kSchedule);

}  // namespace
