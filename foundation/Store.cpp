#include "foundation/Store.h"

uint32_t CStore::GetVersion(bool bReread)
{
    if (bReread || m_uVersion == 0) {
        uint8_t bytes[4] = {};   // bytes a short store cannot deliver count as 0
        Read(bytes, sizeof bytes);
        m_uVersion = bytes[0] | bytes[1] << 8 | bytes[2] << 16 | uint32_t(bytes[3]) << 24;
    }
    return m_uVersion;
}

void CStore::SetVersion(uint32_t uVersion)
{
    m_uVersion = uVersion;
    const uint8_t bytes[4] = {uint8_t(uVersion), uint8_t(uVersion >> 8), uint8_t(uVersion >> 16),
                              uint8_t(uVersion >> 24)};
    Write(bytes, sizeof bytes);
}
