// The upgrader.
//
// A running program cannot safely replace its own executable and libraries, so when an update
// run has downloaded program files it leaves them in the updates folder under their hashnames,
// beside the file list "filelist.dat" and the marker "check.dat" that says the download is
// complete, starts this program and exits. The upgrader installs the files and starts the
// launcher again.
//
// What it guarantees
//
//   After the upgrader has run, the installation is either the new one (every listed download
//   installed on its installed path, exit code 0) or the old one (exit code 1): a mix of new and
//   old program files is never left behind, except when putting back an old file itself fails,
//   which is logged. Whatever happened, the updates folder holds no plain files afterwards and
//   the launcher has been started once, so a failed upgrade is never retried from the same
//   downloads; the next update run downloads whatever still differs.
//
// Invariants
//
//   1. No download, installed file or backup is touched, and the launcher is not started,
//      before the running program has let go of its single-instance lock or 30 seconds have
//      passed: on Linux a running program's files can be renamed over at once, and a restart
//      would meet the old copy still running.
//   2. Nothing is installed unless every download that has a file-list entry matches it (CRC
//      and size when the entry gives them), every installed path lies inside its folder (the
//      extractname is a relative path of ordinary components and the folder key is known), and
//      every file about to be replaced has a backup made by this run.
//   3. A file is installed by writing a temporary file in the target's folder and renaming it
//      over the target: at every moment the target is the old file or the complete new one.
//      An executable carries its exec bit before the rename.
//   4. m_installed names every file this run replaced or created, in order, and grows only
//      after the file is in place. When a listed file cannot be installed, RollBack puts the
//      old ones back from their backups and removes the created ones, newest first.
//   5. Backups are made before the first file is installed and are never deleted: files of the
//      application folder are kept at the top of the backup folder under their extractname,
//      files of another folder key under a subfolder named after the key, so no two installed
//      files share a backup.
//   6. Names read from the file list never reach the file system unchecked; names of downloads
//      are the plain names the updates folder lists.
//   7. Every way out of Run passes through RestartMainApplication exactly once.
//
// States, and the functions that move between them
//
//   STARTED
//      |  Run: BroadcastMessage("QVL_Exit"), LoadFolders, StartLogging
//   WAITING
//      |  WaitForMainProgram: the lock is free, or 30 s passed
//   CHECKING
//      |  Upgrade: marker and list exist, the list loads, holds entries ...... no ....+
//   LISTED                                                                           |
//      |  TakeInventory, VerifyDownloads: every download matches its entry ... no ....+
//   VERIFIED                                                                         |
//      |  BackUpFiles: ".cmp" leftovers deleted, backups made                        |
//   BACKED-UP                                                                        |
//      |  CheckReadyToInstall: each replaced file backed up, none unlisted ... no ....+
//   INSTALLING                                                                       |
//      |  CopyFiles, a file at a time; listings files to the pending folder          |
//      |  ... a listed file cannot be installed: RollBack --> ROLLED-BACK ............+
//   INSTALLED                                                                        |
//      |  RestartMainApplication, exit 0                    RestartMainApplication, exit 1
//   DONE
//
// A foundation exception on the way (a folder that cannot be created) is logged, rolls back
// whatever was installed and ends as a failure.
#include "upgrader/Upgrader.h"

#include <cerrno>
#include <map>

#include "foundation/Exceptions.h"
#include "foundation/FileUtils.h"
#include "foundation/Log.h"
#include "foundation/NameHash.h"
#include "platform/Error.h"
#include "platform/File.h"
#include "platform/Instance.h"
#include "platform/MessageBox.h"
#include "platform/Names.h"
#include "platform/Process.h"

namespace {

constexpr int kCopyAttempts = 50;
constexpr uint32_t kCopyRetryDelay = 500;
constexpr uint32_t kMainProgramExitWait = 30000;

bool StartsWithFolded(const std::string& text, std::string_view start)
{
    return text.size() >= start.size() && NamesEqual(std::string_view(text).substr(0, start.size()), start);
}

// The text after the last full stop, or nothing.
std::string_view Extension(const std::string& name)
{
    const size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string_view() : std::string_view(name).substr(dot + 1);
}

std::string FolderOf(const std::string& path)
{
    return path.substr(0, path.rfind('/') + 1);
}

// True when nobody is writing the file or holds it for themselves alone. Readers do not
// matter: the rename leaves them the old file.
bool IsFreeToReplace(const std::string& path)
{
    if (!plat::FileExists(path))
        return true;
    FILE* file = plat::OpenFile(path, "rb", plat::Share::DenyWrite);
    if (!file)
        return false;
    plat::CloseFile(file);
    return true;
}

}  // namespace

