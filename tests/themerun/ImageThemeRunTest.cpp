// A theme run of the images: system.getImage and theme.getImage over the theme "imagecheck",
// with file, "THEMEIMG:" and plain names, the warning icon for a text file, and the messages
// of missing files.
#include "tests/themerun/ThemeRunFixture.h"

namespace {

using namespace themerun;

TEST_F(ThemeRun, ScriptGetsImagesFromFilesAndTheTheme)
{
    WriteSettings("imagecheck");
    ASSERT_EQ(RunProgram({}), 0) << Read("stderr");
    const std::string all = Read(kLogPath);
    EXPECT_EQ(ScriptLines(), (std::vector<std::string>{
                                 "system-file 5x3 1 [0]",
                                 "system-themeimg 5x3 1 [0]",   // "one.png", after the last ":"
                                 "system-plain 4x2 2 [100,250]",
                                 "theme-png 5x3 1 [0]",
                                 "theme-gif 4x2 2 [100,250]",
                                 "theme-text 32x32 1 [0]",
                                 "theme-text-again 32x32 1 [0]",
                                 "theme-missing undefined",
                                 "exists true false",
                                 "no-context 0 0 0",
                                 "rect -1 -2 11 7 true 12",
                                 "before-missing",
                             }))
        << all;
    // theme.getImage reports a missing file and goes on; system.getImage ends the script quietly.
    EXPECT_NE(all.find("theme.velasc(20) : Theme file 'absent.png' not found"), std::string::npos) << all;
    EXPECT_EQ(all.find("Error line: system.getImage"), std::string::npos) << all;
    ExpectShutDownAtEnd();
}

}  // namespace
