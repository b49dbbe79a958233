// Constants fixed when Quilvo Lite is deployed and shared with the services that produce its
// data: the TEA keys of each scrambled format and the hosts of the listings service.
// Changing a key makes every file scrambled with the old one unreadable.
#pragma once
#include <array>
#include <cstdint>

// Values of "string-enc" settings.
inline constexpr std::array<uint32_t, 4> kSettingsValueKey = {0x9CB6C985, 0xE57B5BF0, 0x938B21CA, 0x74368D8A};
// Entries of ".qvltheme" archives.
inline constexpr std::array<uint32_t, 4> kThemeArchiveKey = {0x79F15BAB, 0x14C98916, 0xD6E8465A, 0x788C73CF};
// Programme records of the channel schedule files.
inline constexpr std::array<uint32_t, 4> kScheduleRecordKey = {0xC0F7EF1D, 0xC6363CF7, 0x575609C1, 0xE2324512};
// Listings update files of file version 8.
inline constexpr std::array<uint32_t, 4> kUpdateFileKey = {0x43020547, 0x99F61A5F, 0x9A079D3E, 0xFDC4A5E5};
// Listings update files of file versions 0 to 2.
inline constexpr std::array<uint32_t, 4> kUpdateFileKeyOld = {0x548DEF7D, 0x5B2D3AF8, 0x7B05E4FE, 0xEC7304B2};

// The listings servers' default host, the programme information host and the host that
// receives crash reports.
inline constexpr char kDefaultListingsHost[] = "listings.quilvolite.net";
inline constexpr char kInformationHost[] = "info.quilvolite.net";
inline constexpr char kCrashReportHost[] = "crash.quilvolite.net";
