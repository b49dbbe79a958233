// Image and DrawContext as the theme script sees them, system.getImage and theme.getImage, and
// the colour texts that drawing reads.
#include <cstring>
#include <vector>

#include "script/DrawContextObject.h"
#include "script/GeometryObjects.h"
#include "script/ImageObject.h"
#include "script/ParseColour.h"
#include "script/SystemObject.h"
#include "script/ThemeObject.h"
#include "script/theme/Theme.h"
#include "tests/images/Fixtures.h"
#include "tests/script/ScriptTestSupport.h"

namespace {

TEST(ParseColourTest, ReadsEveryForm)
{
    constexpr uint32_t kDefault = 0x12345678;
    struct Case {
        const char* pszText;
        uint32_t uColour;
    } kCases[] = {
        {"", kDefault},
        {"red", 0x0000FF},
        {"NavajoWhite", 0xADDEFF},
        {"grey", 0x808080},
        {"darkslategray", 0x4F4F2F},
        {"transparent", kDefault},
        {"highlight-background", kDefault},   // a scheme key: no scheme here
        {"#ff8000", 0x0080FF},
        {"#FF800040", 0x400080FF},
        {"#abc", 0x0C0B0A},                   // one digit a component, not doubled
        {"#abcd", 0x0D0C0B0A},
        {"#1234567890ab", 0x78563412},        // two digits a component, four at most
        {"#zz00ff", 0xFF0000},                // not a digit: 0
        {"#f", 0},
        {"#", 0},
        {"80ff", 0x80FF},                     // one hexadecimal number, red lowest
        {"0", 0},
        {"255, 128 ,0", 0x0080FF},
        {"1,2,3,4", 0x04030201},
        {"256,-1,300", 0x2CFF00},             // low 8 bits
        {"10,20", 0x140A},
        {"ff,0,0", 0},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pszText);
        EXPECT_EQ(ParseColour(c.pszText, kDefault), c.uColour);
    }
}

std::string Text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::string PngText(int width, int height) { return Text(MakePng(Pattern(width, height, false))); }

// A GIF of 2 x 2 pixels with two frames shown for 50 and 120 ms.
std::string TwoFrameGif()
{
    return Text(MakeGif(2, 2, {0xFF0000, 0x0000FF},
                        {{0, 0, 2, 2, std::vector<uint8_t>(4, 0), {}, true, 5},
                         {0, 0, 2, 2, std::vector<uint8_t>(4, 1), {}, true, 12}}));
}

class ImageObjectsTest : public ScriptTest {
protected:
    void SetUp() override
    {
        ScriptTest::SetUp();
        ASSERT_TRUE(DefineSystemObject(m_engine) && DefineThemeObject(m_engine) &&
                    DefineGeometryClasses(m_engine) && DefineImageClass(m_engine) &&
                    DefineDrawContextClass(m_engine));
        m_strFolder = WriteFiles({{"theme.velasc", ""},
                                  {"wide.png", PngText(6, 3)},
                                  {"anim.gif", TwoFrameGif()},
                                  {"readme.txt", "no picture"},
                                  {"other.txt", "no picture either"}});
        ASSERT_TRUE(CTheme::Instance().LoadTheme(m_strFolder));
        SetImageSources(ThemeImageSources());
        ClearImageCache();
    }
    void TearDown() override
    {
        SetImageSources({});
        ClearImageCache();
        ScriptTest::TearDown();
    }

    bool Run(const std::string& strScript)
    {
        m_engine.m_vecReports.clear();
        EXPECT_TRUE(m_engine.RunText("delete globalThis.result;", "reset.js"));
        return m_engine.RunText(strScript, "case.js");
    }

    std::string m_strFolder;
};

