// A store over a byte array in memory that it does not own; writing grows the array.
#pragma once
#include <cstdint>
#include <vector>

#include "foundation/Store.h"

class CMemoryStore : public CStore {
public:
    explicit CMemoryStore(const std::vector<uint8_t>& data);          // read-only
    CMemoryStore(std::vector<uint8_t>& data, bool bReadOnly = false);
    CMemoryStore(std::vector<uint8_t>&&, bool = false) = delete;     // would dangle

    // Delivers what is left, up to nLength bytes; 0 at the end. Never throws.
    uint32_t Read(void* pBuffer, uint32_t nLength) override;
    // Writes at the position, growing the array. Throws CBaseException code 11 on a read-only
    // store, code 2 when the array would pass 4 GiB.
    void Write(const void* pBuffer, uint32_t nLength) override;
    bool IsEOF() override;
    virtual uint32_t GetPosition();
    virtual void SetPosition(uint32_t nOffset);
    virtual uint32_t GetLength();

private:
    const std::vector<uint8_t>& m_data;
    std::vector<uint8_t>* m_pWritable = nullptr;   // null when read-only
    uint32_t m_nPosition = 0;
};
