#include "script/theme/ThemeArchiveWriter.h"

#include <zip.h>

#include <ctime>

#include "foundation/DeploymentKeys.h"
#include "platform/Clock.h"
#include "platform/File.h"
#include "script/theme/ZipFiles.h"

namespace {

CFileStamp LocalStamp(int64_t unixSeconds)
{
    std::tm local{};
    plat::UtcToLocal(unixSeconds, local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
}

}  // namespace

CThemeArchiveWriter::CThemeArchiveWriter(std::string strPath, const TeaKey* pKey)
    : m_strPath(std::move(strPath)), m_strTempPath(m_strPath + ".tmp")
{
    if (pKey) {
        m_key = *pKey;
        m_bEncipher = true;
    }
    zlib_filefunc64_def functions;
    FillPlatformZipFunctions(functions);
    m_zip = zipOpen2_64(m_strTempPath.c_str(), APPEND_STATUS_CREATE, nullptr, &functions);
    if (!m_zip)
        m_strError = "cannot create " + m_strTempPath;
}

CThemeArchiveWriter::~CThemeArchiveWriter()
{
    if (m_zip) {
        zipClose(m_zip, nullptr);
        plat::DeleteFile(m_strTempPath);
    }
}

bool CThemeArchiveWriter::Fail(std::string strError)
{
    m_strError = std::move(strError);
    return false;
}

bool CThemeArchiveWriter::AddEntry(const std::string& strName, std::vector<uint8_t> data, bool bCompress,
                                   const CFileStamp* pStamp)
{
    if (!m_zip)
        return Fail(m_strError.empty() ? "the archive is closed" : m_strError);
    if (data.size() > kMaxPackageEntrySize)
        return Fail(strName + " is larger than 32 MiB");
    if (m_bEncipher)
        TeaEncipherBuffer(data.data(), data.size(), m_key);
    const CFileStamp stamp = pStamp ? *pStamp : LocalStamp(plat::NowUnix());
    zip_fileinfo info{};
    info.tmz_date.tm_year = static_cast<uInt>(stamp.nYear);
    info.tmz_date.tm_mon = static_cast<uInt>(stamp.nMonth - 1);
    info.tmz_date.tm_mday = static_cast<uInt>(stamp.nDay);
    info.tmz_date.tm_hour = static_cast<uInt>(stamp.nHour);
    info.tmz_date.tm_min = static_cast<uInt>(stamp.nMinute);
    info.tmz_date.tm_sec = static_cast<uInt>(stamp.nSecond);
    const int method = bCompress ? Z_DEFLATED : 0;
    const int level = bCompress ? Z_BEST_COMPRESSION : 0;
    if (zipOpenNewFileInZip64(m_zip, strName.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, method, level, 0) != ZIP_OK)
        return Fail("cannot add " + strName);
    const bool bWritten =
        data.empty() || zipWriteInFileInZip(m_zip, data.data(), static_cast<unsigned>(data.size())) == ZIP_OK;
    if (zipCloseFileInZip(m_zip) != ZIP_OK || !bWritten)
        return Fail("cannot write " + strName);
    return true;
}

bool CThemeArchiveWriter::Close()
{
    if (!m_zip)
        return Fail(m_strError.empty() ? "the archive is closed" : m_strError);
    const int rc = zipClose(m_zip, nullptr);
    m_zip = nullptr;
    if (rc != ZIP_OK) {
        plat::DeleteFile(m_strTempPath);
        return Fail("cannot finish " + m_strTempPath);
    }
    if (!plat::MoveFileReplacing(m_strTempPath, m_strPath)) {
        plat::DeleteFile(m_strTempPath);
        return Fail("cannot put the archive in place at " + m_strPath);
    }
    return true;
}

bool PackThemeFolder(const std::string& strFolder, const std::string& strArchive, size_t& nFiles,
                     std::string& strError)
{
    nFiles = 0;
    CFolderFileSource folder(strFolder);
    if (!folder.HasFile("theme.velasc")) {
        strError = strFolder + " holds no theme.velasc";
        return false;
    }
    std::vector<std::string> names;
    folder.ListFiles(names);
    const std::string strFolderSlash = strFolder.empty() || strFolder.back() == '/' ? strFolder : strFolder + "/";
    CThemeArchiveWriter writer(strArchive, &kThemeArchiveKey);
    uint64_t nTotal = 0;
    for (const std::string& strName : names) {
        const std::string strPath = strFolderSlash + strName;
        if (strPath == strArchive || strPath == strArchive + ".tmp")
            continue;
        std::vector<uint8_t> data;
        plat::FileInfo info;
        if (!folder.LoadFile(strName, data) || !plat::GetFileInfo(strPath, info)) {
            strError = "cannot read " + strPath + " (files over 32 MiB cannot be packed)";
            return false;
        }
        nTotal += data.size();
        if (nTotal > kMaxPackageSize) {
            strError = "the theme is larger than 256 MiB";
            return false;
        }
        const CFileStamp stamp = LocalStamp(plat::FileTimeToUnix(info.lastWrite));
        if (!writer.AddEntry(strName, std::move(data), true, &stamp)) {
            strError = writer.GetError();
            return false;
        }
        ++nFiles;
    }
    if (!writer.Close()) {
        strError = writer.GetError();
        return false;
    }
    return true;
}
