// The regions of "region.dat", read through the loaded theme: each region's channels in
// line-up order, aliases of one region id for another, and the additional channels that every
// region gets when extra channels are included. Resetting a region makes its channels the
// line-up's group "My Channels".
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "listings/ChannelGroups.h"
#include "script/theme/Theme.h"

class CSettingsStore;

class CRegions {
public:
    struct Channel {
        std::string strName;
        uint32_t uID = 0;
    };
    struct Region {
        std::string strName;
        uint32_t uID = 0;
        std::vector<Channel> channels;
    };

    explicit CRegions(const CTheme& theme = CTheme::Instance()) : m_theme(theme) {}

    // Reads "region.dat" once; false when it is missing or invalid.
    bool LoadRegionXML();
    // The regions in file order (a later region of the same name replaces an earlier one).
    const std::vector<Region>& GetRegions() const { return m_regions; }
    // The region of the id, after following its alias once; null when there is none.
    const Region* FindRegion(uint32_t uRegionID) const;
    bool RegionExists(uint32_t uRegionID) const { return FindRegion(uRegionID) != nullptr; }
    // The region's channels, then, with bInclude, the additional ones; false for no region.
    bool GetRegionChannels(uint32_t uRegionID, bool bInclude, std::vector<Channel>& channels) const;
    // Makes the region's channels the group "My Channels", adding each to the channel manager
    // (read again from the channels file first). Nothing changes for an unknown region.
    void ResetRegion(uint32_t uRegionID, bool bInclude, CChannelGroups& groups = CChannelGroups::Instance());
    // Start-up: a selected region ("user-selected-region-id") that the file does not have is
    // cleared to 0; a region that it has becomes the line-up, with the extra channels when
    // "user-selected-include-digital" says so.
    void CheckSelectedRegion(CSettingsStore& settings, CChannelGroups& groups = CChannelGroups::Instance());

private:
    bool Parse(const std::string& strText);

    const CTheme& m_theme;
    bool m_bLoaded = false;
    std::vector<Region> m_regions;
    std::unordered_map<uint32_t, uint32_t> m_aliases;   // region id -> region id it stands for
    std::vector<Channel> m_additional;
};
