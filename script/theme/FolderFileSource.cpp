#include <ctime>

#include "foundation/Exceptions.h"
#include "foundation/FileStore.h"
#include "platform/Clock.h"
#include "platform/File.h"
#include "script/theme/FileSource.h"
#include "script/theme/PackageNames.h"

namespace {

// Deeper folders than this are not listed (a link loop would otherwise never end).
constexpr int kMaxListDepth = 32;

void ListFolder(const std::string& strFolder, const std::string& strPrefix, int nDepth,
                std::vector<std::string>& names)
{
    if (nDepth > kMaxListDepth)
        return;
    for (const plat::FileInfo& info : plat::FindFiles(strFolder + "*")) {
        if (info.isDirectory)
            ListFolder(strFolder + info.name + "/", strPrefix + info.name + "/", nDepth + 1, names);
        else
            names.push_back(strPrefix + info.name);
    }
}

}  // namespace

CFolderFileSource::CFolderFileSource(std::string strFolder) : m_strFolder(ToForwardSlashes(std::move(strFolder)))
{
    if (m_strFolder.empty() || m_strFolder.back() != '/')
        m_strFolder += '/';
}

std::string CFolderFileSource::PathOf(const std::string& strName) const
{
    std::string strRelative = ToForwardSlashes(strName);
    strRelative.erase(0, strRelative.find_first_not_of('/'));
    if (!IsConfinedName(strRelative))
        return {};
    std::string strPath = m_strFolder + strRelative;
    if (!plat::FileExists(strPath))
        strPath = plat::ResolveCaseInsensitive(strPath);
    return plat::FileExists(strPath) && !plat::IsDirectory(strPath) ? strPath : std::string();
}

bool CFolderFileSource::HasFile(const std::string& strName) const
{
    return !PathOf(strName).empty();
}

bool CFolderFileSource::LoadFile(const std::string& strName, std::vector<uint8_t>& data) const
{
    const std::string strPath = PathOf(strName);
    if (strPath.empty())
        return false;
    try {
        CFileStore store(strPath, storeRead);
        const uint32_t nLength = store.GetLength();
        if (nLength > kMaxPackageEntrySize)
            return false;
        std::vector<uint8_t> bytes(nLength);
        store.Read(bytes.data(), nLength);
        data = std::move(bytes);
        return true;
    } catch (CBaseException* e) {
        e->Delete();
        return false;
    }
}

bool CFolderFileSource::GetFileStamp(const std::string& strName, CFileStamp& stamp) const
{
    plat::FileInfo info;
    std::tm utc{};
    const std::string strPath = PathOf(strName);
    if (strPath.empty() || !plat::GetFileInfo(strPath, info) ||
        !plat::UtcToUtcTm(plat::FileTimeToUnix(info.lastWrite), utc))
        return false;
    stamp = {utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec};
    return true;
}

bool CFolderFileSource::ListFiles(std::vector<std::string>& names) const
{
    names.clear();
    ListFolder(m_strFolder, "", 0, names);
    return true;
}
