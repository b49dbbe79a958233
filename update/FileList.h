// The update file list: every file the program should have, as the listings service lists it in
// "filelist.dat" (gzip-compressed XML), with the name it has on the server and in the updates
// folder (hashname) and where it is installed. Names from the list are untrusted: a list with
// a name that could reach outside its folder is refused as a whole.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/File.h"

struct CFileListEntry {
    std::string m_strHashname;        // a plain file name
    std::string m_strExtractName;     // a relative path of ordinary components, "/"-separated
    std::string m_strExtractFolder;   // a folder key; empty means "app-folder"
    uint32_t m_nBytes = 0;
    uint32_t m_uCRC = 0;              // 0: none listed
    uint32_t m_nFTLow = 0;
    uint32_t m_nFTHigh = 0;
    bool m_bValid = false;

    plat::FileTime Time() const { return (uint64_t(m_nFTHigh) << 32) | m_nFTLow; }
    // The folder of extractfolder (or "app-folder") followed by the extractname; empty when
    // the application has no such folder.
    std::string InstalledPath() const;
};

class CFileList {
public:
    enum class LoadResult { loaded, failed, unsafe };

    // Replaces the list with the one in the file. failed: the file is not gzip, is damaged or
    // truncated, or is too large; unsafe: an entry names a file outside its folder. The list is
    // empty after anything but loaded.
    LoadResult Load(const std::string& path);
    void Clear() { m_entries.clear(); }

    bool IsEmpty() const { return m_entries.empty(); }
    const std::vector<CFileListEntry>& Entries() const { return m_entries; }
    // Look-ups compare without regard to case.
    const CFileListEntry* FindByHashname(std::string_view hashname) const;
    const CFileListEntry* FindByExtract(std::string_view name, std::string_view folder) const;

private:
    std::vector<CFileListEntry> m_entries;
};

inline constexpr size_t kMaxFileListBytes = 16u << 20;   // decompressed

// A hashname may be used as a file name in the updates folder.
bool IsSafeHashname(std::string_view name);
// A relative path of ordinary components (no empty, "." or ".." component, not absolute).
bool IsSafeRelativePath(std::string_view path);

// The order in which chosen files are fetched: the upgrader, the launcher, shared libraries,
// our other executables, themes, ".qvl" and ".h" files, "channels", "keywords", then the rest
// in their order, and listings files ("*.up") last by the number after the first "-".
std::vector<CFileListEntry> OrderForDownload(std::vector<CFileListEntry> chosen);
