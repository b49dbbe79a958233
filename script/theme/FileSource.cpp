#include "script/theme/FileSource.h"

#include "platform/File.h"

bool OpenFileSource(const std::string& strPath, CFileSourcePtr& pSource, bool bDecipher, const TeaKey& key)
{
    if (plat::IsDirectory(strPath)) {
        pSource = std::make_shared<CFolderFileSource>(strPath);
        return true;
    }
    if (!plat::FileExists(strPath))
        return false;
    auto pArchive = std::make_shared<CArchiveFileSource>(strPath, bDecipher, key);
    if (!pArchive->IsOpened())
        return false;
    pSource = std::move(pArchive);
    return true;
}
