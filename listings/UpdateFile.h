// Listings update files: what the listings service sends for one or more channels, decoded
// into channel plans (the programmes to merge into each channel's schedule file). Every count
// and length is checked against the bytes that are left before anything is made of it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One programme as the update file plans it.
struct PlannedProgramme {
    bool bStartValid = false;     // false: the file left the start unset or gave an impossible one
    uint32_t uStart = 0;          // seconds since 1970 UTC
    uint16_t nDuration = 0;       // minutes
    std::string strTitle;
    uint16_t nCategoryID = 0;
    std::string strDescription;   // the schedule description, entities already resolved
    std::vector<uint16_t> keywords;
    uint32_t uProgrammeID = 0;
};

struct ChannelPlan {
    uint32_t uChannelID = 0;
    std::vector<PlannedProgramme> programmes;
};

using ListingsPlan = std::vector<ChannelPlan>;

inline constexpr uint32_t kUpdateFileVersion = 8;      // older files carry 0 to 2
inline constexpr uint32_t kUpdateArchiveVersion = 8;   // the newest payload layout
inline constexpr size_t kMaxInflatedUpdateSize = 64u << 20;

// Decodes a whole update file: the header, then the payload as it is or deciphered and
// inflated. Throws CExtraInfoException code 3 "File is corrupt" for anything it cannot read.
ListingsPlan DecodeUpdateFile(std::vector<uint8_t> bytes);
// The payload alone: channel count, archive version, channel plans.
ListingsPlan DecodeUpdatePayload(const uint8_t* pData, size_t nLength);
// Reads and decodes the file; a failure is logged as "File %s seems to be corrupt" and thrown
// as "File is corrupt".
ListingsPlan ReadUpdateFile(const std::string& strPath);

// The update id of a pending file name ("12-345.up" gives 345, "12.up" gives 0).
uint32_t UpdateIDFromFileName(const std::string& strName);
// True for names of the form "<channel>-<update>.up" (case of the extension ignored), giving
// both numbers.
bool ParseUpdateFileName(const std::string& strName, uint32_t& uChannelID, uint32_t& uUpdateID);
