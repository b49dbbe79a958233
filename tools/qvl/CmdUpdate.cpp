// qvl update: one update run of the user's installation from a terminal, waiting until the
// listings it fetched are absorbed.
#include <atomic>
#include <cstdio>
#include <mutex>

#include "app/ApplicationServices.h"
#include "foundation/Exceptions.h"
#include "foundation/FolderPaths.h"
#include "foundation/Log.h"
#include "foundation/SettingsStore.h"
#include "listings/ProgrammeDBManager.h"
#include "listings/Regions.h"
#include "listings/UniqueList.h"
#include "platform/Instance.h"
#include "platform/Names.h"
#include "platform/Process.h"
#include "script/theme/Theme.h"
#include "tools/qvl/Command.h"
#include "tools/qvl/Installation.h"
#include "update/AbsorbIntoDatabase.h"
#include "update/CheckForUpdates.h"

namespace {

int RunUpdate(const qvl::Arguments& args);

const qvl::Command kUpdate = {
    "update",
    "[--server HOST:PORT]",
    "runs one update of the installation's listings and files",
    "Asks the listings servers (those of servers.xml in the program's folder, or HOST:PORT; a\n"
    "\"nodial\" file in the program's folder takes precedence over both) for the file list and\n"
    "for the listings updates of the selected region's channels, installs what changed and\n"
    "waits until the listings are absorbed. Program files are handed to QuilvoLiteUpgrader,\n"
    "which closes a running program and installs them. Exits with 1 when anything failed.",
    RunUpdate,
};

const qvl::CommandRegistration kRegistration(kUpdate);

class UpdateServices : public CApplicationServices {
public:
    explicit UpdateServices(CFolderPaths& paths) : m_paths(paths) {}

    std::string GetFolder(const std::string& key) override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_paths.GetFolder(key);
    }
    bool FindFolder(const std::string& key, std::string& path) override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_paths.FindFolder(key, path);
    }
    void StartUpgraderAndExit() override
    {
        m_bHandedOver = true;
        const std::string upgrader = GetFolder("app-folder") + plat::kUpgraderName;
        std::printf("program files downloaded; starting %s to install them\n", upgrader.c_str());
        if (!plat::SpawnDetached(upgrader, {})) {
            std::fprintf(stderr, "qvl: cannot start %s: %s\n", upgrader.c_str(), FormatLastError().c_str());
            m_bUpgradeFailed = true;
            return;
        }
        plat::BroadcastMessage(plat::kExitMessageName);
    }
    void ReloadFolders()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        qvl::LoadFolders(m_paths);
    }
    bool UpgradeFailed() const { return m_bUpgradeFailed; }
    bool HandedOver() const { return m_bHandedOver; }

private:
    std::mutex m_lock;
    CFolderPaths& m_paths;
    std::atomic<bool> m_bUpgradeFailed{false};
    std::atomic<bool> m_bHandedOver{false};
};

// Makes the selected region the line-up, as the program does at start-up (which forgets a
// region that the theme's region file does not have, in memory only here).
void LoadLineUp(CFolderPaths& paths, CSettingsStore& settings, uint32_t region)
{
    if (region == 0) {
        std::printf("no region selected: fetching files only\n");
        return;
    }
    settings.SetUInt("user-selected-region-id", region);
    std::string theme;
    settings.GetString("user-selected-theme", theme, "default");
    try {
        if (!CTheme::Instance().LoadTheme(qvl::FolderOf(paths, "themes-folder") + theme))
            throw new CExtraInfoException(14, "Theme does not exist");
        CRegions().CheckSelectedRegion(settings);
    } catch (CBaseException* e) {
        std::fprintf(stderr, "qvl: no line-up for region %u (%s): fetching files only\n", region, e->GetText());
        e->Delete();
    }
}

