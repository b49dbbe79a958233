// The program's absorb target applies a region file that an update installed while the program
// runs: the user's line-up becomes the region's channels from the new file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "listings/ChannelGroups.h"
#include "platform/Process.h"
#include "script/theme/Theme.h"
#include "update/AbsorbIntoDatabase.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint32_t> MyChannels()
{
    std::vector<uint32_t> ids;
    if (const auto group = CChannelGroups::Instance().GetGroup("My Channels"))
        for (const CChannelAssignmentPtr& assignment : *group)
            ids.push_back(assignment->GetChannelID());
    return ids;
}

TEST(DatabaseAbsorbTarget, ANewRegionFileChangesTheLineUp)
{
    const fs::path theme = fs::temp_directory_path() / ("qvl-region-" + std::to_string(plat::GetCurrentProcessId()));
    fs::remove_all(theme);
    fs::create_directories(theme);
    std::ofstream(theme / "theme.velasc") << "app.quit();\n";
    const auto writeRegions = [&](const std::string& channels) {
        std::ofstream(theme / "region.dat", std::ios::trunc)
            << "<regions><region id=\"7\" name=\"Harbour\"><channels>" << channels << "</channels></region></regions>";
    };
    writeRegions("<channel id=\"1\" name=\"One\"/><channel id=\"2\" name=\"Two\"/>");
    ASSERT_TRUE(CTheme::Instance().LoadTheme(theme.string()));

    CDatabaseAbsorbTarget target;
    target.ReapplyRegion(7, false);
    EXPECT_EQ(MyChannels(), (std::vector<uint32_t>{1, 2}));

    // The update replaces the file; applying the region again reads the new one.
    writeRegions("<channel id=\"2\" name=\"Two\"/><channel id=\"5\" name=\"Five\"/><channel id=\"9\" name=\"Nine\"/>");
    target.ReapplyRegion(7, false);
    EXPECT_EQ(MyChannels(), (std::vector<uint32_t>{2, 5, 9}));

    // A region the file does not have leaves the line-up as it is.
    target.ReapplyRegion(8, false);
    EXPECT_EQ(MyChannels(), (std::vector<uint32_t>{2, 5, 9}));
    fs::remove_all(theme);
}

}  // namespace