TEST_F(ImageObjectsTest, ImagesFromSystemAndTheme)
{
    const std::string strFile = m_strFolder + "wide.png";
    struct Case {
        std::string strScript;
        bool bRuns;
        const char* pszResult;   // "result" when it runs
        const char* pszReport;   // the only report, or "" for none
    } kCases[] = {
        {"var i = theme.getImage('wide.png'); var s = i.getSize();\n"
         "result = [s.cx, s.cy, i.getFrameCount(), i.getFrameTime(0), i instanceof Image].join();",
         true, "6,3,1,0,true", ""},
        {"var i = theme.getImage('anim.gif');\n"
         "result = [i.getFrameCount(), i.getFrameTime(0), i.getFrameTime(1), i.getFrameTime(2),\n"
         "          i.getFrameTime(-1)].join();",
         true, "2,50,120,0,0", ""},
        {"var i = theme.getImage('readme.txt'); var s = i.getSize(); result = [s.cx, s.cy].join();",
         true, "32,32", ""},
        {"result = 'went on'; var i = theme.getImage('missing.png'); result = typeof i;",
         true, "undefined", "Theme file 'missing.png' not found"},
        {"result = theme.getImage();", false, nullptr, "getImage - Incorrect number of arguments (needed: 1, got: 0)"},
        {"var s = system.getImage('" + strFile + "').getSize(); result = [s.cx, s.cy].join();", true, "6,3", ""},
        {"var s = system.getImage('THEMEIMG:x:anim.gif').getSize(); result = [s.cx, s.cy].join();", true, "2,2", ""},
        {"var s = system.getImage('" + strFile + "', 0, 0).getSize(); result = s.cx;", true, "6", ""},
        // Ends the script without a message: two arguments, or nothing to load.
        {"result = 'before'; result = system.getImage('" + strFile + "', 0);", false, nullptr, ""},
        {"result = 'before'; try { system.getImage('missing.png'); } catch (e) { result = 'caught'; }",
         false, nullptr, ""},
        {"result = system.getImage('other.txt');", false, nullptr, ""},   // no warning icon here
        {"result = new Image();", false, nullptr, "Image objects cannot be created in script"},
        {"result = theme.getImage('wide.png').getSize(1);", false, nullptr,
         "getSize - Incorrect number of arguments (needed: 0, got: 1)"},
        {"result = theme.getImage('wide.png').getFrameTime();", false, nullptr,
         "getFrameTime - Incorrect number of arguments (needed: 1, got: 0)"},
        // draw's argument forms.
        {"result = theme.getImage('wide.png').draw(0, new DrawContext());", false, nullptr,
         "Incorrect number of arguments given"},
        {"result = theme.getImage('wide.png').draw(0, new DrawContext(), 1, 2, 3);", false, nullptr,
         "Incorrect number of arguments given"},
        {"result = theme.getImage('wide.png').draw(0, new Rect(0, 0, 1, 1), 1, 2);", false, nullptr,
         "Object is not expected type 'DrawContext', you gave 'Rect'"},
        {"result = theme.getImage('wide.png').draw(0, new DrawContext(), new Point());", false, nullptr,
         "Expected parameter type Rect"},
        {"var i = theme.getImage('wide.png'), dc = new DrawContext();\n"
         "i.draw(0, dc, 1, 2); i.draw(0, dc, new Rect(0, 0, 4, 4)); i.draw(9, dc, 0, 0, 8, 8); result = 'drawn';",
         true, "drawn", ""},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.strScript);
        EXPECT_EQ(Run(c.strScript), c.bRuns);
        const std::string strReports = m_engine.AllReports();
        if (*c.pszReport) {
            EXPECT_NE(strReports.find(c.pszReport), std::string::npos) << strReports;
        } else {
            EXPECT_EQ(strReports, "");
        }
        if (c.pszResult) {
            EXPECT_EQ(Global("result"), c.pszResult);
        }
    }
}

TEST_F(ImageObjectsTest, TheWarningIconStaysForItsNameUntilTheNextThemeLoad)
{
    ASSERT_TRUE(Run("var first = theme.getImage('readme.txt');"));
    WriteFiles({{"readme.txt", PngText(4, 5)}});
    ASSERT_TRUE(Run("var s = theme.getImage('readme.txt').getSize(); result = [s.cx, s.cy].join();"));
    EXPECT_EQ(Global("result"), "32,32");
    ASSERT_TRUE(CTheme::Instance().LoadTheme(m_strFolder));
    ASSERT_TRUE(Run("var s = theme.getImage('readme.txt').getSize(); result = [s.cx, s.cy].join();"));
    EXPECT_EQ(Global("result"), "4,5");
}

