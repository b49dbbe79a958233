// The layout of a channel schedule file, for its reader, its writer and the maintenance tools:
// a 24-byte header, an index of 20-byte entries sorted by start, and a data area in which each
// programme record (scrambled with TEA from its fifth byte) sits between two 0xFF 0xFF pairs.
// All integers are little-endian; all times are unsigned seconds since 1970 UTC.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CProgramme;

inline constexpr uint32_t kScheduleHeaderSize = 24;
inline constexpr uint32_t kScheduleIndexEntrySize = 20;
inline constexpr uint32_t kScheduleVersion = 3;         // written; 0, 2 and 3 are read
inline constexpr uint32_t kScheduleOldVersion = 1;      // an old layout, read as empty
inline constexpr uint32_t kScheduleRecordFormat = 4;    // scrambled records
inline constexpr uint32_t kScheduleRecordFixedSize = 42;

struct ScheduleHeader {
    uint32_t version = 0;
    uint32_t indexCrc = 0;
    uint32_t reserved = 0;
    uint32_t lastUpdateId = 0;
    uint32_t lastUpdateTime = 0;
    uint32_t entryCount = 0;
};

struct ScheduleIndexEntry {
    uint32_t start = 0;
    uint32_t end = 0;
    uint32_t updated = 0;
    uint32_t offset = 0;   // from the start of the data area
    uint32_t length = 0;
};

struct ScheduleRecord {
    uint32_t format = 0;
    uint32_t start = 0;
    uint32_t end = 0;
    uint16_t categoryId = 0;
    uint32_t programmeId = 0;
    std::vector<uint16_t> keywords;
    std::string title;
    std::string description;
};

ScheduleHeader DecodeScheduleHeader(const uint8_t* pBytes);
void EncodeScheduleHeader(const ScheduleHeader& header, uint8_t* pBytes);
std::vector<ScheduleIndexEntry> DecodeScheduleIndex(const uint8_t* pBytes, size_t nEntries);
std::vector<uint8_t> EncodeScheduleIndex(const std::vector<ScheduleIndexEntry>& index);

// The checksum of the index bytes for the header's version: version 2 uses the program's file
// CRC; every other version a table-driven CRC with the polynomial 0x04C11DB6, MSB first,
// starting at 0, without final inversion.
uint32_t ScheduleIndexChecksum(uint32_t uVersion, const uint8_t* pBytes, size_t nLength);

// The scrambled format-4 record of a programme. Titles, descriptions and keyword lists too long
// for their 16-bit counts are cut (texts at a UTF-8 character boundary).
std::vector<uint8_t> EncodeScheduleRecord(const CProgramme& programme);

// Takes a record apart, unscrambling it in place first when its format word is 4. False when
// it is shorter than the fixed part or its length does not match its counts.
bool DecodeScheduleRecord(uint8_t* pRecord, size_t nLength, ScheduleRecord& out);
