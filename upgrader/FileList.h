// The update file list "filelist.dat": one entry per file the program should have, saying where
// the file is installed and what it must contain. The upgrader reads the copy the update run
// left in the updates folder.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/File.h"

class CFileListEntry {
public:
    // The installed path: the folder (ending in "/") followed by the extractname, refused (false)
    // unless the extractname is a relative path of ordinary components, so that the result
    // lies inside the folder.
    bool GetInstalledPath(const std::string& strFolder, std::string& strPath) const;
    // ft-high and ft-low as one file time.
    plat::FileTime GetTime() const { return (uint64_t(m_uTimeHigh) << 32) | m_uTimeLow; }

    std::string m_strHashName;       // the file's name in the updates folder
    std::string m_strExtractName;    // the file's name when installed, "/"-separated
    std::string m_strExtractFolder;  // folder key of the installed file; empty: "app-folder"
    uint32_t m_uBytes = 0;           // the installed file's size; 0 when not given
    uint32_t m_uCRC = 0;             // CalculateCRC of the installed file; 0 when not given
    uint32_t m_uTimeLow = 0;
    uint32_t m_uTimeHigh = 0;
};

class CFileList {
public:
    // Reads the gzip-compressed XML list; a foundation exception while reading is passed on.
    // False when the file is not a list (no "files" element) or is larger than a list can be.
    bool Load(const std::string& strPath);

    bool IsEmpty() const { return m_entries.empty(); }
    // The first entry whose hashname equals the name without regard to ASCII case, or nullptr.
    const CFileListEntry* FindByHashName(const std::string& strName) const;

private:
    std::vector<CFileListEntry> m_entries;
};

// True when the relative path is made of ordinary components only: not empty, no empty, "." or
// ".." component, no leading "/", no NUL.
bool IsConfinedRelativePath(const std::string& strPath);
