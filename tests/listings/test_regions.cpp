// Regions read through the theme, the region reset into "My Channels", the start-up region
// check and the channel groups.
#include <gtest/gtest.h>

#include "foundation/FolderPaths.h"
#include "foundation/SettingsStore.h"
#include "listings/ChannelManager.h"
#include "listings/Regions.h"
#include "tests/listings/ListingsFileBytes.h"
#include "tests/theme/TestFolder.h"

namespace {

const char kRegionFile[] = R"(<?xml version="1.0" encoding="utf-8"?>
<Regions>
  <region id="1" name="London">
    <channels>
      <channel id="7" name="Seven London" />
      <Channel id="0" name="Zero" />
      <channel name="No Id" />
      <channel id="8" name="Eight" />
    </channels>
  </region>
  <region id="2" name="North"><channels><channel id="9" name="Nine" /></channels></region>
  <region id="3" name="Greater London" alt-id="1"><channels><channel id="99" name="ignored" /></channels></region>
  <other id="4" name="Not a region" />
  <include>
    <channels>
      <channel id="20" name="Extra" />
      <channel id="x" name="Bad Extra" />
    </channels>
  </include>
</Regions>
)";

// A theme folder holding the region file, the channels folders, and the process's channel
// manager pointed at them.
class RegionsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_folder.Write("theme/theme.velasc", "");
        m_folder.Write("theme/region.dat", kRegionFile);
        CListingsFileBytes channels;
        channels.U32(2).U32(5);
        channels.U32(7).Text("Seven").Text("<i><category>News</category></i>");
        channels.U32(30).Text("Thirty").Text("");
        m_folder.Write("channels/channels", channels.Get());
        m_folder.Write("paths.dat", "<paths>"
                                    "<folder name=\"channels-folder\" path=\"" + m_folder / "channels" + "\" type=\"1\" />"
                                    "<folder name=\"channel-images-folder\" path=\"" + m_folder / "images" + "\" type=\"1\" />"
                                    "<folder name=\"quilvo-folder\" path=\"" + m_folder / "old" + "\" type=\"1\" />"
                                    "</paths>");
        ASSERT_TRUE(m_paths.Load(m_folder / "paths.dat"));
        CChannelManager::SetFolderPaths(&m_paths);
        CChannelManager::Drop();
        ASSERT_TRUE(m_theme.LoadTheme(m_folder / "theme"));
    }
    void TearDown() override
    {
        CChannelManager::SetFolderPaths(nullptr);
        CChannelManager::Drop();
    }

    std::vector<uint32_t> LineUp(const CChannelGroups& groups) const
    {
        CChannelAssignmentList list;
        groups.FillAssignmentList(list);
        std::vector<uint32_t> ids;
        for (size_t i = 0; i < list.GetCount(); ++i)
            ids.push_back(list.GetAt(i)->GetChannelID());
        return ids;
    }

    CTestFolder m_folder;
    CFolderPaths m_paths;
    CTheme m_theme;
};

std::vector<uint32_t> ChannelIDs(const std::vector<CRegions::Channel>& channels)
{
    std::vector<uint32_t> ids;
    for (const CRegions::Channel& channel : channels)
        ids.push_back(channel.uID);
    return ids;
}

}  // namespace

TEST_F(RegionsTest, RegionsAliasesAndAdditionalChannels)
{
    CRegions regions(m_theme);
    ASSERT_TRUE(regions.LoadRegionXML());
    ASSERT_EQ(regions.GetRegions().size(), 2u);
    EXPECT_EQ(regions.GetRegions()[0].strName, "London");

    struct Case {
        uint32_t uRegion;
        bool bInclude;
        bool bExists;
        std::vector<uint32_t> channels;
    };
    const Case cases[] = {
        {1, false, true, {7, 8}},       // channels without an id, or with id 0, are skipped
        {1, true, true, {7, 8, 20}},    // the additional channels follow
        {3, false, true, {7, 8}},       // an alias uses the region it names
        {2, true, true, {9, 20}},
        {4, true, false, {}},
        {0, false, false, {}},
    };
    for (const Case& c : cases) {
        std::vector<CRegions::Channel> channels;
        EXPECT_EQ(regions.RegionExists(c.uRegion), c.bExists) << c.uRegion;
        EXPECT_EQ(regions.GetRegionChannels(c.uRegion, c.bInclude, channels), c.bExists) << c.uRegion;
        EXPECT_EQ(ChannelIDs(channels), c.channels) << c.uRegion << " " << c.bInclude;
    }
    ASSERT_NE(regions.FindRegion(3), nullptr);
    EXPECT_EQ(regions.FindRegion(3)->strName, "London");
}

TEST_F(RegionsTest, MissingOrInvalidRegionFiles)
{
    const char* const files[] = {"<regions><region id=", "<places><region id=\"1\" name=\"x\" /></places>"};
    for (const char* text : files) {
        m_folder.Write("theme/region.dat", text);
        CRegions regions(m_theme);
        EXPECT_FALSE(regions.LoadRegionXML()) << text;
        EXPECT_FALSE(regions.RegionExists(1)) << text;
    }
    m_folder.Write("theme/region.dat", "<regions />");
    CRegions empty(m_theme);
    EXPECT_TRUE(empty.LoadRegionXML());
    EXPECT_TRUE(empty.GetRegions().empty());

    std::filesystem::remove(m_folder / "theme/region.dat");
    CRegions missing(m_theme);
    EXPECT_FALSE(missing.LoadRegionXML());
}