int CUpgrader::Run()
{
    plat::BroadcastMessage(plat::kExitMessageName);
    m_paths.SetApplicationFolder(plat::ExecutableFolder());
    LoadFolders();
    StartLogging();
    LogInfo("Upgrading Quilvo Lite...");
    WaitForMainProgram();

    int code = 1;
    try {
        code = Upgrade();
    } catch (CBaseException* e) {
        LogWarning("Upgrade stopped because %s", e->GetText());
        e->Delete();
        RollBack();
    }
    RestartMainApplication();
    return code;
}

void CUpgrader::LoadFolders()
{
    m_paths.Load(m_paths.GetApplicationFolder() + "paths.dat");
    bool loaded = false;
    try {
        const std::string settings = Folder("user-settings");
        loaded = m_paths.Load(settings + "user-paths.dat");
    } catch (CBaseException* e) {
        e->Delete();
    }
    if (!loaded)
        m_paths.Load(AppFolder() + "user-paths.dat");
}

void CUpgrader::StartLogging()
{
    std::string path;
    try {
        path = Folder("log-folder") + "QuilvoLiteUpgrade.log";
    } catch (CBaseException* e) {
        e->Delete();   // no log file; the restart still happens
    }
    InitLogging("Quilvo Lite Upgrader", "", path, 2, false);
}

void CUpgrader::WaitForMainProgram()
{
    if (!plat::SingleInstanceLock::WaitUntilFree(plat::kSingleInstanceName, kMainProgramExitWait))
        LogWarning("Quilvo Lite is still running after %u seconds, upgrading anyway",
                   kMainProgramExitWait / 1000);
}

int CUpgrader::Upgrade()
{
    m_strUpdates = Folder("updates-folder");
    const std::string marker = m_strUpdates + "check.dat";
    const std::string list = m_strUpdates + "filelist.dat";
    const bool markerExists = plat::FileExists(marker);
    if (!markerExists || !plat::FileExists(list)) {
        if (!markerExists)
            LogWarning("'%s' did not exist so something failed or was cancelled", marker.c_str());
        return 1;
    }
    bool loaded = false;
    try {
        loaded = m_list.Load(list);
    } catch (CBaseException* e) {
        e->Delete();
    }
    if (!loaded || m_list.IsEmpty()) {
        LogWarning("'%s' could not be loaded or was empty", list.c_str());
        return 1;
    }

    TakeInventory();
    if (!VerifyDownloads())
        return 1;
    BackUpFiles();
    if (!CheckReadyToInstall())
        return 1;
    return CopyFiles() ? 0 : 1;
}

void CUpgrader::TakeInventory()
{
    for (const plat::FileInfo& file : plat::FindFiles(m_strUpdates + "*.*")) {
        if (file.isDirectory || StartsWithFolded(file.name, "check.dat") ||
            StartsWithFolded(file.name, "filelist.dat"))
            continue;
        CDownload download;
        download.strName = file.name;
        download.pEntry = m_list.FindByHashName(file.name);
        const std::string_view extension = Extension(file.name);
        if (NamesEqual(extension, "cmp"))
            download.kind = EKind::Leftover;
        else if (download.pEntry)
            download.kind = EKind::Listed;
        else if (NamesEqual(extension, "up"))
            download.kind = EKind::Listings;
        m_downloads.push_back(std::move(download));
    }
}

