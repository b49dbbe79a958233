#include "listings/ScheduleFormat.h"

#include <algorithm>
#include <array>

#include "foundation/CRC.h"
#include "foundation/DeploymentKeys.h"
#include "foundation/Tea.h"
#include "listings/Programme.h"

namespace {

constexpr size_t kMaxCount = 0xFFFF;

uint32_t Get32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

// The length of text that fits a 16-bit count, ending on a UTF-8 character boundary.
size_t FittingLength(const std::string& text) {
    if (text.size() <= kMaxCount) return text.size();
    size_t length = kMaxCount;
    while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
    return length;
}

constexpr std::array<uint32_t, 256> MakeIndexTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t r = i << 24;
        for (int bit = 0; bit < 8; ++bit) r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB6u : r << 1;
        table[i] = r;
    }
    return table;
}

constexpr std::array<uint32_t, 256> kIndexTable = MakeIndexTable();

}  // namespace

ScheduleHeader DecodeScheduleHeader(const uint8_t* p) {
    return ScheduleHeader{Get32(p), Get32(p + 4), Get32(p + 8), Get32(p + 12), Get32(p + 16), Get32(p + 20)};
}

void EncodeScheduleHeader(const ScheduleHeader& h, uint8_t* p) {
    Put32(p, h.version);
    Put32(p + 4, h.indexCrc);
    Put32(p + 8, h.reserved);
    Put32(p + 12, h.lastUpdateId);
    Put32(p + 16, h.lastUpdateTime);
    Put32(p + 20, h.entryCount);
}

std::vector<ScheduleIndexEntry> DecodeScheduleIndex(const uint8_t* p, size_t nEntries) {
    std::vector<ScheduleIndexEntry> index(nEntries);
    for (auto& e : index) {
        e = ScheduleIndexEntry{Get32(p), Get32(p + 4), Get32(p + 8), Get32(p + 12), Get32(p + 16)};
        p += kScheduleIndexEntrySize;
    }
    return index;
}

std::vector<uint8_t> EncodeScheduleIndex(const std::vector<ScheduleIndexEntry>& index) {
    std::vector<uint8_t> bytes(index.size() * kScheduleIndexEntrySize);
    uint8_t* p = bytes.data();
    for (const auto& e : index) {
        Put32(p, e.start);
        Put32(p + 4, e.end);
        Put32(p + 8, e.updated);
        Put32(p + 12, e.offset);
        Put32(p + 16, e.length);
        p += kScheduleIndexEntrySize;
    }
    return bytes;
}

uint32_t ScheduleIndexChecksum(uint32_t uVersion, const uint8_t* pBytes, size_t nLength) {
    if (uVersion == 2) return CalculateCRC(pBytes, nLength);
    uint32_t r = 0;
    for (size_t i = 0; i < nLength; ++i) r = (r << 8) ^ kIndexTable[(r >> 24) ^ pBytes[i]];
    return r;
}

std::vector<uint8_t> EncodeScheduleRecord(const CProgramme& programme) {
    const std::vector<uint16_t>& allKeywords = programme.GetKeywords();
    const size_t k = std::min(allKeywords.size(), kMaxCount);
    const size_t t = FittingLength(programme.GetTitle());
    const size_t d = FittingLength(programme.GetScheduleDescription());
    std::vector<uint8_t> record(kScheduleRecordFixedSize + 2 * k + t + d, 0);
    uint8_t* p = record.data();
    Put32(p, kScheduleRecordFormat);
    Put32(p + 4, programme.GetStartTime());
    Put32(p + 8, programme.GetEndTime());
    Put16(p + 12, static_cast<uint16_t>(programme.GetCategoryID()));
    Put32(p + 14, programme.GetProgrammeID());
    Put16(p + 22, static_cast<uint16_t>(k));
    Put16(p + 24, static_cast<uint16_t>(t));
    Put16(p + 26, static_cast<uint16_t>(d));
    uint8_t* q = p + 40;
    for (size_t i = 0; i < k; ++i, q += 2) Put16(q, allKeywords[i]);
    std::copy_n(programme.GetTitle().data(), t, q);
    q += t + 1;
    std::copy_n(programme.GetScheduleDescription().data(), d, q);
    TeaEncipherBuffer(p + 4, record.size() - 4, kScheduleRecordKey);
    return record;
}

bool DecodeScheduleRecord(uint8_t* pRecord, size_t nLength, ScheduleRecord& out) {
    if (nLength < kScheduleRecordFixedSize) return false;
    out.format = Get32(pRecord);
    if (out.format == kScheduleRecordFormat) TeaDecipherBuffer(pRecord + 4, nLength - 4, kScheduleRecordKey);
    const size_t k = Get16(pRecord + 22), t = Get16(pRecord + 24), d = Get16(pRecord + 26);
    if (nLength != kScheduleRecordFixedSize + 2 * k + t + d) return false;
    out.start = Get32(pRecord + 4);
    out.end = Get32(pRecord + 8);
    out.categoryId = Get16(pRecord + 12);
    out.programmeId = Get32(pRecord + 14);
    const uint8_t* q = pRecord + 40;
    out.keywords.resize(k);
    for (size_t i = 0; i < k; ++i, q += 2) out.keywords[i] = Get16(q);
    out.title.assign(reinterpret_cast<const char*>(q), t);
    q += t + 1;
    out.description.assign(reinterpret_cast<const char*>(q), d);
    return true;
}