TEST_F(RegionsTest, ResetMakesTheRegionTheLineUp)
{
    CChannelGroups groups;
    groups.AddAssignment("Favourites", std::make_shared<const CChannelAssignment>(5, 30, "30", "Mine"));
    CRegions regions(m_theme);
    ASSERT_TRUE(regions.LoadRegionXML());
    regions.ResetRegion(2, true, groups);
    regions.ResetRegion(1, true, groups);   // twice: the group is replaced, not added to
    regions.ResetRegion(4, true, groups);   // no such region: nothing changes

    const auto myChannels = groups.GetGroup("MY CHANNELS");
    ASSERT_TRUE(myChannels.has_value());
    ASSERT_EQ(myChannels->size(), 3u);
    EXPECT_EQ((*myChannels)[0]->GetEPG(), "7");
    EXPECT_EQ((*myChannels)[0]->GetUniqueAssignedID(), 0u);
    EXPECT_EQ(LineUp(groups), (std::vector<uint32_t>{30, 7, 8, 20}));
    EXPECT_TRUE(groups.HasChannel(20));
    EXPECT_FALSE(groups.HasChannel(9));

    // The channel manager was read again and holds the region's channels besides the file's.
    const auto pManager = CChannelManager::Get();
    EXPECT_EQ(pManager->GetChannel(7)->GetName(), "Seven London");
    EXPECT_EQ(pManager->GetChannel(7)->GetShortName(), "Seven London");
    EXPECT_EQ(pManager->GetChannel(7)->GetCategory(), "Entertainment");
    EXPECT_EQ(pManager->GetChannel(30)->GetName(), "Thirty");
    EXPECT_EQ(pManager->GetChannel(9), nullptr);   // the first reset's channels went with the old manager

    EXPECT_EQ(GetDisplayName(*(*myChannels)[1]), "Eight");
    EXPECT_EQ(GetDisplayName(CChannelAssignment(0, 30, "30", "Mine")), "Mine");
    EXPECT_EQ(GetDisplayName(CChannelAssignment(0, 12345, "", "")), "");
}

TEST_F(RegionsTest, StartUpClearsAVanishedRegionAndAppliesAKnownOne)
{
    CSettingsStore settings;
    CChannelGroups groups;
    groups.AddAssignment(kMyChannelsGroup, std::make_shared<const CChannelAssignment>(0, 30, "30", ""));

    settings.SetUInt("user-selected-region-id", 77);
    CRegions(m_theme).CheckSelectedRegion(settings, groups);
    uint32_t uRegion = 1;
    settings.GetUInt("user-selected-region-id", uRegion, 1);
    EXPECT_EQ(uRegion, 0u);
    EXPECT_EQ(LineUp(groups), (std::vector<uint32_t>{30}));   // the line-up stays as it was

    settings.SetUInt("user-selected-region-id", 3);
    settings.SetBool("user-selected-include-digital", false);
    CRegions(m_theme).CheckSelectedRegion(settings, groups);
    settings.GetUInt("user-selected-region-id", uRegion, 0);
    EXPECT_EQ(uRegion, 3u);
    EXPECT_EQ(LineUp(groups), (std::vector<uint32_t>{7, 8}));
}

TEST_F(RegionsTest, TheShippedDefaultThemeCarriesRegions)
{
    CTheme theme;
    ASSERT_TRUE(theme.LoadTheme(std::string(QVL_APP_DIR) + "/themes/default"));
    CRegions regions(theme);
    ASSERT_TRUE(regions.LoadRegionXML());
    ASSERT_FALSE(regions.GetRegions().empty());
    for (const CRegions::Region& region : regions.GetRegions()) {
        std::vector<CRegions::Channel> channels;
        EXPECT_TRUE(regions.GetRegionChannels(region.uID, true, channels));
        EXPECT_FALSE(channels.empty()) << region.strName;
    }
}

TEST(ChannelGroups, LookupsByUniqueIdAndTheFlatList)
{
    CChannelGroups groups;
    const auto pA = std::make_shared<const CChannelAssignment>(11, 1, "1", "");
    const auto pB = std::make_shared<const CChannelAssignment>(12, 2, "2", "");
    const auto pC = std::make_shared<const CChannelAssignment>(13, 3, "3", "");
    groups.AddAssignment("First", pA);
    groups.AddAssignment("Second", pB);
    EXPECT_EQ(groups.GetChannelAssignment(12), pB);   // indexes the groups
    groups.AddAssignment("first", pC);                  // same group; the index is made again
    EXPECT_EQ(groups.GetChannelAssignment(13), pC);
    EXPECT_EQ(groups.GetChannelAssignment(14), nullptr);
    EXPECT_EQ(groups.GetGroupFromUniqueChannelID(13), "First");
    EXPECT_EQ(groups.GetGroupFromUniqueChannelID(14), std::nullopt);
    EXPECT_EQ(groups.GetGroup("Third"), std::nullopt);

    CChannelAssignmentList list;
    groups.FillAssignmentList(list);
    ASSERT_EQ(list.GetCount(), 3u);
    EXPECT_EQ(list.GetAt(0), pA);
    EXPECT_EQ(list.GetAt(1), pC);
    EXPECT_EQ(list.GetAt(2), pB);
    EXPECT_EQ(list.GetAt(3), nullptr);
}
