// Typed reading and writing through a store: integers as their little-endian bytes, and the
// program's texts (a 32-bit byte count, then the bytes without terminator).
//     CStoreArchive ar(&store);
//     ar << uint32_t(4) << int16_t(-1) << true;
//     ar >> uCount >> nValue >> bFlag;
#pragma once
#include <concepts>
#include <cstdint>
#include <type_traits>
#include <string>

#include "foundation/Store.h"

class CStoreArchive {
public:
    explicit CStoreArchive(CStore* pStore) : m_pStore(pStore) {}

    template <std::integral T>
    CStoreArchive& operator<<(T value)
    {
        uint8_t bytes[sizeof(T)];
        using U = std::make_unsigned_t<std::conditional_t<std::is_same_v<T, bool>, uint8_t, T>>;
        U u = static_cast<U>(value);
        for (size_t i = 0; i < sizeof(T); ++i)
            bytes[i] = static_cast<uint8_t>(u >> (8 * i));
        m_pStore->Write(bytes, sizeof bytes);
        return *this;
    }

    // Throws CBaseException code 3 when the store ends before the value.
    template <std::integral T>
    CStoreArchive& operator>>(T& value)
    {
        uint8_t bytes[sizeof(T)];
        ReadExactly(bytes, sizeof bytes);
        using U = std::make_unsigned_t<std::conditional_t<std::is_same_v<T, bool>, uint8_t, T>>;
        U u = 0;
        for (size_t i = 0; i < sizeof(T); ++i)
            u = static_cast<U>(u | static_cast<U>(bytes[i]) << (8 * i));
        if constexpr (std::is_same_v<T, bool>)
            value = u != 0;
        else
            value = static_cast<T>(u);
        return *this;
    }

    // The store's own Read and Write.
    uint32_t Read(void* pBuffer, uint32_t nLength) { return m_pStore->Read(pBuffer, nLength); }
    void Write(const void* pBuffer, uint32_t nLength) { m_pStore->Write(pBuffer, nLength); }

    // A text: its byte count, then its bytes. A negative count reads as an empty text; a count
    // beyond the end of the store throws (code 3) without allocating for it first.
    void WriteString(const std::string& strText);
    std::string ReadString();

    CStore* GetStore() const { return m_pStore; }

private:
    void ReadExactly(void* pBuffer, uint32_t nLength);

    CStore* m_pStore = nullptr;
};
