#include "listings/Regions.h"

#include <algorithm>
#include <memory>

#include "foundation/Exceptions.h"
#include "foundation/KRXML.h"
#include "foundation/Log.h"
#include "foundation/NameHash.h"
#include "foundation/SettingsStore.h"
#include "listings/ChannelManager.h"

namespace {

using KRXML::CElement;

// Element names of the file compare without regard to case.
const CElement* FindChildElement(const CElement* pParent, std::string_view name)
{
    for (const CElement* pChild : pParent->GetChildren())
        if (NamesEqual(pChild->m_strName, name))
            return pChild;
    return nullptr;
}

// The "channel" elements under the element's "channels" that carry an id other than 0;
// strWhose names the list in the log ("London region", "additional").
std::vector<CRegions::Channel> ReadChannels(const CElement* pParent, const std::string& strWhose)
{
    std::vector<CRegions::Channel> channels;
    const CElement* pChannels = FindChildElement(pParent, "channels");
    if (!pChannels)
        return channels;
    for (const CElement* pChannel : pChannels->GetChildren()) {
        if (!NamesEqual(pChannel->m_strName, "channel"))
            continue;
        const char* pszName = pChannel->GetAttribute("name");
        CRegions::Channel channel{pszName ? pszName : "", 0};
        if (pChannel->GetAttributeInt("id", channel.uID) && channel.uID != 0) {
            LogInfo("CRegions::LoadRegionXML() - Found %s channel %u-%s", strWhose.c_str(), channel.uID,
                    channel.strName.c_str());
            channels.push_back(std::move(channel));
        } else {
            LogInfo("CRegions::LoadRegionXML() - Unable to get channel ID for %s channel %s", strWhose.c_str(),
                    channel.strName.c_str());
        }
    }
    return channels;
}

}  // namespace

bool CRegions::LoadRegionXML()
{
    LogInfo("CRegions::LoadRegionXML()");
    if (m_bLoaded)
        return true;
    std::string strText;
    if (!m_theme.ReadText("region.dat", strText))
        return false;
    m_bLoaded = Parse(strText);
    return m_bLoaded;
}

bool CRegions::Parse(const std::string& strText)
{
    CElement* pParsed = nullptr;
    try {
        KRXML::ParseText(strText.data(), static_cast<ptrdiff_t>(strText.size()), true, pParsed);
    } catch (CBaseException* e) {
        LogWarning("CRegions::LoadRegionXML() - Region.dat file couldn't be opened with the following error: %s",
                   e->GetText());
        e->Delete();
        return false;
    }
    KRXML::CElementPtr pRoot(pParsed);
    const CElement* pRegions = pRoot ? FindChildElement(pRoot.get(), "regions") : nullptr;
    if (!pRegions) {
        LogWarning("CRegions::LoadRegionXML() - Region.dat file appears to be invalid, no 'regions' tag was found");
        return false;
    }

    for (const CElement* pChild : pRegions->GetChildren()) {
        if (NamesEqual(pChild->m_strName, "include")) {
            std::vector<Channel> channels = ReadChannels(pChild, "additional");
            m_additional.insert(m_additional.end(), channels.begin(), channels.end());
            continue;
        }
        if (!NamesEqual(pChild->m_strName, "region"))
            continue;
        Region region;
        pChild->GetAttributeInt("id", region.uID);
        const char* pszAlias = pChild->GetAttribute("alt-id");
        if (pszAlias && *pszAlias) {
            m_aliases[region.uID] = xmlmodel::ParseUnsigned(pszAlias);
            continue;
        }
        const char* pszName = pChild->GetAttribute("name");
        region.strName = pszName ? pszName : "";
        region.channels = ReadChannels(pChild, region.strName + " region");
        auto same = std::find_if(m_regions.begin(), m_regions.end(),
                                 [&](const Region& r) { return NamesEqual(r.strName, region.strName); });
        if (same != m_regions.end())
            *same = std::move(region);
        else
            m_regions.push_back(std::move(region));
    }
    return true;
}

const CRegions::Region* CRegions::FindRegion(uint32_t uRegionID) const
{
    const auto alias = m_aliases.find(uRegionID);
    if (alias != m_aliases.end())
        uRegionID = alias->second;
    for (const Region& region : m_regions)
        if (region.uID == uRegionID)
            return &region;
    return nullptr;
}

bool CRegions::GetRegionChannels(uint32_t uRegionID, bool bInclude, std::vector<Channel>& channels) const
{
    const Region* pRegion = FindRegion(uRegionID);
    if (!pRegion)
        return false;
    channels = pRegion->channels;
    if (bInclude)
        channels.insert(channels.end(), m_additional.begin(), m_additional.end());
    return true;
}

void CRegions::ResetRegion(uint32_t uRegionID, bool bInclude, CChannelGroups& groups)
{
    LogInfo("Resetting region channels");
    std::vector<Channel> channels;
    if (!GetRegionChannels(uRegionID, bInclude, channels))
        return;
    CChannelManager::Drop();
    const std::shared_ptr<CChannelManager> pManager = CChannelManager::Get();
    std::vector<CChannelAssignmentPtr> lineup;
    for (const Channel& channel : channels) {
        pManager->AddChannel(channel.uID, channel.strName, channel.strName, "", "Entertainment");
        lineup.push_back(std::make_shared<const CChannelAssignment>(0, channel.uID, std::to_string(channel.uID), ""));
        LogInfo("Added channel %u - %s to lineup", channel.uID, channel.strName.c_str());
    }
    groups.SetGroup(kMyChannelsGroup, std::move(lineup));
}

void CRegions::CheckSelectedRegion(CSettingsStore& settings, CChannelGroups& groups)
{
    uint32_t uRegionID = 0;
    bool bInclude = true;
    settings.GetUInt("user-selected-region-id", uRegionID, 0);
    settings.GetBool("user-selected-include-digital", bInclude, true);
    LoadRegionXML();
    if (!RegionExists(uRegionID)) {
        LogInfo("Region selected (%u) no longer exists, a new region needs to be selected...", uRegionID);
        settings.SetUInt("user-selected-region-id", 0);
        return;
    }
    if (uRegionID != 0)
        ResetRegion(uRegionID, bInclude, groups);
}
