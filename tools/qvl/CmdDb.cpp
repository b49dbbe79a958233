// qvl db absorb|list|now|span: the programme database from a terminal, over the user's folders
// or the ones given with --schedule-folder, --pending-folder and --app-folder.
#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "listings/DateTime.h"
#include "listings/ProgrammeDB.h"
#include "listings/ProgrammeDBManager.h"
#include "listings/UniqueList.h"
#include "platform/Clock.h"
#include "tools/qvl/Command.h"
#include "tools/qvl/ListingsOptions.h"

namespace {

int RunDb(const qvl::Arguments& args);

const qvl::Command kDb = {
    "db",
    "absorb FILE... | list FROM TO [--channel ID]... [--placeholders] | now [--at TIME] | span"
    " [--schedule-folder DIR] [--pending-folder DIR] [--app-folder DIR]",
    "absorbs listings update files and lists the programme database",
    "absorb merges update files into the schedule files as the program does, deleting each file\n"
    "it dealt with, and prints each file's name with \"absorbed\" or why it was not.\n"
    "list prints the programmes of [FROM, TO), one per line: channel id, start, end, title,\n"
    "category id and programme id, tab-separated, times in UTC. now prints each channel's\n"
    "programme on now and the next one. span prints the first start and the last end.\n"
    "Times are ISO 8601 UTC (2026-12-11T20:00:00Z) or \"now\" with an optional offset such as\n"
    "now+2h, now-30m, now+1d. Without --channel, the channels are the line-up of the selected\n"
    "region, or every channel with a schedule file when no region is selected.",
    RunDb,
};

struct Options {
    qvl::ListingsOptions listings;
    bool bPlaceholders = false;
    std::string strAt;
    std::vector<std::string> words;
};

bool ParseOptions(const qvl::Arguments& args, Options& options)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        bool bBad = false;
        if (qvl::TakeListingsOption(args, i, options.listings, bBad)) {
            if (bBad)
                return false;
        } else if (arg == "--placeholders")
            options.bPlaceholders = true;
        else if (arg == "--at" && i + 1 < args.size())
            options.strAt = args[++i];
        else if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-')
            return false;
        else
            options.words.push_back(arg);
    }
    return !options.words.empty();
}

void PrintProgramme(const CProgramme& programme)
{
    std::printf("%s\n", qvl::ProgrammeLine(programme).c_str());
}

int Absorb(const Options& options, ProgrammeDBHooks hooks)
{
    std::mutex lock;
    std::condition_variable done;
    size_t nFinished = 0;
    bool bAllAbsorbed = true;
    hooks.onFileProcessed = [&](const std::string& path, const std::string& result) {
        std::lock_guard guard(lock);
        const size_t slash = path.find_last_of('/');
        std::printf("%s: %s\n", slash == std::string::npos ? path.c_str() : path.c_str() + slash + 1, result.c_str());
        bAllAbsorbed = bAllAbsorbed && result == "absorbed";
        ++nFinished;
        done.notify_all();
    };
    const std::vector<std::string> files =
        OrderPendingFiles({options.words.begin() + 1, options.words.end()});
    {
        CProgrammeDBFlat database(options.listings.strScheduleFolder, options.listings.strPendingFolder,
                                  std::move(hooks));
        for (const std::string& file : files)
            database.AbsorbFile(file);
        std::unique_lock guard(lock);
        done.wait(guard, [&] { return nFinished == files.size(); });
        guard.unlock();
        database.Close();
    }
    CUniqueProgrammeList::ReleaseShared();
    CUniquePersonList::ReleaseShared();
    return bAllAbsorbed ? qvl::kExitOk : qvl::kExitFailure;
}

int RunDb(const qvl::Arguments& args)
{
    Options options;
    if (!ParseOptions(args, options))
        return qvl::UsageError(kDb);
    const std::string& action = options.words[0];
    const size_t nWords = options.words.size();
    uint32_t uFrom = 0, uTo = 0, uAt = uint32_t(plat::NowUnix());
    if (action == "absorb") {
        if (nWords < 2)
            return qvl::UsageError(kDb);
    } else if (action == "list") {
        if (nWords != 3 || !qvl::ParseTime(options.words[1], uFrom) ||
            !qvl::ParseTime(options.words[2], uTo))
            return qvl::UsageError(kDb);
    } else if (action == "now") {
        if (nWords != 1 || (!options.strAt.empty() && !qvl::ParseTime(options.strAt, uAt)))
            return qvl::UsageError(kDb);
    } else if (action != "span" || nWords != 1) {
        return qvl::UsageError(kDb);
    }

    std::vector<CChannelAssignmentPtr> lineUp;
    if (!qvl::LoadListingsLineUp(options.listings, lineUp))
        return qvl::kExitFailure;
    ProgrammeDBHooks hooks;
    hooks.fillLineUp = [lineUp](CChannelAssignmentList& list) {
        for (const CChannelAssignmentPtr& pAssignment : lineUp)
            list.Add(pAssignment);
    };
    if (action == "absorb")
        return Absorb(options, std::move(hooks));

    CProgrammeDBFlat database(options.listings.strScheduleFolder, options.listings.strPendingFolder,
                              std::move(hooks));
    if (action == "span") {
        uint32_t uFirst = 0, uLast = 0;
        database.GetListingsBounds(uFirst, uLast);
        std::printf("%s\t%s\n", CDateTime(uFirst).GetISO8601().c_str(), CDateTime(uLast).GetISO8601().c_str());
        return qvl::kExitOk;
    }
    if (action == "list") {
        CProgrammeList list;
        for (const CChannelAssignmentPtr& pAssignment : lineUp) {
            database.GetProgrammeList(pAssignment, uFrom, uTo, list, options.bPlaceholders);
            for (const CProgrammePtr& pProgramme : list)
                PrintProgramme(*pProgramme);
        }
        return qvl::kExitOk;
    }
    ChannelProgrammeMap map;
    for (const CChannelAssignmentPtr& pAssignment : lineUp)
        map.emplace_back(pAssignment, CProgrammeList());
    database.GetNextProgsChannelProgrammesMap(map, uAt, 2);
    for (const auto& [pAssignment, list] : map)
        for (const CProgrammePtr& pProgramme : list)
            PrintProgramme(*pProgramme);
    return qvl::kExitOk;
}

const qvl::CommandRegistration kRegistration(kDb);

}  // namespace
