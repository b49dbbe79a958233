#include "foundation/MemoryStore.h"

#include <algorithm>
#include <cstring>

#include "foundation/Exceptions.h"

CMemoryStore::CMemoryStore(const std::vector<uint8_t>& data) : m_data(data) {}

CMemoryStore::CMemoryStore(std::vector<uint8_t>& data, bool bReadOnly)
    : m_data(data), m_pWritable(bReadOnly ? nullptr : &data)
{
}

uint32_t CMemoryStore::Read(void* pBuffer, uint32_t nLength)
{
    if (m_nPosition >= m_data.size())
        return 0;
    uint32_t nCount = static_cast<uint32_t>(std::min<uint64_t>(nLength, m_data.size() - m_nPosition));
    if (nCount)
        std::memcpy(pBuffer, m_data.data() + m_nPosition, nCount);
    m_nPosition += nCount;
    return nCount;
}

void CMemoryStore::Write(const void* pBuffer, uint32_t nLength)
{
    if (!m_pWritable)
        throw new CBaseException(11);
    uint64_t nEnd = uint64_t(m_nPosition) + nLength;
    if (nEnd > UINT32_MAX)
        throw new CBaseException(2);
    if (nEnd > m_pWritable->size())
        m_pWritable->resize(nEnd);
    if (nLength)
        std::memcpy(m_pWritable->data() + m_nPosition, pBuffer, nLength);
    m_nPosition = static_cast<uint32_t>(nEnd);
}

bool CMemoryStore::IsEOF()
{
    return m_nPosition >= m_data.size();
}

uint32_t CMemoryStore::GetPosition()
{
    return m_nPosition;
}

void CMemoryStore::SetPosition(uint32_t nOffset)
{
    m_nPosition = nOffset;
}

uint32_t CMemoryStore::GetLength()
{
    return static_cast<uint32_t>(std::min<uint64_t>(m_data.size(), UINT32_MAX));
}
