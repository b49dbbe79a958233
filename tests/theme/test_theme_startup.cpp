// Start-up with the theme and the region check: a missing theme stops start-up with the fatal
// error, a region the file no longer has is cleared, and a known one becomes the line-up.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "app/GuideApplication.h"
#include "foundation/Log.h"
#include "listings/ChannelGroups.h"
#include "platform/MessageBox.h"
#include "platform/MessageQueue.h"
#include "script/ScriptEngine.h"
#include "tests/theme/TestFolder.h"

namespace {

// The application starts the script library; it ends once, after the last test.
class ScriptLibraryEnvironment : public ::testing::Environment {
public:
    void TearDown() override { ShutDownScriptLibrary(); }
};
::testing::Environment* const g_pScriptLibrary = ::testing::AddGlobalTestEnvironment(new ScriptLibraryEnvironment);

class StartUpTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("HOME", (m_folder / "home").c_str(), 1);
        unsetenv("XDG_DATA_HOME");
        setenv("XDG_RUNTIME_DIR", (m_folder / "run").c_str(), 1);
        setenv("QVL_PLATFORM", "headless", 1);
        std::filesystem::create_directories(m_folder / "run");
        std::filesystem::create_directories(m_folder / "app");
        std::filesystem::copy_file(QVL_APP_DIR "/paths.dat", m_folder / "app/paths.dat");
        plat::TakeShownMessageBoxes();
    }
    void TearDown() override { InitLogging("", "", "", 0, false); }

    // Runs start-up with the setting; the loop ends at once. Answers what Initialise did.
    bool StartWithRegion(uint32_t uRegion, uint32_t& uRegionAfter)
    {
        CGuideApplication application(m_folder / "app");
        application.GetSettings().SetUInt("user-selected-region-id", uRegion);
        plat::PostQuitMessage(0);
        const bool bStarted = application.Initialise();
        application.GetSettings().GetUInt("user-selected-region-id", uRegionAfter, 12345);
        plat::MSG msg;
        while (plat::PeekMessage(msg, 0, 0, 0, plat::PM_REMOVE)) {
        }
        return bStarted;
    }

    CTestFolder m_folder;
};

}  // namespace

TEST_F(StartUpTest, WithoutATheme)
{
    uint32_t uRegion = 0;
    EXPECT_FALSE(StartWithRegion(1, uRegion));
    const auto boxes = plat::TakeShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Quilvo Lite encountered the following fatal error:\n\n'Theme does not exist'");
    EXPECT_EQ(uRegion, 1u);   // start-up stopped before the region check
}

TEST_F(StartUpTest, TheShippedThemeAndTheRegionCheck)
{
    std::filesystem::copy(QVL_APP_DIR "/themes", m_folder / "app/themes", std::filesystem::copy_options::recursive);
    uint32_t uRegion = 0;
    EXPECT_TRUE(StartWithRegion(77, uRegion));
    EXPECT_EQ(uRegion, 0u);

    EXPECT_TRUE(StartWithRegion(3, uRegion));   // an alias of the first region
    EXPECT_EQ(uRegion, 3u);
    const auto myChannels = CChannelGroups::Instance().GetGroup(kMyChannelsGroup);
    ASSERT_TRUE(myChannels.has_value());
    std::vector<uint32_t> ids;
    for (const CChannelAssignmentPtr& pAssignment : *myChannels)
        ids.push_back(pAssignment->GetChannelID());
    EXPECT_EQ(ids, (std::vector<uint32_t>{1, 2, 3, 10, 11}));
    for (const auto& box : plat::TakeShownMessageBoxes())
        EXPECT_EQ(box.text.find("fatal error"), std::string::npos) << box.text;
}
