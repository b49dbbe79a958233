#include "foundation/StoreArchive.h"

#include <algorithm>

#include "foundation/Exceptions.h"

void CStoreArchive::ReadExactly(void* pBuffer, uint32_t nLength)
{
    if (m_pStore->Read(pBuffer, nLength) != nLength)
        throw new CBaseException(3);
}

void CStoreArchive::WriteString(const std::string& strText)
{
    if (strText.size() > INT32_MAX)
        throw new CBaseException(11);
    *this << static_cast<uint32_t>(strText.size());
    Write(strText.data(), static_cast<uint32_t>(strText.size()));
}

std::string CStoreArchive::ReadString()
{
    int32_t nCount = 0;
    *this >> nCount;
    std::string strText;
    // Grow with the data actually read, so a damaged count cannot claim gigabytes up front.
    constexpr uint32_t kPiece = 64 * 1024;
    for (uint32_t nLeft = nCount > 0 ? static_cast<uint32_t>(nCount) : 0; nLeft > 0;) {
        uint32_t nPiece = std::min(nLeft, kPiece);
        size_t nOld = strText.size();
        strText.resize(nOld + nPiece);
        ReadExactly(strText.data() + nOld, nPiece);
        nLeft -= nPiece;
    }
    return strText;
}
