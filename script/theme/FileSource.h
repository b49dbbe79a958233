// Packages: read-only sets of named files, either a folder on disk or a zip archive read whole
// into memory (a ".qvltheme" archive has its entries enciphered). The loaded theme is one; the
// image library opens its packages the same way.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "foundation/NameHash.h"
#include "foundation/Tea.h"

// A file's date and time: UTC for folder files, as stored for archive entries.
struct CFileStamp {
    int nYear = 0;
    int nMonth = 0;    // 1 to 12
    int nDay = 0;
    int nHour = 0;
    int nMinute = 0;
    int nSecond = 0;
};

class CFileSource {
public:
    virtual ~CFileSource() = default;

    // Names use "/" or "\" and are compared without regard to case where the package can.
    virtual bool HasFile(const std::string& strName) const = 0;
    // The whole file; false when there is no such file or it cannot be read.
    virtual bool LoadFile(const std::string& strName, std::vector<uint8_t>& data) const = 0;
    virtual bool GetFileStamp(const std::string& strName, CFileStamp& stamp) const = 0;
    virtual bool IsFolder() const = 0;
    // Every file of the package, as relative names with "/".
    virtual bool ListFiles(std::vector<std::string>& names) const = 0;
};

using CFileSourcePtr = std::shared_ptr<CFileSource>;

// No member of a package is larger than this, and an archive keeps no more than
// kMaxPackageSize bytes in all; entries past either limit are left out.
inline constexpr uint64_t kMaxPackageEntrySize = 32ull << 20;
inline constexpr uint64_t kMaxPackageSize = 256ull << 20;

// A folder and its subfolders. Files are read from disk on every request, so a file replaced
// on disk is seen at once. Names that climb out of the folder ("..") are never found.
class CFolderFileSource : public CFileSource {
public:
    explicit CFolderFileSource(std::string strFolder);

    bool HasFile(const std::string& strName) const override;
    bool LoadFile(const std::string& strName, std::vector<uint8_t>& data) const override;
    bool GetFileStamp(const std::string& strName, CFileStamp& stamp) const override;
    bool IsFolder() const override { return true; }
    bool ListFiles(std::vector<std::string>& names) const override;

private:
    // The member's path on disk, or "" for a name that leaves the folder or names nothing.
    std::string PathOf(const std::string& strName) const;

    std::string m_strFolder;   // ends in "/"
};

// A zip archive, read completely when constructed. Entry names lose a leading folder named as
// the archive (entries of "default.qvltheme" under "default/" are found without it), use "/",
// and lose one leading slash. Entries that are damaged, too large, or named outside the
// archive's own tree ("..", absolute names) are left out.
class CArchiveFileSource : public CFileSource {
public:
    // With bDecipher, each entry is deciphered whole with TEA under the key.
    CArchiveFileSource(const std::string& strPath, bool bDecipher, const TeaKey& key);

    // False when the archive could not be opened; an archive without entries is opened.
    bool IsOpened() const { return m_bOpened; }

    bool HasFile(const std::string& strName) const override;
    bool LoadFile(const std::string& strName, std::vector<uint8_t>& data) const override;
    bool GetFileStamp(const std::string& strName, CFileStamp& stamp) const override;
    bool IsFolder() const override { return false; }
    bool ListFiles(std::vector<std::string>& names) const override;

    // The name under which an entry is kept, for an archive of that base name ("default").
    static std::string NormaliseEntryName(std::string strName, const std::string& strBaseName);

private:
    struct Entry {
        std::vector<uint8_t> data;
        CFileStamp stamp;
    };
    const Entry* Find(const std::string& strName) const;

    std::string m_strPath;
    std::unordered_map<std::string, Entry, NameHashFn, NameEqualFn> m_entries;
    bool m_bOpened = false;
};

// A folder at the path gives a folder package; a file gives an archive package (deciphered
// with the key when bDecipher is set). False when nothing is there or the archive cannot be
// opened.
bool OpenFileSource(const std::string& strPath, CFileSourcePtr& pSource, bool bDecipher, const TeaKey& key);
