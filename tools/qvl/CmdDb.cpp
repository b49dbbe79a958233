// qvl db absorb|list|now|span: the programme database from a terminal, over the user's folders
// or the ones given with --schedule-folder, --pending-folder and --app-folder.
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "foundation/Exceptions.h"
#include "foundation/FolderPaths.h"
#include "foundation/SettingsStore.h"
#include "listings/ChannelGroups.h"
#include "listings/DateTime.h"
#include "listings/ProgrammeDB.h"
#include "listings/ProgrammeDBManager.h"
#include "listings/Regions.h"
#include "listings/UniqueList.h"
#include "platform/Clock.h"
#include "platform/File.h"
#include "script/theme/Theme.h"
#include "tools/qvl/Command.h"
#include "tools/qvl/Installation.h"

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
    std::string strScheduleFolder, strPendingFolder, strAppFolder;
    std::vector<uint32_t> channels;
    bool bPlaceholders = false;
    std::string strAt;
    std::vector<std::string> words;
};

std::string AsFolder(std::string text)
{
    if (!text.empty() && text.back() != '/')
        text += '/';
    return text;
}

bool ParseNumber(const std::string& text, uint32_t& value)
{
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long long n = std::strtoull(text.c_str(), nullptr, 10);
    value = uint32_t(n);
    return n <= UINT32_MAX;
}

bool ParseOptions(const qvl::Arguments& args, Options& options)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool bHasValue = i + 1 < args.size();
        if (arg == "--placeholders")
            options.bPlaceholders = true;
        else if (arg == "--schedule-folder" && bHasValue)
            options.strScheduleFolder = AsFolder(args[++i]);
        else if (arg == "--pending-folder" && bHasValue)
            options.strPendingFolder = AsFolder(args[++i]);
        else if (arg == "--app-folder" && bHasValue)
            options.strAppFolder = AsFolder(args[++i]);
        else if (arg == "--at" && bHasValue)
            options.strAt = args[++i];
        else if (arg == "--channel" && bHasValue) {
            uint32_t id = 0;
            if (!ParseNumber(args[++i], id))
                return false;
            options.channels.push_back(id);
        } else if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-')
            return false;
        else
            options.words.push_back(arg);
    }
    return !options.words.empty();
}

// "now", "now+2h", "now-30m", "now+1d", "now+90s", or "YYYY-MM-DDTHH:MM[:SS]Z".
bool ParseTime(const std::string& text, uint32_t& out)
{
    if (text.rfind("now", 0) == 0) {
        int64_t t = plat::NowUnix();
        if (text.size() > 3) {
            if ((text[3] != '+' && text[3] != '-') || text.size() < 6)
                return false;
            uint32_t n = 0;
            if (!ParseNumber(text.substr(4, text.size() - 5), n))
                return false;
            const char unit = text.back();
            const int64_t scale = unit == 'd' ? 86400 : unit == 'h' ? 3600 : unit == 'm' ? 60 : unit == 's' ? 1 : 0;
            if (!scale)
                return false;
            t += (text[3] == '+' ? 1 : -1) * int64_t(n) * scale;
        }
        if (t < 0 || t > int64_t(UINT32_MAX))
            return false;
        out = uint32_t(t);
        return true;
    }
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, n = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2dZ%n", &y, &mo, &d, &h, &mi, &s, &n) != 6 ||
        size_t(n) != text.size()) {
        s = 0;
        n = 0;
        if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2dZ%n", &y, &mo, &d, &h, &mi, &n) != 5 ||
            size_t(n) != text.size())
            return false;
    }
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s > 59)
        return false;
    const CDateTime time = CDateTime::FromUtc(y, mo - 1, d, h, mi, s);
    if (!time.IsValid() || time.GetTime() < 0 || time.GetTime() > int64_t(UINT32_MAX))
        return false;
    out = uint32_t(time.GetTime());
    return true;
}