// One update run, printing its progress and failures; false when it failed.
bool RunOnce(IAbsorbTarget& target, const CSettingsStore& settings, const std::vector<std::string>& servers,
             std::mutex& lock)
{
    CCheckForUpdates checker(target, settings);
    checker.SetServerHosts(servers);
    checker.SetErrorSink([&](int32_t, const std::string& text) {
        std::lock_guard<std::mutex> guard(lock);
        std::fprintf(stderr, "qvl: update: %s\n", text.c_str());
    });
    if (!checker.StartUpdate()) {
        std::fprintf(stderr, "qvl: cannot start the update\n");
        return false;
    }
    std::printf("asking for updates\n");
    int stage = 0;
    for (bool finished = false; !finished;) {
        finished = checker.WaitUntilFinished(100);
        const int now = checker.GetStage();
        if (now != stage && (now == 6 || now == 7)) {
            std::lock_guard<std::mutex> guard(lock);
            std::printf("%s\n", now == 6 ? "downloading" : "downloads over");
            std::fflush(stdout);
        }
        stage = now;
    }
    return !checker.Failed();
}

int RunUpdate(const qvl::Arguments& args)
{
    std::vector<std::string> servers;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--server" && i + 1 < args.size())
            servers.push_back(args[++i]);
        else
            return qvl::UsageError(kUpdate);
    }

    CFolderPaths paths;
    if (!qvl::LoadFolders(paths))
        return qvl::kExitFailure;
    UpdateServices services(paths);
    const std::string settingsFolder = qvl::FolderOf(paths, "user-settings");
    const std::string scheduleFolder = qvl::FolderOf(paths, "schedule-folder");
    const std::string pendingFolder = qvl::FolderOf(paths, "pending-schedules-folder");
    const std::string appFolder = qvl::FolderOf(paths, "app-folder");
    if (settingsFolder.empty() || scheduleFolder.empty() || pendingFolder.empty() || appFolder.empty())
        return qvl::kExitFailure;
    CSettingsStore settings;
    settings.SetFolderPaths(&paths);
    settings.Load(settingsFolder + "settings.dat");
    uint32_t region = 0;
    settings.GetUInt("user-selected-region-id", region, 0);
    LoadLineUp(paths, settings, region);

    std::mutex lock;
    bool bAbsorbFailed = false;
    ProgrammeDBHooks hooks;
    hooks.onFileProcessed = [&](const std::string& path, const std::string& result) {
        std::lock_guard<std::mutex> guard(lock);
        const size_t slash = path.find_last_of('/');
        std::printf("%s: %s\n", path.c_str() + (slash == std::string::npos ? 0 : slash + 1), result.c_str());
        bAbsorbFailed = bAbsorbFailed || result != "absorbed";
    };
    CProgrammeDBManager& manager = CProgrammeDBManager::Instance();
    manager.Start(scheduleFolder, pendingFolder, appFolder, std::move(hooks));
    CDatabaseAbsorbTarget target([&services] { services.ReloadFolders(); });
    const std::vector<uint32_t> channelsBefore = target.GetUserChannels();
    bool bFailed = !RunOnce(target, settings, servers, lock);
    // A first run may bring a new region file, and with it a line-up whose listings a second
    // run fetches: apply the selected region again from whatever region file is now installed.
    if (!bFailed && !services.HandedOver() && region != 0)
        LoadLineUp(paths, settings, region);
    if (!bFailed && !services.HandedOver() && target.GetUserChannels() != channelsBefore) {
        std::printf("the line-up changed: asking for its listings\n");
        bFailed = !RunOnce(target, settings, servers, lock);
    }
    bFailed = bFailed || services.UpgradeFailed();
    if (CProgrammeDBFlat* database = manager.GetDatabase()) {
        while (database->IsAbsorberBusy())
            plat::Sleep(100);
    }
    manager.Close();
    CUniqueProgrammeList::ReleaseShared();
    CUniquePersonList::ReleaseShared();
    bFailed = bFailed || bAbsorbFailed;
    std::printf("%s\n", bFailed ? "update failed" : "update finished");
    return bFailed ? qvl::kExitFailure : qvl::kExitOk;
}

}  // namespace
