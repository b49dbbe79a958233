// Reading the listings service's binary files ("channels", "category", "keywords"): the whole
// file in memory, walked with the program's archive encoding, every count and length checked
// against the bytes left before anything is allocated for it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "foundation/MemoryStore.h"
#include "foundation/StoreArchive.h"

// A failure's text for a log line: its line breaks (file errors have "\r\nReason:\r\n") become
// single blanks, so that each log entry stays one line.
std::string OneLineText(const char* pszText);

class CListingsFileReader {
public:
    // Files larger than this are refused.
    static constexpr uint64_t kMaxFileSize = 256ull << 20;

    // Reads the file; throws CFileStoreException when it cannot, CBaseException (code 3) when
    // it is too large.
    explicit CListingsFileReader(const std::string& strPath);
    CListingsFileReader(const CListingsFileReader&) = delete;
    CListingsFileReader& operator=(const CListingsFileReader&) = delete;

    // Each throws CBaseException (code 3) when the file ends first.
    uint32_t ReadU32();
    std::string ReadString();
    std::vector<uint8_t> ReadBytes(uint32_t nLength);
    // Throws CBaseException (code 3) unless nCount items of at least nItemSize bytes fit in
    // what is left.
    void CheckCount(uint32_t nCount, uint32_t nItemSize);

private:
    uint64_t Left();

    std::vector<uint8_t> m_data;
    CMemoryStore m_store{m_data};
    CStoreArchive m_archive{&m_store};
};
