// A theme run of the images: system.getImage and theme.getImage over the theme "imagecheck",
// with file, "THEMEIMG:" and plain names, the warning icon for a text file, and the messages
// of missing files.
#include "tests/themerun/ThemeRunFixture.h"

namespace {

using namespace themerun;

// The theme as a folder, and packed by qvl-theme-pack into one enciphered archive, which the
// program finds by its name and reads its scripts and images from.
class ImageThemeRun : public ThemeRun, public ::testing::WithParamInterface<bool> {};

TEST_P(ImageThemeRun, ScriptGetsImagesFromFilesAndTheTheme)
{
    const std::string packed = Path("packed-themes/");
    if (GetParam()) {
        fs::create_directories(packed);
        const std::string command = std::string("'" QVL_APP_DIR "/qvl-theme-pack' '") + ThemesFolder() +
                                    "imagecheck' '" + packed + "imagecheck.qvltheme' > /dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }
    fs::create_directories(Path("images"));
    fs::copy_file(ThemesFolder() + "imagecheck/one.png", Path("images/one.png"));
    Write("home/.local/share/QuilvoLite/settings/user-paths.dat",
          "<paths><folder name=\"themes-folder\" path=\"" + (GetParam() ? packed : ThemesFolder()) +
              "\" type=\"1\" /><folder name=\"images-folder\" path=\"" + Path("images") + "\" type=\"1\" /></paths>");
    WriteSettings("imagecheck");
    ASSERT_EQ(RunProgram({}), 0) << Read("stderr");
    const std::string loading = "Loading theme '" + (GetParam() ? packed : ThemesFolder()) + "imagecheck'";
    EXPECT_NE(Read(kLogPath).find(loading), std::string::npos) << Read(kLogPath);
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

INSTANTIATE_TEST_SUITE_P(FolderAndArchive, ImageThemeRun, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Archive" : "Folder"; });

}  // namespace