bool CUpgrader::VerifyDownloads()
{
    const std::string backups = Folder("backup-files-folder");
    bool verified = true;
    for (CDownload& download : m_downloads) {
        if (download.kind != EKind::Listed)
            continue;
        const CFileListEntry& entry = *download.pEntry;
        const std::string source = Source(download);
        const bool inAppFolder = entry.m_strExtractFolder.empty() || NamesEqual(entry.m_strExtractFolder, "app-folder");
        const std::string key = inAppFolder ? "app-folder" : entry.m_strExtractFolder;
        // The key also names the backup subfolder, so it must be a plain name.
        std::string folder;
        if (IsConfinedRelativePath(key) && key.find('/') == std::string::npos)
            m_paths.FindFolder(key, folder);
        if (folder.empty()) {
            LogWarning("Failed to find folder '%s' for file '%s'", entry.m_strExtractFolder.c_str(), source.c_str());
            verified = false;
            continue;
        }
        if (!entry.GetInstalledPath(folder, download.strInstalledPath) ||
            !entry.GetInstalledPath(inAppFolder ? backups : backups + key + "/", download.strBackupPath)) {
            LogWarning("Refusing to install '%s' because its install name '%s' leaves its folder", source.c_str(),
                       entry.m_strExtractName.c_str());
            verified = false;
            continue;
        }
        plat::FileInfo info;
        uint32_t crc = 0;
        if (!plat::GetFileInfo(source, info) || (entry.m_uCRC != 0 && !GetFileCRC(source, crc))) {
            LogWarning("Failed to check file %s because %s", source.c_str(), FormatLastError().c_str());
            verified = false;
        } else if (entry.m_uBytes != 0 && info.size != entry.m_uBytes) {
            LogWarning("'%s' does not match the filelist: %llu bytes, expected %u", source.c_str(),
                       static_cast<unsigned long long>(info.size), entry.m_uBytes);
            verified = false;
        } else if (entry.m_uCRC != 0 && crc != entry.m_uCRC) {
            LogWarning("'%s' does not match the filelist: CRC %08X, expected %08X", source.c_str(), crc, entry.m_uCRC);
            verified = false;
        }
    }
    if (!verified)
        LogWarning("Upgrade abandoned before installing anything");
    return verified;
}

void CUpgrader::BackUpFiles()
{
    LogInfo("Backing up files");
    std::map<std::string, std::string> backedUp;   // backup path -> the installed path it holds
    for (CDownload& download : m_downloads) {
        switch (download.kind) {
        case EKind::Leftover:
            plat::DeleteFile(Source(download));
            break;
        case EKind::Listings:
            LogDetail("Ignoring file %s", download.strName.c_str());
            break;
        case EKind::Unlisted:
            LogWarning("Failed to backup file '%s' because file could not be found in filelist", download.strName.c_str());
            break;
        case EKind::Listed: {
            const std::string& installed = download.strInstalledPath;
            const std::string& backup = download.strBackupPath;
            if (!plat::FileExists(installed))
                break;
            download.bReplaces = true;
            LogInfo("Copying %s to the backup folder", download.pEntry->m_strExtractName.c_str());
            const auto earlier = backedUp.find(backup);
            if (earlier != backedUp.end()) {
                // Two entries install on one path; the first backup already holds its old file.
                download.bBackedUp = earlier->second == installed;
                if (!download.bBackedUp)
                    plat::SetLastError(EEXIST);
            } else {
                download.bBackedUp = CreateFolderChain(FolderOf(backup)) && CopyFileReplacing(installed, backup);
                if (download.bBackedUp)
                    backedUp.emplace(backup, installed);
            }
            if (!download.bBackedUp)
                LogWarning("Failed to copy file to backup folder %s to %s because %s", installed.c_str(),
                           backup.c_str(), FormatLastError().c_str());
            break;
        }
        }
    }
}

bool CUpgrader::CheckReadyToInstall()
{
    bool ready = true;
    for (const CDownload& download : m_downloads) {
        if (download.kind == EKind::Unlisted) {
            LogWarning("QV Failed to copy file %s because it is not in the filelist", Source(download).c_str());
            ready = false;
        } else if (download.bReplaces && !download.bBackedUp) {
            LogWarning("'%s' has no backup, so it cannot be replaced", download.strInstalledPath.c_str());
            ready = false;
        }
    }
    if (!ready)
        LogWarning("Upgrade abandoned before installing anything");
    return ready;
}