// Fills the folders not given from the user's folder table, and the line-up from the selected
// region when there is one.
bool LoadInstallation(Options& options, std::vector<CChannelAssignmentPtr>& regionLineUp)
{
    const bool bAllGiven =
        !options.strScheduleFolder.empty() && !options.strPendingFolder.empty() && !options.strAppFolder.empty();
    CFolderPaths paths;
    if (!qvl::LoadFolders(paths))
        return bAllGiven;
    for (auto [pFolder, key] : {std::pair{&options.strScheduleFolder, "schedule-folder"},
                                std::pair{&options.strPendingFolder, "pending-schedules-folder"},
                                std::pair{&options.strAppFolder, "app-folder"}}) {
        if (pFolder->empty() && (*pFolder = qvl::FolderOf(paths, key)).empty())
            return false;
    }
    const std::string settingsFolder = qvl::FolderOf(paths, "user-settings");
    CSettingsStore settings;
    settings.SetFolderPaths(&paths);
    uint32_t uRegion = 0;
    if (settingsFolder.empty() || !settings.Load(settingsFolder + "settings.dat") ||
        !settings.GetUInt("user-selected-region-id", uRegion, 0) || uRegion == 0)
        return true;
    std::string theme;
    settings.GetString("user-selected-theme", theme, "default");
    try {
        if (!CTheme::Instance().LoadTheme(qvl::FolderOf(paths, "themes-folder") + theme))
            throw new CExtraInfoException(14, "Theme does not exist");
        CRegions().CheckSelectedRegion(settings);
    } catch (CBaseException* e) {
        std::fprintf(stderr, "qvl: no region line-up (%s); listing every channel with a schedule file\n",
                     e->GetText());
        e->Delete();
        return true;
    }
    CChannelAssignmentList list;
    CChannelGroups::Instance().FillAssignmentList(list);
    for (size_t i = 0; i < list.GetCount(); ++i)
        regionLineUp.push_back(list.GetAt(i));
    return true;
}

// Every channel with a schedule file ("<id>.dat"), by id.
std::vector<CChannelAssignmentPtr> ScheduleFileChannels(const std::string& strScheduleFolder)
{
    std::vector<uint32_t> ids;
    for (const plat::FileInfo& info : plat::FindFiles(strScheduleFolder + "*.dat")) {
        uint32_t id = 0;
        if (!info.isDirectory && ParseNumber(info.name.substr(0, info.name.size() - 4), id))
            ids.push_back(id);
    }
    std::sort(ids.begin(), ids.end());
    std::vector<CChannelAssignmentPtr> lineUp;
    for (uint32_t id : ids)
        lineUp.push_back(std::make_shared<CChannelAssignment>(0, id, "", ""));
    return lineUp;
}

std::string Field(std::string text)
{
    std::replace_if(text.begin(), text.end(), [](char c) { return c == '\t' || c == '\r' || c == '\n'; }, ' ');
    return text;
}

void PrintProgramme(const CProgramme& programme)
{
    std::printf("%u\t%s\t%s\t%s\t%u\t%u\n", programme.GetChannelID(), programme.GetStart().GetISO8601().c_str(),
                programme.GetEnd().GetISO8601().c_str(), Field(programme.GetTitle()).c_str(),
                programme.GetCategoryID(), programme.GetProgrammeID());
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
        CProgrammeDBFlat database(options.strScheduleFolder, options.strPendingFolder, std::move(hooks));
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
        if (nWords != 3 || !ParseTime(options.words[1], uFrom) || !ParseTime(options.words[2], uTo))
            return qvl::UsageError(kDb);
    } else if (action == "now") {
        if (nWords != 1 || (!options.strAt.empty() && !ParseTime(options.strAt, uAt)))
            return qvl::UsageError(kDb);
    } else if (action != "span" || nWords != 1) {
        return qvl::UsageError(kDb);
    }

    std::vector<CChannelAssignmentPtr> lineUp;
    if (!LoadInstallation(options, lineUp))
        return qvl::kExitFailure;
    if (!options.channels.empty()) {
        lineUp.clear();
        for (uint32_t id : options.channels)
            lineUp.push_back(std::make_shared<CChannelAssignment>(0, id, "", ""));
    } else if (lineUp.empty()) {
        lineUp = ScheduleFileChannels(options.strScheduleFolder);
    }
    ProgrammeDBHooks hooks;
    hooks.fillLineUp = [lineUp](CChannelAssignmentList& list) {
        for (const CChannelAssignmentPtr& pAssignment : lineUp)
            list.Add(pAssignment);
    };
    if (action == "absorb")
        return Absorb(options, std::move(hooks));

    CProgrammeDBFlat database(options.strScheduleFolder, options.strPendingFolder, std::move(hooks));
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
