#include "foundation/FileUtils.h"

#include <algorithm>
#include <cerrno>

#include "foundation/CompressedFile.h"
#include "foundation/Exceptions.h"
#include "foundation/FileStore.h"
#include "platform/Error.h"

namespace {

constexpr long kMaxWholeFile = 1l << 30;
constexpr uint32_t kPiece = 64 * 1024;

// Opens path for binary reading and gives its size; nullptr when either fails.
FILE* OpenForReading(const std::string& strPath, plat::Share share, long& nSize)
{
    FILE* pFile = plat::OpenFile(strPath, "rb", share);
    if (!pFile)
        return nullptr;
    if (std::fseek(pFile, 0, SEEK_END) != 0 || (nSize = std::ftell(pFile)) < 0 ||
        std::fseek(pFile, 0, SEEK_SET) != 0) {
        plat::CloseFile(pFile);
        return nullptr;
    }
    return pFile;
}

template <class Buffer>
bool ReadWhole(const std::string& strPath, Buffer& out)
{
    long nSize = 0;
    FILE* pFile = OpenForReading(strPath, plat::Share::All, nSize);
    if (!pFile)
        return false;
    bool bRead = false;
    if (nSize <= kMaxWholeFile) {
        Buffer data(static_cast<size_t>(nSize), 0);
        bRead = std::fread(data.data(), 1, data.size(), pFile) == data.size();
        if (bRead)
            out.swap(data);
    }
    plat::CloseFile(pFile);
    return bRead;
}

// A new empty file in the folder of strPath, to be renamed over it once complete.
std::string TempFileBeside(const std::string& strPath)
{
    size_t nSlash = strPath.rfind('/');
    return plat::CreateTempFile(nSlash == std::string::npos ? "./" : strPath.substr(0, nSlash + 1),
                                "~qvl-");
}

// Gives the temporary file the times and renames it over strTo; removes it on failure.
bool PutInPlace(const std::string& strTemp, const std::string& strTo, const plat::FileTimes& times)
{
    if (plat::SetFileTimes(strTemp, times) && plat::MoveFileReplacing(strTemp, strTo))
        return true;
    plat::DeleteFile(strTemp);
    return false;
}

}  // namespace

bool FileExists(const std::string& strPath)
{
    return plat::FileExists(strPath);
}

bool CopyFileReplacing(const std::string& strFrom, const std::string& strTo, bool bKeepAttributes)
{
    if (bKeepAttributes && plat::FileExists(strTo) && plat::IsReadOnly(strTo)) {
        plat::SetLastError(EACCES);
        return false;
    }
    return plat::CopyFileReplacing(strFrom, strTo);
}

bool MoveFileReplacing(const std::string& strFrom, const std::string& strTo)
{
    return plat::MoveFileReplacing(strFrom, strTo);
}

bool ReadWholeFile(const std::string& strPath, std::string& strOut)
{
    return ReadWhole(strPath, strOut);
}

bool ReadWholeFile(const std::string& strPath, std::vector<uint8_t>& out)
{
    return ReadWhole(strPath, out);
}

bool WriteTextFile(const std::string& strPath, const std::string& strText)
{
    return plat::WriteFileReplacing(strPath, strText.data(), strText.size());
}

bool GetFileTimes(const std::string& strPath, plat::FileTime& creation, plat::FileTime& lastAccess,
                  plat::FileTime& lastWrite)
{
    plat::FileTimes times;
    if (!plat::GetFileTimes(strPath, times))
        return false;
    creation = times.creation;
    lastAccess = times.lastAccess;
    lastWrite = times.lastWrite;
    return true;
}

bool SetFileTimes(const std::string& strPath, plat::FileTime creation, plat::FileTime lastAccess,
                  plat::FileTime lastWrite)
{
    return plat::SetFileTimes(strPath, plat::FileTimes{creation, lastAccess, lastWrite});
}

bool GetFileCRC(const std::string& strPath, uint32_t& uCRC)
{
    long nSize = 0;
    FILE* pFile = OpenForReading(strPath, plat::Share::DenyWrite, nSize);
    if (!pFile)
        return false;
    std::vector<uint8_t> piece(kPiece);
    uint32_t uValue = kCRCStart;
    uint64_t nLeft = static_cast<uint64_t>(nSize);
    while (nLeft > 0) {
        size_t nWant = static_cast<size_t>(std::min<uint64_t>(nLeft, kPiece));
        if (std::fread(piece.data(), 1, nWant, pFile) != nWant)
            break;
        uValue = ContinueCRC(uValue, piece.data(), nWant);
        nLeft -= nWant;
    }
    plat::CloseFile(pFile);
    if (nLeft > 0)
        return false;
    uCRC = uValue;
    return true;
}

bool CompressFile(const std::string& strPath)
{
    return CompressFile(strPath, strPath);
}

namespace {

// Writes the target through a temporary file beside it: write(temp) fills it, then it takes the
// source's times and is renamed over the target. A foundation exception from write fails the
// whole rewrite and removes the temporary file; the target is untouched until the rename.
template <typename Write>
bool RewriteBeside(const std::string& strFrom, const std::string& strTo, Write write)
{
    plat::FileTimes times;
    if (!plat::GetFileTimes(strFrom, times))
        return false;
    const std::string strTemp = TempFileBeside(strTo);
    if (strTemp.empty())
        return false;
    try {
        write(strTemp);
    } catch (CBaseException* e) {
        e->Delete();
        plat::DeleteFile(strTemp);
        return false;
    }
    return PutInPlace(strTemp, strTo, times);
}

}  // namespace

bool CompressFile(const std::string& strFrom, const std::string& strTo)
{
    return RewriteBeside(strFrom, strTo, [&](const std::string& strTemp) {
        CFileStore source(strFrom, storeRead);
        CCompressedFile target(strTemp, storeWrite);
        std::vector<uint8_t> piece(kPiece);
        for (uint32_t nLeft = source.GetLength(); nLeft > 0;) {   // none for an empty file
            uint32_t n = std::min(nLeft, kPiece);
            source.Read(piece.data(), n);
            target.Write(piece.data(), n);
            nLeft -= n;
        }
        target.Close();
    });
}

bool DecompressFile(const std::string& strFrom, const std::string& strToOrEmpty)
{
    const std::string& strTo = strToOrEmpty.empty() ? strFrom : strToOrEmpty;
    const bool bDone = RewriteBeside(strFrom, strTo, [&](const std::string& strTemp) {
        CCompressedFile source(strFrom, storeRead);
        CFileStore target(strTemp, storeWrite);
        std::vector<uint8_t> piece(kPiece);
        uint64_t nTotal = 0;
        while (uint32_t n = source.Read(piece.data(), kPiece)) {
            nTotal += n;
            if (nTotal > kMaxDecompressedSize)
                throw new CCompressedFileException(3, "'" + strFrom + "' decompresses to too much data");
            target.Write(piece.data(), n);
        }
        target.Close();
    });
    if (bDone && strTo != strFrom)
        plat::DeleteFile(strFrom);
    return bDone;
}

bool CreateFolderChain(const std::string& strPath)
{
    auto make = [](const std::string& strFolder) {
        if (plat::IsDirectory(strFolder))
            return true;
        plat::CreateDirectory(strFolder);
        return plat::IsDirectory(strFolder);
    };
    for (size_t i = strPath.find('/', 1); i != std::string::npos; i = strPath.find('/', i + 1))
        if (!make(strPath.substr(0, i)))
            return false;
    return !strPath.empty() && make(strPath);
}
