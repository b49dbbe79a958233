// Images of the loaded theme: the theme's own cache, the warning icon for files that are no
// picture, and the image library's package and theme sources as start-up wires them.
#include <gtest/gtest.h>

#include "images/Image.h"
#include "platform/StandardIcons.h"
#include "script/theme/Theme.h"
#include "tests/images/Fixtures.h"
#include "tests/theme/TestFolder.h"

namespace {

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

class ThemeImageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Two themes whose "one.png" differ in size, and a package folder for "qvimglib" names.
        m_folder.Write("first/theme.velasc", "app.run();");
        m_folder.Write("first/one.png", Text(MakePng(Pattern(3, 2, true))));
        m_folder.Write("first/logos/two.png", Text(MakePng(Pattern(1, 4, false))));
        m_folder.Write("first/anim.gif", Text(MakeGif(4, 4, {0xFF0000, 0x00FF00},
                                                      {{0, 0, 4, 4, std::vector<uint8_t>(16, 0), {}, true, 7},
                                                       {0, 0, 4, 4, std::vector<uint8_t>(16, 1), {}, true, 9}})));
        m_folder.Write("first/notes.txt", "not a picture");
        m_folder.Write("second/theme.velasc", "app.run();");
        m_folder.Write("second/one.png", Text(MakePng(Pattern(5, 6, false))));
        m_folder.Write("second/notes.txt", Text(MakePng(Pattern(2, 2, false))));
        m_folder.Write("qvimglib/pack/logo.png", Text(MakePng(Pattern(7, 1, false))));
        Load("first");
        SetImageSources(ThemeImageSources());
        ClearImageCache();
    }
    void TearDown() override
    {
        SetImageSources({});
        ClearImageCache();
    }

    void Load(const std::string& strTheme) { ASSERT_TRUE(CTheme::Instance().LoadTheme(m_folder / strTheme)); }

    static plat::Size SizeOf(const CImagePtr& pImage) { return pImage ? pImage->GetSize() : plat::Size{-1, -1}; }

    CTestFolder m_folder;
};

TEST_F(ThemeImageTest, ThemeImagesAreDecodedOncePerNameAndLoad)
{
    CTheme& theme = CTheme::Instance();
    CImagePtr pOne, pAgain, pGif;
    ASSERT_TRUE(theme.GetThemeImage("one.png", pOne, false));
    EXPECT_EQ(SizeOf(pOne), (plat::Size{3, 2}));
    ASSERT_TRUE(theme.GetThemeImage("ONE.PNG", pAgain, false));
    EXPECT_EQ(pAgain, pOne);   // the same name without regard to case, not decoded again

    ASSERT_TRUE(theme.GetThemeImage("anim.gif", pGif, true));
    ASSERT_EQ(pGif->GetFrameCount(), 2);
    EXPECT_EQ(pGif->GetFrameTime(0), 70u);
    EXPECT_EQ(pGif->GetFrameTime(1), 90u);

    CImagePtr pMissing;
    EXPECT_FALSE(theme.GetThemeImage("missing.png", pMissing, true));
    EXPECT_EQ(pMissing, nullptr);

    // A new theme empties the cache: the same name now gives the new theme's picture.
    Load("second");
    ASSERT_TRUE(theme.GetThemeImage("one.png", pAgain, false));
    EXPECT_EQ(SizeOf(pAgain), (plat::Size{5, 6}));
    EXPECT_FALSE(theme.GetThemeImage("anim.gif", pGif, true));
}

TEST_F(ThemeImageTest, FilesThatAreNoPictureGiveTheWarningIconOnlyWhenAsked)
{
    CTheme& theme = CTheme::Instance();
    CImagePtr pImage;
    EXPECT_FALSE(theme.GetThemeImage("notes.txt", pImage, false));

    CImagePtr pWarning, pAgain;
    ASSERT_TRUE(theme.GetThemeImage("notes.txt", pWarning, true));
    EXPECT_EQ(SizeOf(pWarning), (plat::Size{plat::kStandardIconSize, plat::kStandardIconSize}));
    ASSERT_EQ(pWarning->GetFrameCount(), 1);
    // A real icon: opaque in the middle of the triangle, transparent in the corners.
    const CImageBitmap& bitmap = pWarning->GetFrame(0)->bitmap;
    EXPECT_TRUE(bitmap.hasAlpha);
    EXPECT_EQ(bitmap.Row(22)[8] >> 24, 255u);
    EXPECT_EQ(bitmap.Row(1)[1] >> 24, 0u);
    EXPECT_NE(bitmap.Row(22)[8], bitmap.Row(15)[16]);   // amber field, dark mark

    // Kept for that name, also for callers that did not ask for the warning.
    ASSERT_TRUE(theme.GetThemeImage("notes.txt", pAgain, false));
    EXPECT_EQ(pAgain, pWarning);

    // Until the next load: the second theme's "notes.txt" is a picture.
    Load("second");
    ASSERT_TRUE(theme.GetThemeImage("notes.txt", pAgain, true));
    EXPECT_EQ(SizeOf(pAgain), (plat::Size{2, 2}));
}

TEST_F(ThemeImageTest, ImageLibraryFindsThemeAndPackageNames)
{
    struct Case {
        std::string strName;
        plat::Size size;   // {-1, -1}: none
    } kCases[] = {
        {"THEMEIMG:logos:one.png", {3, 2}},            // the part after the last ":"
        {"themeimg:one.png", {3, 2}},
        {"THEMEIMG:logos/two.png", {1, 4}},
        {"logos\\Two.png", {1, 4}},                    // no such file here: the theme has it
        {m_folder / "second/one.png", {5, 6}},         // a file comes before the theme
        {"THEMEIMG:notes.txt", {-1, -1}},              // no warning icon for the library
        {"THEMEIMG:missing.png", {-1, -1}},
        {"missing.png", {-1, -1}},
        {m_folder / "qvimglib/pack:logo.png", {7, 1}},
        {m_folder / "qvimglib/pack:../../first/one.png", {-1, -1}},   // stays in its package
        {m_folder / "qvimglib/nothing:logo.png", {-1, -1}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.strName);
        EXPECT_EQ(SizeOf(GetImage(c.strName)), c.size);
    }
    // The library's cache does not keep the theme's images: they follow the theme.
    Load("second");
    EXPECT_EQ(SizeOf(GetImage("THEMEIMG:logos:one.png")), (plat::Size{5, 6}));
    EXPECT_EQ(SizeOf(GetImage("logos/two.png")), (plat::Size{-1, -1}));
}

}  // namespace
