// QuilvoLiteUpgrader: installs the program files an update run left in the updates folder, keeps
// backups of what it replaces, and starts the program again. How it stays safe is told at the
// top of Upgrader.cpp.
#pragma once
#include <string>
#include <vector>

#include "foundation/FolderPaths.h"
#include "upgrader/FileList.h"

class CUpgrader {
public:
    // One whole upgrade, from asking the running program to exit to starting it again.
    // The answer is the exit code: 0 when every file was handled, 1 when the upgrade stopped.
    int Run();

private:
    // Copies with up to 50 attempts 500 ms apart, each failure logged. The target is replaced
    // through a temporary file renamed over it, and only while nobody writes it or holds it
    // exclusively. False with the last error of the final attempt.
    bool CopyWithRetry(const std::string& strFrom, const std::string& strTo);
    // Empties the updates folder and starts the launcher; a box tells the user when it cannot.
    void RestartMainApplication();
    // Deletes every plain file of the updates folder; failures are ignored.
    void RemoveOldDownloadedFiles();

    enum class EKind {
        Leftover,   // ".cmp": a compressed download that was never unpacked
        Listings,   // ".up" without an entry: goes to the pending-listings folder
        Listed,     // has a file-list entry: installed on its installed path
        Unlisted,   // anything else: the downloads are not what the list describes
    };
    struct CDownload {
        std::string strName;   // plain name in the updates folder
        EKind kind = EKind::Unlisted;
        const CFileListEntry* pEntry = nullptr;
        std::string strInstalledPath;
        std::string strBackupPath;
        bool bReplaces = false;   // an installed file was there when the backups were made
        bool bBackedUp = false;
    };

    void LoadFolders();
    void StartLogging();
    void WaitForMainProgram();
    int Upgrade();
    void TakeInventory();
    bool VerifyDownloads();
    void BackUpFiles();
    bool CheckReadyToInstall();
    bool CopyFiles();
    bool Install(const CDownload& download);
    void RollBack();

    // The folder of a key, ending in "/"; throws CExtraInfoException when the table lacks it
    // or it cannot be created.
    std::string Folder(const std::string& strKey) const;
    std::string AppFolder() const;
    std::string Source(const CDownload& download) const { return m_strUpdates + download.strName; }

    CFolderPaths m_paths;
    CFileList m_list;
    std::string m_strUpdates;                 // the updates folder once known
    std::vector<CDownload> m_downloads;       // the updates folder as found, control files left out
    std::vector<const CDownload*> m_installed;   // replaced or created by this run, in order
};
