#include <unzip.h>

#include <algorithm>

#include "foundation/Log.h"
#include "script/theme/FileSource.h"
#include "script/theme/PackageNames.h"
#include "script/theme/ZipFiles.h"

namespace {

// Entry names longer than this (with the terminating zero) are left out rather than cut.
constexpr size_t kNameBufferSize = 520;

std::string BaseNameOf(const std::string& strPath)
{
    std::string strName = ToForwardSlashes(strPath);
    strName.erase(0, strName.rfind('/') + 1);
    const size_t dot = strName.rfind('.');
    if (dot != std::string::npos)
        strName.erase(dot);
    return strName;
}

// Reads the current entry whole: exactly the size the archive gives, with a good checksum.
// On failure pWhy says why, or stays null for an entry that cannot even be opened.
bool ReadCurrentEntry(unzFile zip, uint64_t nSize, std::vector<uint8_t>& data, const char*& pWhy)
{
    if (unzOpenCurrentFile(zip) != UNZ_OK)
        return false;
    data.assign(nSize, 0);
    uint64_t nRead = 0;
    while (nRead < nSize) {
        const int n = unzReadCurrentFile(zip, data.data() + nRead, static_cast<unsigned>(nSize - nRead));
        if (n <= 0)
            break;
        nRead += static_cast<uint64_t>(n);
    }
    const int nClose = unzCloseCurrentFile(zip);
    if (nRead != nSize) {
        pWhy = "its data is shorter than the archive says";
        return false;
    }
    if (nClose != UNZ_OK) {
        pWhy = nClose == UNZ_CRCERROR ? "its checksum does not match" : "it cannot be read";
        return false;
    }
    return true;
}

}  // namespace

std::string CArchiveFileSource::NormaliseEntryName(std::string strName, const std::string& strBaseName)
{
    const size_t nBase = strBaseName.size();
    if (strName.size() > nBase && (strName[nBase] == '/' || strName[nBase] == '\\') &&
        NamesEqual(std::string_view(strName).substr(0, nBase), strBaseName))
        strName.erase(0, nBase);
    strName = ToForwardSlashes(std::move(strName));
    if (!strName.empty() && strName.front() == '/')
        strName.erase(0, 1);
    return strName;
}

CArchiveFileSource::CArchiveFileSource(const std::string& strPath, bool bDecipher, const TeaKey& key)
    : m_strPath(strPath)
{
    const std::string strBaseName = BaseNameOf(strPath);
    zlib_filefunc64_def functions;
    FillPlatformZipFunctions(functions);
    unzFile zip = unzOpen2_64(strPath.c_str(), &functions);
    if (!zip)
        return;

    uint64_t nTotal = 0;
    for (int rc = unzGoToFirstFile(zip); rc == UNZ_OK; rc = unzGoToNextFile(zip)) {
        unz_file_info64 info{};
        char name[kNameBufferSize];
        if (unzGetCurrentFileInfo64(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK)
            continue;
        if (info.size_filename >= sizeof name) {
            LogWarning("Theme archive %s: an entry with a name of %lu bytes is left out", strPath.c_str(),
                       info.size_filename);
            continue;
        }
        const std::string strRawName(name, info.size_filename);
        if (!strRawName.empty() && (strRawName.back() == '/' || strRawName.back() == '\\'))
            continue;   // a folder entry
        const std::string strName = NormaliseEntryName(strRawName, strBaseName);
        const char* pWhy = nullptr;
        const auto earlier = m_entries.find(strName);
        const uint64_t nEarlier = earlier != m_entries.end() ? earlier->second.data.size() : 0;
        Entry entry;
        if (!IsConfinedName(strName))
            pWhy = "its name leads outside the theme";
        else if (info.uncompressed_size > kMaxPackageEntrySize)
            pWhy = "it is larger than 32 MiB";
        else if (nTotal - nEarlier + info.uncompressed_size > kMaxPackageSize)
            pWhy = "the theme would pass 256 MiB";
        else if (!ReadCurrentEntry(zip, info.uncompressed_size, entry.data, pWhy) && !pWhy)
            continue;
        if (pWhy) {
            LogWarning("Theme archive %s: entry '%s' is left out because %s", strPath.c_str(), strRawName.c_str(),
                       pWhy);
            continue;
        }

        if (bDecipher)
            TeaDecipherBuffer(entry.data.data(), entry.data.size(), key);
        const tm_unz& t = info.tmu_date;
        entry.stamp = {static_cast<int>(t.tm_year), static_cast<int>(t.tm_mon) + 1, static_cast<int>(t.tm_mday),
                       static_cast<int>(t.tm_hour), static_cast<int>(t.tm_min), static_cast<int>(t.tm_sec)};
        nTotal = nTotal - nEarlier + entry.data.size();
        if (earlier != m_entries.end())
            m_entries.erase(earlier);
        m_entries.emplace(strName, std::move(entry));
    }
    unzClose(zip);
    m_bOpened = true;
}

const CArchiveFileSource::Entry* CArchiveFileSource::Find(const std::string& strName) const
{
    if (!m_bOpened)
        return nullptr;
    const auto it = m_entries.find(ToForwardSlashes(strName));
    return it != m_entries.end() ? &it->second : nullptr;
}

bool CArchiveFileSource::HasFile(const std::string& strName) const
{
    return Find(strName) != nullptr;
}

bool CArchiveFileSource::LoadFile(const std::string& strName, std::vector<uint8_t>& data) const
{
    const Entry* pEntry = Find(strName);
    if (!pEntry)
        return false;
    data = pEntry->data;
    return true;
}

bool CArchiveFileSource::GetFileStamp(const std::string& strName, CFileStamp& stamp) const
{
    const Entry* pEntry = Find(strName);
    if (!pEntry)
        return false;
    stamp = pEntry->stamp;
    return true;
}

bool CArchiveFileSource::ListFiles(std::vector<std::string>& names) const
{
    names.clear();
    for (const auto& [strName, entry] : m_entries)
        names.push_back(strName);
    std::sort(names.begin(), names.end());
    return true;
}
