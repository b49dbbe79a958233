#include "listings/ScheduleDump.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "foundation/Exceptions.h"
#include "foundation/FileUtils.h"
#include "listings/DateTime.h"
#include "listings/ScheduleFormat.h"

namespace {

void Append(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Append(std::string& out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    char line[512];
    const int n = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (n > 0) out.append(line, std::min<size_t>(size_t(n), sizeof line - 1));
}

std::string Time(uint32_t t) { return CDateTime(t).GetISO8601(); }

// The text between quotes, with control characters, quotes and backslashes escaped.
std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == '"' || c == '\\') {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", u);
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

}  // namespace

bool DumpScheduleFile(const std::string& strPath, bool bRecords, std::string& strOut) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(strPath, bytes)) {
        Append(strOut, "cannot read %s: %s\n", strPath.c_str(), FormatLastError().c_str());
        return false;
    }
    Append(strOut, "file %s, %zu bytes\n", strPath.c_str(), bytes.size());
    if (bytes.size() < kScheduleHeaderSize) {
        Append(strOut, "the file is shorter than its %u-byte header\n", kScheduleHeaderSize);
        return false;
    }
    const ScheduleHeader header = DecodeScheduleHeader(bytes.data());
    Append(strOut, "version %u, last update id %u, last update time %s, %u entries\n", header.version,
           header.lastUpdateId, Time(header.lastUpdateTime).c_str(), header.entryCount);
    if (header.version == kScheduleOldVersion) {
        Append(strOut, "old layout: the program reads this file as empty\n");
        return true;
    }
    const uint64_t dataOffset = kScheduleHeaderSize + uint64_t(header.entryCount) * kScheduleIndexEntrySize;
    if (dataOffset > bytes.size()) {
        Append(strOut, "the index runs past the end of the file\n");
        return false;
    }
    if (header.version > kScheduleVersion) {
        Append(strOut, "a newer layout: the program does not read its index\n");
        return true;
    }
    const uint32_t checksum = ScheduleIndexChecksum(header.version, bytes.data() + kScheduleHeaderSize,
                                                    dataOffset - kScheduleHeaderSize);
    if (checksum == header.indexCrc)
        Append(strOut, "index checksum 0x%08X (good)\n", header.indexCrc);
    else
        Append(strOut, "index checksum 0x%08X, computed 0x%08X (MISMATCH)\n", header.indexCrc, checksum);

    const uint64_t dataSize = bytes.size() - dataOffset;
    const auto index = DecodeScheduleIndex(bytes.data() + kScheduleHeaderSize, header.entryCount);
    for (size_t i = 0; i < index.size(); ++i) {
        const ScheduleIndexEntry& e = index[i];
        Append(strOut, "%5zu  %s  %s  updated %s  offset %u  length %u\n", i, Time(e.start).c_str(), Time(e.end).c_str(),
               Time(e.updated).c_str(), e.offset, e.length);
        if (!bRecords) continue;
        if (e.length < kScheduleRecordFixedSize || uint64_t(e.offset) + e.length > dataSize) {
            Append(strOut, "       damaged: the record lies outside the data area or is too short\n");
            continue;
        }
        std::vector<uint8_t> raw(bytes.begin() + dataOffset + e.offset, bytes.begin() + dataOffset + e.offset + e.length);
        ScheduleRecord record;
        if (!DecodeScheduleRecord(raw.data(), raw.size(), record)) {
            Append(strOut, "       damaged: the record length does not match its counts\n");
            continue;
        }
        if (record.start != e.start || record.end != e.end)
            Append(strOut, "       damaged: the record runs %s to %s\n", Time(record.start).c_str(), Time(record.end).c_str());
        std::string keywords;
        for (const uint16_t k : record.keywords) keywords += (keywords.empty() ? "" : ",") + std::to_string(k);
        strOut += "       title " + Quoted(record.title) + "  category " + std::to_string(record.categoryId) +
                  "  programme " + std::to_string(record.programmeId) + "  keywords " +
                  (keywords.empty() ? "-" : keywords) + "\n";
    }
    return true;
}
