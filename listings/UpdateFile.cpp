// Decoding of listings update files.
#include "listings/UpdateFile.h"

#include <zlib.h>

#include <cstring>
#include <new>

#include "foundation/DeploymentKeys.h"
#include "foundation/Exceptions.h"
#include "foundation/FileUtils.h"
#include "foundation/Log.h"
#include "foundation/Tea.h"

namespace {

constexpr size_t kHeaderSize = 9;
constexpr size_t kFirstInflateBuffer = 61440;
constexpr uint32_t kMaxKeywordCount = 65535;

[[noreturn]] void Corrupt()
{
    throw new CExtraInfoException(3, "File is corrupt");
}

// Little-endian fields of a byte range that never reads past its end.
class CPayloadReader {
public:
    CPayloadReader(const uint8_t* pData, size_t nLength) : m_p(pData), m_nLeft(nLength) {}

    size_t Left() const { return m_nLeft; }
    const uint8_t* Take(size_t n)
    {
        if (n > m_nLeft)
            Corrupt();
        const uint8_t* p = m_p;
        m_p += n;
        m_nLeft -= n;
        return p;
    }
    uint8_t U8() { return *Take(1); }
    uint16_t U16()
    {
        const uint8_t* p = Take(2);
        return uint16_t(p[0] | p[1] << 8);
    }
    uint32_t U32()
    {
        const uint8_t* p = Take(4);
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
    std::string String()
    {
        const int32_t nCount = int32_t(U32());
        if (nCount <= 0)
            return {};
        const uint8_t* p = Take(size_t(nCount));
        return std::string(reinterpret_cast<const char*>(p), size_t(nCount));
    }
    // A count of items each taking at least nMinSize bytes: more than can fit is corrupt.
    uint32_t Count(size_t nMinSize)
    {
        const uint32_t n = U32();
        if (nMinSize && n > m_nLeft / nMinSize)
            Corrupt();
        return n;
    }

private:
    const uint8_t* m_p;
    size_t m_nLeft;
};

bool IsLeapYear(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

// Days from 1970-01-01 to the date (proleptic Gregorian).
int64_t DaysFromCivil(int y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

// The 7-byte time: day of month, month 0-11, year, hour, minute, valid flag. False for an
// unset time or fields that name no moment representable in 32 unsigned bits.
bool ReadPlannedTime(CPayloadReader& in, uint32_t& uTime)
{
    const unsigned nDay = in.U8();
    const unsigned nMonth = in.U8();
    const unsigned nYear = in.U16();
    const unsigned nHour = in.U8();
    const unsigned nMinute = in.U8();
    const bool bValid = in.U8() != 0;
    static const unsigned kDaysInMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (!bValid || nYear < 1970 || nMonth > 11 || nHour > 23 || nMinute > 59 || nDay < 1)
        return false;
    if (nDay > kDaysInMonth[nMonth] + (nMonth == 1 && IsLeapYear(int(nYear)) ? 1 : 0))
        return false;
    const int64_t seconds = DaysFromCivil(int(nYear), nMonth + 1, nDay) * 86400 + nHour * 3600 + nMinute * 60;
    if (seconds < 0 || seconds > int64_t(UINT32_MAX))
        return false;
    uTime = uint32_t(seconds);
    return true;
}

void ReplaceAll(std::string& text, const char* from, const char* to)
{
    const size_t nFrom = std::strlen(from), nTo = std::strlen(to);
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + nTo))
        text.replace(at, nFrom, to);
}

PlannedProgramme ReadPlannedProgramme(CPayloadReader& in, uint32_t uVersion)
{
    PlannedProgramme p;
    p.bStartValid = ReadPlannedTime(in, p.uStart);
    p.nDuration = in.U16();
    in.U32();
    p.strTitle = in.String();
    p.nCategoryID = in.U16();
    if (uVersion == 1)
        in.String();
    p.strDescription = in.String();
    in.U16();
    in.U16();
    if (uVersion > 1) {
        const uint32_t nKeywords = in.Count(2);
        if (nKeywords > kMaxKeywordCount)
            Corrupt();
        p.keywords.reserve(nKeywords);
        for (uint32_t i = 0; i < nKeywords; ++i)
            p.keywords.push_back(in.U16());
    }
    if (uVersion >= 3)
        p.uProgrammeID = in.U32();
    if (uVersion < 4) {
        ReplaceAll(p.strDescription, "<br>", "\r");
        ReplaceAll(p.strDescription, "&amp;", "&");
        ReplaceAll(p.strDescription, "&gt;", ">");
        ReplaceAll(p.strDescription, "&lt;", "<");
    }
    return p;
}

// The fewest bytes a programme of the archive version takes.
size_t MinProgrammeSize(uint32_t uVersion)
{
    size_t n = 7 + 2 + 4 + 4 + 2 + 4 + 2 + 2;
    if (uVersion == 1)
        n += 4;
    if (uVersion > 1)
        n += 4;
    if (uVersion >= 3)
        n += 4;
    return n;
}

std::vector<uint8_t> Inflate(const uint8_t* pData, size_t nLength)
{
    std::vector<uint8_t> out(kFirstInflateBuffer);
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        Corrupt();
    z.next_in = const_cast<uint8_t*>(pData);
    z.avail_in = uInt(nLength);
    int rc = Z_OK;
    for (;;) {
        z.next_out = out.data() + z.total_out;
        z.avail_out = uInt(out.size() - z.total_out);
        rc = inflate(&z, Z_FINISH);
        if (rc == Z_STREAM_END)
            break;
        // Only a full output buffer is worth a bigger one; anything else is a damaged stream.
        if ((rc != Z_BUF_ERROR && rc != Z_OK) || z.avail_out != 0 || out.size() >= kMaxInflatedUpdateSize)
            break;
        out.resize(std::min(out.size() * 2, kMaxInflatedUpdateSize));
    }
    const size_t nTotal = z.total_out;
    inflateEnd(&z);
    if (rc != Z_STREAM_END)
        Corrupt();
    out.resize(nTotal);
    return out;
}

}  // namespace

ListingsPlan DecodeUpdatePayload(const uint8_t* pData, size_t nLength)
{
    CPayloadReader in(pData, nLength);
    ListingsPlan plan;
    const uint32_t nChannels = in.Count(8);
    if (nChannels == 0)
        return plan;
    const uint32_t uVersion = in.U32();
    if (uVersion > kUpdateArchiveVersion)
        Corrupt();
    plan.reserve(nChannels);
    for (uint32_t c = 0; c < nChannels; ++c) {
        ChannelPlan& channel = plan.emplace_back();
        channel.uChannelID = in.U32();
        const uint32_t nProgrammes = in.Count(MinProgrammeSize(uVersion));
        channel.programmes.reserve(nProgrammes);
        for (uint32_t i = 0; i < nProgrammes; ++i)
            channel.programmes.push_back(ReadPlannedProgramme(in, uVersion));
    }
    return plan;
}

ListingsPlan DecodeUpdateFile(std::vector<uint8_t> bytes)
{
    try {
        if (bytes.size() < 4)
            Corrupt();
        CPayloadReader header(bytes.data(), bytes.size());
        if (header.U32() != 0)
            return DecodeUpdatePayload(bytes.data(), bytes.size());
        const uint32_t uFileVersion = header.U32();
        const bool bPacked = header.U8() != 0;
        if (uFileVersion != kUpdateFileVersion && uFileVersion > 2)
            Corrupt();
        uint8_t* pBody = bytes.data() + kHeaderSize;
        const size_t nBody = bytes.size() - kHeaderSize;
        if (!bPacked)
            return DecodeUpdatePayload(pBody, nBody);
        TeaDecipherBuffer(pBody, nBody, uFileVersion == kUpdateFileVersion ? kUpdateFileKey : kUpdateFileKeyOld);
        const std::vector<uint8_t> payload = Inflate(pBody, nBody);
        return DecodeUpdatePayload(payload.data(), payload.size());
    } catch (const std::bad_alloc&) {
        Corrupt();
    }
}

ListingsPlan ReadUpdateFile(const std::string& strPath)
{
    try {
        std::vector<uint8_t> bytes;
        if (!ReadWholeFile(strPath, bytes) || bytes.size() > kMaxInflatedUpdateSize)
            Corrupt();
        return DecodeUpdateFile(std::move(bytes));
    } catch (CBaseException* e) {
        e->Delete();
        LogWarning("File %s seems to be corrupt", strPath.c_str());
        Corrupt();
    } catch (const std::bad_alloc&) {
        LogWarning("File %s seems to be corrupt", strPath.c_str());
        Corrupt();
    }
}

namespace {

// The decimal number at the start of the text; false when there is none or it passes 32 bits.
bool ReadNumber(const std::string& text, size_t& at, uint32_t& value)
{
    const size_t from = at;
    uint64_t n = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        n = n * 10 + unsigned(text[at++] - '0');
        if (n > UINT32_MAX)
            return false;
    }
    value = uint32_t(n);
    return at > from;
}

std::string StripFolder(const std::string& strName)
{
    const size_t slash = strName.find_last_of('/');
    return slash == std::string::npos ? strName : strName.substr(slash + 1);
}

}  // namespace

uint32_t UpdateIDFromFileName(const std::string& strName)
{
    const std::string name = StripFolder(strName);
    size_t at = 0;
    uint32_t uChannel = 0, uUpdate = 0;
    if (!ReadNumber(name, at, uChannel) || at >= name.size() || name[at] != '-')
        return 0;
    ++at;
    return ReadNumber(name, at, uUpdate) ? uUpdate : 0;
}

bool ParseUpdateFileName(const std::string& strName, uint32_t& uChannelID, uint32_t& uUpdateID)
{
    const std::string name = StripFolder(strName);
    size_t at = 0;
    if (!ReadNumber(name, at, uChannelID) || at >= name.size() || name[at++] != '-' ||
        !ReadNumber(name, at, uUpdateID))
        return false;
    const std::string ext = name.substr(at);
    return ext.size() == 3 && ext[0] == '.' && (ext[1] | 0x20) == 'u' && (ext[2] | 0x20) == 'p';
}