// Drawing through a context that native code hands to script, and what is left once it is gone.
TEST_F(ImageObjectsTest, DrawContextDrawsThroughItsContextWhileItLasts)
{
    KRDC_Startup("...", 0, 0);
    std::vector<uint8_t> pixels(60 * 20 * 4);
    plat::Surface target{pixels.data(), 60, 20, 60 * 4};
    auto pixel = [&](int x, int y) {
        uint32_t value;
        std::memcpy(&value, &pixels[(static_cast<size_t>(y) * 60 + x) * 4], 4);
        return value;   // bytes blue, green, red, alpha
    };
    CDrawDC* pDC = KRDC_CreateDC(nullptr, &target, false);
    {
        CScriptEngine::CEnter enter(m_engine);
        JSContext* cx = m_engine.GetContext();
        CScriptDrawContext context(cx, pDC);
        JS::RootedValue value(cx, JS::ObjectValue(*context.GetObject()));
        ASSERT_TRUE(JS_SetProperty(cx, m_engine.GetGlobalObject(), "dc", value));
        ASSERT_TRUE(Run("dc.fillRect(new Rect(0, 0, 10, 10), 'red');\n"
                        "dc.fillRect(10, 0, 20, 10, '0,0,255');\n"
                        "dc.fillRect(new Point(), 'red');\n"
                        "theme.getImage('wide.png').draw(0, dc, 20, 0);\n"
                        "theme.getImage('wide.png').draw(0, dc, 30, 0, 40, 10);\n"
                        "var selected = dc.selectFont('DejaVu Sans', 10, true, false, false);\n"
                        "var height = dc.getCurrentFontHeight(), size = dc.measureText('Wide text');\n"
                        "dc.drawText(0, 10, 'Hi', '#00ff00');\n"
                        "result = [selected, height > 8, size.cy == height, size.cx > 20].join();"))
            << m_engine.AllReports();
        EXPECT_EQ(Global("result"), "true,true,true,true");
        EXPECT_NE(m_engine.AllReports().find("Object is not expected type 'Rect', you gave 'Point'"),
                  std::string::npos);
    }
    // The context is gone for the script: the kept object draws and measures nothing.
    ASSERT_TRUE(Run("dc.fillRect(0, 10, 60, 20, 'white'); var s = dc.measureText('x');\n"
                    "result = [dc.getCurrentFontHeight(), s.cx, s.cy, dc.selectFont('DejaVu Sans', 10, false, false, false)].join();"))
        << m_engine.AllReports();
    EXPECT_EQ(Global("result"), "0,0,0,false");
    KRDC_DestroyDC(pDC);
    KRDC_Shutdown();

    EXPECT_EQ(pixel(5, 5), 0xFFFF0000u);    // red
    EXPECT_EQ(pixel(15, 5), 0xFF0000FFu);   // blue from "0,0,255"
    EXPECT_EQ(pixel(22, 1) >> 24, 255u);    // the picture at its own size: 6 x 3
    EXPECT_EQ(pixel(22, 4), 0u);
    EXPECT_EQ(pixel(38, 8) >> 24, 255u);    // stretched to 10 x 10
    EXPECT_EQ(pixel(45, 5), 0u);
    int text = 0;
    for (int y = 10; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            text += (pixel(x, y) >> 8 & 0xFF) > 0;   // green text, nothing white over it
    EXPECT_GT(text, 5);
}

TEST_F(ImageObjectsTest, ADrawContextMadeByScriptHasNoContext)
{
    ASSERT_TRUE(Run("var dc = new DrawContext(); var s = dc.measureText('text'); dc.drawText(0, 0, 'x', 'red');\n"
                    "dc.fillRect(0, 0, 5, 5, 'red');\n"
                    "result = [s.cx, s.cy, dc.getCurrentFontHeight(), dc.selectFont('DejaVu Sans', 9, false, false, false)].join();"));
    EXPECT_EQ(Global("result"), "0,0,0,false");
    EXPECT_EQ(m_engine.AllReports(), "");
    struct Case {
        const char* pszScript;
        const char* pszReport;
    } kCases[] = {
        {"new DrawContext().fillRect(new Rect(0, 0, 1, 1));", "fillRect - Incorrect number of arguments (needed: 5, got: 1)"},
        {"new DrawContext().fillRect(0, 0, 1, 'red');", "fillRect - Incorrect number of arguments (needed: 5, got: 4)"},
        {"new DrawContext().drawText(0, 0, 'x');", "drawText - Incorrect number of arguments (needed: 4, got: 3)"},
        {"new DrawContext().selectFont('a', 1, true, true);", "selectFont - Incorrect number of arguments (needed: 5, got: 4)"},
        {"new DrawContext().getCurrentFontHeight(1);", "getCurrentFontHeight - Incorrect number of arguments (needed: 0, got: 1)"},
        {"new DrawContext().measureText();", "measureText - Incorrect number of arguments (needed: 1, got: 0)"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pszScript);
        EXPECT_FALSE(Run(c.pszScript));
        EXPECT_NE(m_engine.AllReports().find(c.pszReport), std::string::npos) << m_engine.AllReports();
    }
}

}  // namespace
