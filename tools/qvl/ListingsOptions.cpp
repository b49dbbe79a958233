#include "tools/qvl/ListingsOptions.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "foundation/Exceptions.h"
#include "foundation/FolderPaths.h"
#include "foundation/SettingsStore.h"
#include "listings/ChannelGroups.h"
#include "listings/DateTime.h"
#include "listings/Programme.h"
#include "listings/Regions.h"
#include "platform/Clock.h"
#include "platform/File.h"
#include "script/theme/Theme.h"
#include "tools/qvl/Installation.h"

namespace qvl {

namespace {

std::string AsFolder(std::string text)
{
    if (!text.empty() && text.back() != '/')
        text += '/';
    return text;
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

// The selected region's line-up; empty when no region is selected or it cannot be loaded.
std::vector<CChannelAssignmentPtr> RegionLineUp(CFolderPaths& paths)
{
    const std::string settingsFolder = FolderOf(paths, "user-settings");
    CSettingsStore settings;
    settings.SetFolderPaths(&paths);
    uint32_t uRegion = 0;
    if (settingsFolder.empty() || !settings.Load(settingsFolder + "settings.dat") ||
        !settings.GetUInt("user-selected-region-id", uRegion, 0) || uRegion == 0)
        return {};
    std::string theme;
    settings.GetString("user-selected-theme", theme, "default");
    try {
        if (!CTheme::Instance().LoadTheme(FolderOf(paths, "themes-folder") + theme))
            throw new CExtraInfoException(14, "Theme does not exist");
        CRegions().CheckSelectedRegion(settings);
    } catch (CBaseException* e) {
        std::fprintf(stderr, "qvl: no region line-up (%s); listing every channel with a schedule file\n",
                     e->GetText());
        e->Delete();
        return {};
    }
    CChannelAssignmentList list;
    CChannelGroups::Instance().FillAssignmentList(list);
    std::vector<CChannelAssignmentPtr> lineUp;
    for (size_t i = 0; i < list.GetCount(); ++i)
        lineUp.push_back(list.GetAt(i));
    return lineUp;
}

}  // namespace

bool TakeListingsOption(const Arguments& args, size_t& i, ListingsOptions& options, bool& bBad)
{
    const std::string& arg = args[i];
    std::string* pFolder = arg == "--schedule-folder" ? &options.strScheduleFolder
                           : arg == "--pending-folder" ? &options.strPendingFolder
                           : arg == "--app-folder"     ? &options.strAppFolder
                                                       : nullptr;
    if (!pFolder && arg != "--channel")
        return false;
    if (i + 1 >= args.size()) {
        bBad = true;
        return true;
    }
    const std::string& value = args[++i];
    if (pFolder) {
        *pFolder = AsFolder(value);
    } else {
        uint32_t id = 0;
        if (ParseNumber(value, id))
            options.channels.push_back(id);
        else
            bBad = true;
    }
    return true;
}

bool ParseNumber(const std::string& text, uint32_t& value)
{
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const unsigned long long n = std::strtoull(text.c_str(), nullptr, 10);
    value = uint32_t(n);
    return n <= UINT32_MAX;
}

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

bool LoadListingsLineUp(ListingsOptions& options, std::vector<CChannelAssignmentPtr>& lineUp)
{
    lineUp.clear();
    const bool bAllGiven =
        !options.strScheduleFolder.empty() && !options.strPendingFolder.empty() && !options.strAppFolder.empty();
    CFolderPaths paths;
    const bool bInstalled = LoadFolders(paths);
    if (!bInstalled && !bAllGiven)
        return false;
    if (bInstalled) {
        for (auto [pFolder, key] : {std::pair{&options.strScheduleFolder, "schedule-folder"},
                                    std::pair{&options.strPendingFolder, "pending-schedules-folder"},
                                    std::pair{&options.strAppFolder, "app-folder"}}) {
            if (pFolder->empty() && (*pFolder = FolderOf(paths, key)).empty())
                return false;
        }
    }
    if (!options.channels.empty()) {
        for (uint32_t id : options.channels)
            lineUp.push_back(std::make_shared<CChannelAssignment>(0, id, "", ""));
        return true;
    }
    if (bInstalled)
        lineUp = RegionLineUp(paths);
    if (lineUp.empty())
        lineUp = ScheduleFileChannels(options.strScheduleFolder);
    return true;
}

std::string Field(std::string text)
{
    std::replace_if(text.begin(), text.end(), [](char c) { return c == '\t' || c == '\r' || c == '\n'; }, ' ');
    return text;
}

std::string ProgrammeLine(const CProgramme& programme)
{
    return std::to_string(programme.GetChannelID()) + "\t" + programme.GetStart().GetISO8601() + "\t" +
           programme.GetEnd().GetISO8601() + "\t" + Field(programme.GetTitle()) + "\t" +
           std::to_string(programme.GetCategoryID()) + "\t" + std::to_string(programme.GetProgrammeID());
}

}  // namespace qvl
