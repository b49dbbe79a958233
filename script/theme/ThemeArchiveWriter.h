// Writes zip archives in the form the theme loader reads: each entry enciphered whole with TEA
// under a key (or left plain, as the image library's packages are) and then compressed. Used by
// qvl-theme-pack to ship a theme folder as one ".qvltheme" file.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/Tea.h"
#include "script/theme/FileSource.h"

class CThemeArchiveWriter {
public:
    // pKey null: entries are stored as given. The archive is written beside the path and only
    // replaces it in Close.
    CThemeArchiveWriter(std::string strPath, const TeaKey* pKey);
    ~CThemeArchiveWriter();   // abandons an archive that was not closed
    CThemeArchiveWriter(const CThemeArchiveWriter&) = delete;
    CThemeArchiveWriter& operator=(const CThemeArchiveWriter&) = delete;

    // Adds an entry under the name as given, stamped with the time (now when null); bCompress
    // false stores the bytes without compression.
    bool AddEntry(const std::string& strName, std::vector<uint8_t> data, bool bCompress = true,
                  const CFileStamp* pStamp = nullptr);
    // Finishes the archive and puts it in place.
    bool Close();
    // What went wrong, after a false answer.
    const std::string& GetError() const { return m_strError; }

private:
    bool Fail(std::string strError);

    std::string m_strPath;
    std::string m_strTempPath;
    TeaKey m_key{};
    bool m_bEncipher = false;
    void* m_zip = nullptr;
    std::string m_strError;
};

// Packs every file of a theme folder and its subfolders, under names relative to the folder,
// enciphered with the theme key. The folder must hold "theme.velasc" and stay within the
// package limits. nFiles is the count of entries written.
bool PackThemeFolder(const std::string& strFolder, const std::string& strArchive, size_t& nFiles,
                     std::string& strError);
