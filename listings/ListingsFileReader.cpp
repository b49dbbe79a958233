#include "listings/ListingsFileReader.h"

#include "foundation/Exceptions.h"
#include "foundation/FileStore.h"

std::string OneLineText(const char* pszText)
{
    std::string strText;
    for (const char* p = pszText; *p; ++p) {
        if (*p != '\r' && *p != '\n')
            strText += *p;
        else if (strText.empty() || strText.back() != ' ')
            strText += ' ';
    }
    return strText;
}

CListingsFileReader::CListingsFileReader(const std::string& strPath)
{
    CFileStore file(strPath, storeRead);
    const uint32_t nLength = file.GetLength();
    if (nLength > kMaxFileSize)
        throw new CBaseException(3);
    m_data.resize(nLength);
    file.Read(m_data.data(), nLength);
}

uint64_t CListingsFileReader::Left()
{
    return m_store.GetLength() - m_store.GetPosition();
}

uint32_t CListingsFileReader::ReadU32()
{
    uint32_t uValue = 0;
    m_archive >> uValue;
    return uValue;
}

std::string CListingsFileReader::ReadString()
{
    return m_archive.ReadString();
}

std::vector<uint8_t> CListingsFileReader::ReadBytes(uint32_t nLength)
{
    if (nLength > Left())
        throw new CBaseException(3);
    std::vector<uint8_t> bytes(nLength);
    m_store.Read(bytes.data(), nLength);
    return bytes;
}

void CListingsFileReader::CheckCount(uint32_t nCount, uint32_t nItemSize)
{
    if (uint64_t(nCount) * nItemSize > Left())
        throw new CBaseException(3);
}
