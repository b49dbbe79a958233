// Putting the downloads of an update run to use: listings files to the absorber, data files
// into place with their reloads, the rest at the end of the run or through the upgrader.
#include "update/CheckForUpdates.h"

#include "app/ApplicationServices.h"
#include "foundation/Exceptions.h"
#include "foundation/FileStore.h"
#include "foundation/FileUtils.h"
#include "foundation/Log.h"
#include "foundation/NameHash.h"
#include "foundation/SettingsStore.h"
#include "platform/File.h"
#include "platform/Names.h"

namespace {

std::string_view NamePart(std::string_view path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view ExtensionOf(std::string_view name)
{
    const size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
}

bool StartsWithFolded(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && NamesEqual(text.substr(0, prefix.size()), prefix);
}


// The files of the updates folder that belong to the run (not its markers).
std::vector<plat::FileInfo> DownloadedFiles(const std::string& folder)
{
    std::vector<plat::FileInfo> files;
    for (plat::FileInfo& file : plat::FindFiles(folder + "*"))
        if (!file.isDirectory && !StartsWithFolded(file.name, "check.dat") &&
            !StartsWithFolded(file.name, "filelist.dat"))
            files.push_back(std::move(file));
    return files;
}

bool MatchesEntry(const std::string& path, const CFileListEntry& entry)
{
    plat::FileInfo info;
    uint32_t crc = 0;
    return plat::GetFileInfo(path, info) && info.size == entry.m_nBytes &&
           (entry.m_uCRC == 0 || (GetFileCRC(path, crc) && crc == entry.m_uCRC));
}

void StampTime(const std::string& path, const CFileListEntry& entry)
{
    const plat::FileTime time = entry.Time();
    if (!SetFileTimes(path, time, time, time))
        LogWarning("QV Failed to set file time of %s because %s", path.c_str(), FormatLastError().c_str());
}

}  // namespace

std::string CCheckForUpdates::UpdatesFolder()
{
    return GetServicesFolder("updates-folder");
}

bool CCheckForUpdates::Install(const std::string& from, const CFileListEntry& entry, const std::string& target)
{
    const size_t slash = target.rfind('/');
    if (!IsSafeRelativePath(entry.m_strExtractName) || target.empty() ||
        !CreateFolderChain(target.substr(0, slash)) || !MoveFileReplacing(from, target)) {
        LogWarning("QV Failed to move file %s to %s because %s", from.c_str(), target.c_str(),
                   FormatLastError().c_str());
        m_bStop = true;
        m_bFailed = true;
        return false;
    }
    if (plat::IsExecutableName(entry.m_strExtractName))
        plat::SetExecutable(target, true);
    StampTime(target, entry);
    return true;
}

void CCheckForUpdates::AbsorbWhileRunning(const std::string& path)
{
    const std::string name(NamePart(path));
    const std::string_view extension = ExtensionOf(name);
    try {
        if (NamesEqual(extension, "up")) {
            LogDetail("Absorbing listings data file whilst running: %s", path.c_str());
            const std::string pending = GetServicesFolder("pending-schedules-folder");
            const std::string target = pending + name;
            if (pending.empty() || !MoveFileReplacing(path, target)) {
                LogWarning("QV Failed to move file %s to %s because %s", path.c_str(), target.c_str(),
                           FormatLastError().c_str());
                m_bStop = true;
                m_bFailed = true;
                return;
            }
            m_target.AbsorbFile(target);
            return;
        }
        const CFileListEntry* entry = m_fileList.FindByHashname(name);
        if (!entry) {
            LogWarning("QV Failed to find file '%s' in filelist", name.c_str());
            m_bStop = true;
            m_bFailed = true;
            RemoveOldDownloadedFiles();
            return;
        }
        const std::string target = entry->InstalledPath();
        const std::string& extract = entry->m_strExtractName;
        if (StartsWithFolded(extract, "category")) {
            LogDetail("Absorbing CATEGORY file whilst running: %s", path.c_str());
            if (Install(path, *entry, target))
                m_target.ReloadCategories();
        } else if (StartsWithFolded(extract, "keywords")) {
            LogDetail("Absorbing KEYWORDS file whilst running: %s", path.c_str());
            if (Install(path, *entry, target))
                m_target.ReloadKeywords();
        } else if (NamesEqual(ExtensionOf(extract), "ch")) {
            LogDetail("Absorbing CHANNEL IMAGE file whilst running: %s", path.c_str());
            try {
                if (Install(path, *entry, target))
                    m_target.ClearImageCache();
            } catch (CBaseException* e) {
                LogWarning("Failed to absorb new channel image file %s because %s", path.c_str(), e->GetText());
                e->Delete();
            }
        } else if (StartsWithFolded(extract, "region.dat")) {
            LogInfo("Absorbing Quilvo Region file whilst running: %s", path.c_str());
            if (Install(path, *entry, target)) {
                uint32_t region = 0;
                bool includeDigital = true;
                m_settings.GetUInt("user-selected-region-id", region, 0);
                m_settings.GetBool("user-selected-include-digital", includeDigital, true);
                if (region != 0)
                    m_target.ReapplyRegion(region, includeDigital);
            }
        } else if (StartsWithFolded(extract, "paths.dat")) {
            LogInfo("Absorbing Quilvo paths file whilst running: %s", path.c_str());
            if (Install(path, *entry, target))
                m_target.ReloadFolderPaths();
        }
    } catch (CBaseException* e) {
        LogWarning("Failed to absorb new file %s because %s", path.c_str(), e->GetText());
        e->Delete();
    } catch (...) {
        LogWarning("Failed to absorb new file %s", path.c_str());
        throw;
    }
}

bool CCheckForUpdates::DownloadsStillMatch()
{
    const std::string folder = UpdatesFolder();
    for (const plat::FileInfo& file : DownloadedFiles(folder)) {
        const std::string_view extension = ExtensionOf(file.name);
        if (NamesEqual(extension, "up") || NamesEqual(extension, "cmp"))
            continue;
        const CFileListEntry* entry = m_fileList.FindByHashname(file.name);
        if (!entry || !MatchesEntry(folder + file.name, *entry)) {
            LogWarning("QV Downloaded file '%s' does not match the file list", file.name.c_str());
            return false;
        }
    }
    return true;
}

void CCheckForUpdates::DownloadFinished()
{
    LogInfo("QV download finished");
    if (m_nFailedDownloads != 0 || m_bStop ||
        (m_bProgramFiles && m_nFinishedDownloads != m_downloads.size()))
        return;
    const std::string folder = UpdatesFolder();
    if (!DownloadsStillMatch()) {
        m_bStop = true;
        m_bFailed = true;
        SendError("Downloaded files do not match the file list");
        RemoveOldDownloadedFiles();
        return;
    }
    const std::string marker = folder + "check.dat";
    CFileStore check(marker, storeWrite);
    check.Write(marker.data(), uint32_t(marker.size()));
    check.Close();

    if (!m_bProgramFiles) {
        CopyFilesFromDownloadDir();
        return;
    }
    LogInfo("QV Upgrading application files with restart");
    const CFileListEntry* entry = m_fileList.FindByExtract(plat::kUpgraderName, "");
    if (entry && plat::FileExists(folder + entry->m_strHashname)) {
        const std::string from = folder + entry->m_strHashname;
        const std::string target = entry->InstalledPath();
        LogInfo("QV Upgrading: moving new upgader from '%s' to '%s'", from.c_str(), target.c_str());
        if (!Install(from, *entry, target)) {
            // The old upgrader must not be handed a set that includes its own replacement.
            LogWarning("Failed to move new upgader from '%s' to '%s'", from.c_str(), target.c_str());
            SendError("Failed to install the new upgrader");
            return;
        }
    }
    if (CApplicationServices* services = GetApplicationServices()) {
        m_bHandedOver = true;
        services->StartUpgraderAndExit();
    }
}

void CCheckForUpdates::CopyFilesFromDownloadDir()
{
    LogInfo("QV CopyFilesFromDownloadDir");
    const std::string folder = UpdatesFolder();
    if (!plat::FileExists(folder + "check.dat")) {
        LogWarning("QV Download failed or cancelled");
        RemoveOldDownloadedFiles();
        return;
    }
    if (m_fileList.IsEmpty()) {
        LogWarning("CCheckForUpdates::OnRequestSucceeded - Filelist was empty, downloaded files removed");
        m_bStop = true;
        RemoveOldDownloadedFiles();
        return;
    }

    LogDetail("QV CopyFilesFromDownloadDir - backing up files");
    const std::string backup = GetServicesFolder("backup-files-folder");
    for (const plat::FileInfo& file : DownloadedFiles(folder)) {
        const std::string_view extension = ExtensionOf(file.name);
        if (NamesEqual(extension, "cmp")) {
            plat::DeleteFile(folder + file.name);
            continue;
        }
        if (NamesEqual(extension, "up")) {
            LogDetail("Ignoring listings update file %s", file.name.c_str());
            continue;
        }
        const CFileListEntry* entry = m_fileList.FindByHashname(file.name);
        if (!entry) {
            LogWarning("QV Failed to backup file '%s' because file could not be found in filelist", file.name.c_str());
            m_bStop = true;
            m_bFailed = true;
            RemoveOldDownloadedFiles();
            return;
        }
        const std::string installed = entry->InstalledPath();
        if (installed.empty() || !plat::FileExists(installed))
            continue;
        LogInfo("QV Copying %s to the backup folder", entry->m_strExtractName.c_str());
        const std::string copy = backup + entry->m_strExtractName;
        if (backup.empty() || !IsSafeRelativePath(entry->m_strExtractName) ||
            !CreateFolderChain(copy.substr(0, copy.rfind('/'))) || !CopyFileReplacing(installed, copy))
            LogWarning("QV Failed to copy file to backup folder %s to %s because %s", installed.c_str(),
                       copy.c_str(), FormatLastError().c_str());
    }

    LogDetail("QV CopyFilesFromDownloadDir - moving files");
    for (const plat::FileInfo& file : DownloadedFiles(folder)) {
        const CFileListEntry* entry = m_fileList.FindByHashname(file.name);
        if (!entry) {
            LogWarning("QV Failed to copy file '%s' because file could not be found in filelist", file.name.c_str());
            m_bStop = true;
            m_bFailed = true;
            RemoveOldDownloadedFiles();
            return;
        }
        Install(folder + file.name, *entry, entry->InstalledPath());
    }
}

void CCheckForUpdates::RemoveOldDownloadedFiles()
{
    LogInfo("QV RemoveOldDownloadedFiles");
    const std::string folder = UpdatesFolder();
    if (folder.empty())
        return;
    for (const plat::FileInfo& file : plat::FindFiles(folder + "*"))
        if (!file.isDirectory)
            plat::DeleteFile(folder + file.name);
}
