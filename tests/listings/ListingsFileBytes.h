// Builds the bytes of the listings service's binary files for tests: little-endian u32
// values, and texts (or embedded images) as a u32 byte count followed by the bytes.
#pragma once
#include <cstdint>
#include <string>

class CListingsFileBytes {
public:
    CListingsFileBytes& U32(uint32_t uValue)
    {
        for (int i = 0; i < 4; ++i)
            m_strBytes += static_cast<char>(uValue >> (8 * i));
        return *this;
    }
    CListingsFileBytes& Text(const std::string& strText)
    {
        U32(static_cast<uint32_t>(strText.size()));
        m_strBytes += strText;
        return *this;
    }
    const std::string& Get() const { return m_strBytes; }

private:
    std::string m_strBytes;
};
