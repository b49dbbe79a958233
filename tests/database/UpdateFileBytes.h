// Listings update files for tests, written field by field from the published layout so that
// a mistake shared by an encoder and the decoder cannot hide.
#pragma once
#include <zlib.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "foundation/DeploymentKeys.h"
#include "foundation/Tea.h"

struct TestProgramme {
    uint32_t start = 0;        // seconds since 1970 UTC
    uint16_t minutes = 30;
    std::string title;
    uint16_t category = 0;
    std::string description;
    std::vector<uint16_t> keywords;
    uint32_t id = 0;
    bool validStart = true;
};

struct TestChannel {
    uint32_t id = 0;
    std::vector<TestProgramme> programmes;
};

class Bytes {
public:
    Bytes& U8(uint8_t v) { m_b.push_back(v); return *this; }
    Bytes& U16(uint16_t v) { return U8(uint8_t(v)).U8(uint8_t(v >> 8)); }
    Bytes& U32(uint32_t v) { return U16(uint16_t(v)).U16(uint16_t(v >> 16)); }
    Bytes& Str(const std::string& s)
    {
        U32(uint32_t(s.size()));
        m_b.insert(m_b.end(), s.begin(), s.end());
        return *this;
    }
    // Day of month, month 0-11, year, hour, minute, valid flag.
    Bytes& Time(uint32_t t, bool valid = true)
    {
        const time_t tt = time_t(t);
        std::tm tm{};
        gmtime_r(&tt, &tm);
        return U8(uint8_t(tm.tm_mday)).U8(uint8_t(tm.tm_mon)).U16(uint16_t(tm.tm_year + 1900))
            .U8(uint8_t(tm.tm_hour)).U8(uint8_t(tm.tm_min)).U8(valid ? 1 : 0);
    }
    Bytes& Append(const std::vector<uint8_t>& more)
    {
        m_b.insert(m_b.end(), more.begin(), more.end());
        return *this;
    }
    const std::vector<uint8_t>& Get() const { return m_b; }
    std::string Text() const { return std::string(m_b.begin(), m_b.end()); }

private:
    std::vector<uint8_t> m_b;
};

// The payload: channel count, archive version, then each channel's programmes.
inline std::vector<uint8_t> Payload(const std::vector<TestChannel>& channels, uint32_t version)
{
    Bytes b;
    b.U32(uint32_t(channels.size()));
    if (channels.empty())
        return b.Get();
    b.U32(version);
    for (const TestChannel& c : channels) {
        b.U32(c.id).U32(uint32_t(c.programmes.size()));
        for (const TestProgramme& p : c.programmes) {
            b.Time(p.start, p.validStart).U16(p.minutes).U32(0xDEADBEEF).Str(p.title).U16(p.category);
            if (version == 1)
                b.Str("older field");
            b.Str(p.description).U16(7).U16(9);
            if (version > 1) {
                b.U32(uint32_t(p.keywords.size()));
                for (uint16_t k : p.keywords)
                    b.U16(k);
            }
            if (version >= 3)
                b.U32(p.id);
        }
    }
    return b.Get();
}

// The whole file: marker 0, file version, packed flag, body (compressed and enciphered with the
// version's key when packed).
inline std::vector<uint8_t> UpdateFile(const std::vector<uint8_t>& payload, uint32_t fileVersion, bool packed)
{
    Bytes b;
    b.U32(0).U32(fileVersion).U8(packed ? 1 : 0);
    if (!packed)
        return b.Append(payload).Get();
    uLongf size = compressBound(uLong(payload.size()));
    std::vector<uint8_t> body(size);
    compress2(body.data(), &size, payload.data(), uLong(payload.size()), 1);
    body.resize(size);
    TeaEncipherBuffer(body.data(), body.size(), fileVersion == 8 ? kUpdateFileKey : kUpdateFileKeyOld);
    return b.Append(body).Get();
}