bool CUpgrader::CopyFiles()
{
    LogInfo("Upgrading new files...");
    const std::string pending = Folder("pending-schedules-folder");
    for (const CDownload& download : m_downloads) {
        const std::string source = Source(download);
        if (download.kind == EKind::Listed) {
            const std::string& installed = download.strInstalledPath;
            LogInfo("Copying file '%s' to '%s'", source.c_str(), installed.c_str());
            if (!Install(download)) {
                LogWarning("QV Failed to copy file %s to %s because %s", source.c_str(), installed.c_str(),
                           FormatLastError().c_str());
                RollBack();
                return false;
            }
            m_installed.push_back(&download);
            plat::DeleteFile(source);
            const plat::FileTime time = download.pEntry->GetTime();
            if (!SetFileTimes(installed, time, time, time))
                LogWarning("QV Failed to set file time of %s because %s", installed.c_str(), FormatLastError().c_str());
        } else if (download.kind == EKind::Listings) {
            const std::string target = pending + download.strName;
            LogInfo("Copying listings update file '%s' to pending", download.strName.c_str());
            if (CopyWithRetry(source, target))
                plat::DeleteFile(source);
            else
                LogWarning("QV Failed to copy listings file %s to %s because %s", source.c_str(), target.c_str(),
                           FormatLastError().c_str());
        }
    }
    return true;
}

bool CUpgrader::Install(const CDownload& download)
{
    const std::string& installed = download.strInstalledPath;
    const std::string source = Source(download);
    if (!CreateFolderChain(FolderOf(installed)))
        return false;
    // The exec bit goes on before the copy, which keeps it, so the file is never in place
    // without it.
    if (plat::IsExecutableName(installed) && !plat::SetExecutable(source, true))
        return false;
    return CopyWithRetry(source, installed);
}

void CUpgrader::RollBack()
{
    if (m_installed.empty())
        return;
    LogWarning("Putting back the files this upgrade replaced");
    for (auto it = m_installed.rbegin(); it != m_installed.rend(); ++it) {
        const CDownload& download = **it;
        const std::string& installed = download.strInstalledPath;
        if (download.bReplaces) {
            LogInfo("Restoring '%s' from '%s'", installed.c_str(), download.strBackupPath.c_str());
            if (!CopyWithRetry(download.strBackupPath, installed))
                LogWarning("Failed to restore %s from %s because %s", installed.c_str(),
                           download.strBackupPath.c_str(), FormatLastError().c_str());
        } else {
            LogInfo("Removing '%s', which the upgrade added", installed.c_str());
            if (!plat::DeleteFile(installed))
                LogWarning("Failed to remove %s because %s", installed.c_str(), FormatLastError().c_str());
        }
    }
    m_installed.clear();
}

bool CUpgrader::CopyWithRetry(const std::string& strFrom, const std::string& strTo)
{
    int error = 0;
    for (int attempt = 0; attempt < kCopyAttempts; ++attempt) {
        if (plat::FileExists(strTo) && plat::IsReadOnly(strTo))
            plat::SetReadOnly(strTo, false);
        if (IsFreeToReplace(strTo) && CopyFileReplacing(strFrom, strTo))
            return true;
        error = plat::GetLastError();
        LogInfo("\tCopy failed, retrying in 500 ms, because: %s", FormatLastError(error).c_str());
        plat::Sleep(kCopyRetryDelay);
    }
    plat::SetLastError(error);
    return false;
}

void CUpgrader::RestartMainApplication()
{
    LogInfo("Restarting main application");
    RemoveOldDownloadedFiles();
    const std::string path = AppFolder() + plat::kLauncherName;
    LogInfo("Starting %s process", path.c_str());
    if (!plat::SpawnDetached(path, {}))
        plat::MessageBox(0, "Unable to restart program because: " + FormatLastError(), "Quilvo Lite",
                         plat::MB_OK | plat::MB_ICONERROR);
    LogInfo("Bye!");
}

void CUpgrader::RemoveOldDownloadedFiles()
{
    LogInfo("Remove old downloaded files");
    std::string updates = m_strUpdates;
    if (updates.empty()) {
        try {
            updates = Folder("updates-folder");
        } catch (CBaseException* e) {
            e->Delete();
            return;
        }
    }
    for (const plat::FileInfo& file : plat::FindFiles(updates + "*"))
        if (!file.isDirectory)
            plat::DeleteFile(updates + file.name);
}

std::string CUpgrader::Folder(const std::string& strKey) const
{
    std::string folder = m_paths.GetFolder(strKey);
    if (folder.empty())
        throw new CExtraInfoException(14, "the folder '" + strKey + "' is not in the folder table");
    return folder;
}

std::string CUpgrader::AppFolder() const
{
    std::string folder;
    try {
        m_paths.FindFolder("app-folder", folder);
    } catch (CBaseException* e) {
        e->Delete();
    }
    return folder.empty() ? m_paths.GetApplicationFolder() : folder;
}
