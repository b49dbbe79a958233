#include "foundation/FileStore.h"

#include <cerrno>
#include <climits>
#include <cstdint>

#include "foundation/Exceptions.h"
#include "platform/Error.h"
#include "platform/File.h"

std::string CStreamFileStore::ModeForFlags(uint32_t nFlags)
{
    std::string strMode = "r";
    if (nFlags & storeRead)
        strMode = "r";
    if (nFlags & (storeWrite | storeCreate))
        strMode = "w";
    if ((nFlags & storeRead) && (nFlags & storeWrite))
        strMode = "r+";   // reading and writing an existing file
    if (nFlags & storeAppend)
        strMode = "a+";
    return strMode + ((nFlags & storeText) ? "t" : "b");
}

void CStreamFileStore::Open(const std::string& strPath, uint32_t nFlags)
{
    if (m_pFile) {
        plat::CloseFile(m_pFile);
        m_pFile = nullptr;
    }
    m_uVersion = 0;
    std::string strMode = ModeForFlags(nFlags);
    plat::Share share = !m_bLocked      ? plat::Share::All
                        : strMode[0] == 'r' && strMode[1] != '+' ? plat::Share::DenyWrite
                                                                 : plat::Share::DenyAll;
    m_pFile = plat::OpenFile(strPath, strMode.c_str(), share);
    if (!m_pFile)
        Fail(1, "Failed to open file '" + strPath + "': \r\nReason:\r\n" + FormatLastError());
}

void CStreamFileStore::Close()
{
    if (!m_pFile)
        return;
    FILE* pFile = m_pFile;
    m_pFile = nullptr;
    if (!plat::CloseFile(pFile))
        FailWithErrno(2, plat::GetLastError());
}

CStreamFileStore::~CStreamFileStore()
{
    if (m_pFile)
        plat::CloseFile(m_pFile);
}

uint32_t CStreamFileStore::Read(void* pBuffer, uint32_t nLength)
{
    if (nLength == 0)
        return 0;
    FILE* pFile = Stream();
    errno = 0;
    if (std::fread(pBuffer, 1, nLength, pFile) < nLength)
        Fail(2, "File read failed to read the required size");
    if (std::ferror(pFile))
        FailWithErrno(2, errno);
    return nLength;
}

void CStreamFileStore::Write(const void* pBuffer, uint32_t nLength)
{
    if (nLength == 0)
        return;
    FILE* pFile = Stream();
    errno = 0;
    if (std::fwrite(pBuffer, 1, nLength, pFile) < nLength || std::ferror(pFile))
        FailWithErrno(2, errno);
}

bool CStreamFileStore::IsEOF()
{
    if (m_bLocked && std::feof(Stream()))
        return true;
    uint32_t nLength = GetLength();
    return nLength == 0 || GetPosition() == nLength;
}

uint32_t CStreamFileStore::GetLength()
{
    FILE* pFile = Stream();
    long nSaved = std::ftell(pFile);
    if (nSaved < 0)
        Fail(2, "Cannot get current file position");
    if (std::fseek(pFile, 0, SEEK_END) != 0)
        Fail(2, "Cannot move to the end of the file");
    long nEnd = std::ftell(pFile);
    if (nEnd < 0)
        Fail(2, "Cannot get the position of the end of file");
    if (std::fseek(pFile, nSaved, SEEK_SET) != 0)
        Fail(2, "Cannot restore previously saved position");
    if (static_cast<uint64_t>(nEnd) > UINT32_MAX)
        Fail(2, "The file is too large");
    return static_cast<uint32_t>(nEnd);
}

uint32_t CStreamFileStore::GetPosition()
{
    errno = 0;
    long nPosition = std::ftell(Stream());
    if (nPosition < 0)
        m_bLocked ? FailWithErrno(2, errno) : Fail(2, "");
    if (static_cast<uint64_t>(nPosition) > UINT32_MAX)
        Fail(2, "The file is too large");
    return static_cast<uint32_t>(nPosition);
}

void CStreamFileStore::SetPosition(uint32_t nOffset)
{
    static_assert(sizeof(long) >= 8, "offsets up to 4 GiB must fit a long");
    errno = 0;
    if (std::fseek(Stream(), static_cast<long>(nOffset), SEEK_SET) != 0)
        m_bLocked ? FailWithErrno(2, errno) : Fail(2, "");
}

FILE* CStreamFileStore::Stream() const
{
    if (!m_pFile)
        Fail(11, "The file is not open");
    return m_pFile;
}

void CStreamFileStore::Fail(int nCode, std::string strText) const
{
    if (m_bLocked)
        throw new CFileStoreLockedException(nCode, std::move(strText));
    throw new CFileStoreException(nCode, std::move(strText));
}

void CStreamFileStore::FailWithErrno(int nCode, int nErrno) const
{
    Fail(nCode, nErrno ? plat::SystemErrorMessage(nErrno) : std::string());
}
