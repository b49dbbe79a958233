// qvl-theme-pack: a theme folder packed into one archive loads as the same theme.
#include <gtest/gtest.h>

#include <cstdlib>

#include "script/theme/Theme.h"
#include "script/theme/ThemeArchiveWriter.h"
#include "tests/theme/TestFolder.h"

TEST(ThemePack, PackedFolderLoadsAsTheSameTheme)
{
    CTestFolder folder;
    folder.Write("src/theme.velasc", "#include \"lib/a.js\"\n");
    folder.Write("src/lib/a.js", "var a = 1;");
    folder.Write("src/images/odd.bin", std::string("\0\1\2\3\4\5\6\7\10\11\12", 11));
    const std::string strTool = std::string(QVL_APP_DIR) + "/qvl-theme-pack";
    // The output folder does not exist.
    EXPECT_NE(std::system((strTool + " " + (folder / "src") + " " + (folder / "out/mine.qvltheme") + " >/dev/null 2>&1").c_str()), 0);
    ASSERT_EQ(std::system((strTool + " " + (folder / "src") + " " + (folder / "mine.qvltheme") + " >/dev/null").c_str()), 0);
    EXPECT_NE(folder.Read("mine.qvltheme").find("PK"), std::string::npos);
    EXPECT_EQ(folder.Read("mine.qvltheme").find("var a"), std::string::npos);   // enciphered

    CTheme theme;
    ASSERT_TRUE(theme.LoadTheme(folder / "mine"));
    for (const char* name : {"theme.velasc", "lib/a.js", "images/odd.bin"}) {
        std::string strText;
        ASSERT_TRUE(theme.ReadText(name, strText)) << name;
        EXPECT_EQ(strText, folder.Read(std::string("src/") + name)) << name;
    }
}

TEST(ThemePack, AFolderWithoutAMainScriptIsRefused)
{
    CTestFolder folder;
    folder.Write("src/readme.txt", "no script here");
    size_t nFiles = 0;
    std::string strError;
    EXPECT_FALSE(PackThemeFolder(folder / "src", folder / "x.qvltheme", nFiles, strError));
    EXPECT_NE(strError.find("theme.velasc"), std::string::npos);
    EXPECT_FALSE(plat::FileExists(folder / "x.qvltheme"));
}
