// The drawing library through its exported interface: colours and alpha, the buffer and its
// flush, clipping, shapes on exact pixels, images, fonts, and text fitting, wrapping and the
// ellipsis.
#include "drawing/DrawDC.h"
#include "platform/Library.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uint32_t kRed = 0x0000FF;     // red in the lowest byte; alpha byte 0 = opaque
constexpr uint32_t kBlue = 0xFF0000;
constexpr uint32_t kWhite = 0xFFFFFF;

struct Pixel {
    int b, g, r, a;
    bool operator==(const Pixel&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Pixel& p)
{
    return os << "(b" << p.b << " g" << p.g << " r" << p.r << " a" << p.a << ")";
}

// A target surface that owns its pixels.
struct Canvas {
    std::vector<uint8_t> bytes;
    plat::Surface surface;

    Canvas(int width, int height, uint32_t fill = 0, int dpi = plat::kScreenDpi)
        : bytes(static_cast<size_t>(width) * height * 4)
    {
        surface = {bytes.data(), width, height, width * 4, dpi, dpi};
        for (size_t i = 0; i < bytes.size(); i += 4)
            std::memcpy(&bytes[i], &fill, 4);
    }
    Pixel At(int x, int y) const
    {
        const uint8_t* p = &bytes[(static_cast<size_t>(y) * surface.width + x) * 4];
        return {p[0], p[1], p[2], p[3]};
    }
    // Pixels of the rectangle whose alpha is neither 0 nor 255.
    int PartlyCovered(const plat::Rect& r) const
    {
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                n += At(x, y).a != 0 && At(x, y).a != 255;
        return n;
    }
    int Covered(const plat::Rect& r) const
    {
        int n = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                n += At(x, y).a != 0;
        return n;
    }
};

// Draws into a canvas through a drawing context that is destroyed (flushed) at the end.
template <class Paint>
void Draw(Canvas& canvas, Paint paint, const plat::Rect* bounds = nullptr)
{
    CDrawDC* dc = KRDC_CreateDC(bounds, &canvas.surface, false);
    ASSERT_NE(dc, nullptr);
    paint(*dc);
    KRDC_DestroyDC(dc);
}

class Drawing : public ::testing::Test {
protected:
    void SetUp() override
    {
        KRDC_Startup("...", 0, 0);
        KRDC_SetFontAddition(0);
    }
    void TearDown() override { KRDC_Shutdown(); }
};

const Pixel kOpaqueRed{0, 0, 255, 255};
const Pixel kClear{0, 0, 0, 0};

TEST_F(Drawing, ExportsTheSixFunctionsByName)
{
    void* library = plat::LoadLibrary(std::string(QVL_APP_DIR) + "/libkrdcagg.so");
    ASSERT_NE(library, nullptr) << plat::LastLibraryError();
    for (const char* name : {"KRDC_CreateDC", "KRDC_DestroyDC", "KRDC_Startup", "KRDC_Shutdown",
                             "KRDC_SetFontAddition", "KRDC_EnableAlphaDrawing"})
        EXPECT_NE(plat::GetProcAddress(library, name), nullptr) << name;
    plat::FreeLibrary(library);
}

TEST_F(Drawing, ColourAlphaByteOrOperationAlpha)
{
    struct Case {
        uint32_t colour;
        int alpha;
        Pixel expected;   // premultiplied, over the cleared (transparent black) buffer
    } cases[] = {
        {kRed, 255, kOpaqueRed},                  // scheme colour, alpha byte 0: opaque
        {kRed, 0, kOpaqueRed},                    // an alpha argument of 0 means 255
        {0x800000FF, 255, {0, 0, 128, 128}},      // its own alpha even through FillRect
        {kRed, 64, {0, 0, 64, 64}},               // alpha byte 0 takes the operation's alpha
        {0x800000FF, 64, {0, 0, 128, 128}},       // an own alpha wins over the argument
    };
    for (const Case& c : cases) {
        Canvas canvas(4, 4);
        Draw(canvas, [&](CDrawDC& dc) { dc.FillRectAlpha({0, 0, 4, 4}, c.colour, c.alpha); });
        EXPECT_EQ(canvas.At(2, 2), c.expected) << std::hex << c.colour << " alpha " << c.alpha;
    }
}

TEST_F(Drawing, FlushCopiesOnlyTheBoundsAndClearsThem)
{
    const uint32_t background = 0x44332211;
    Canvas canvas(40, 30, background);
    const plat::Rect bounds{10, 5, 20, 15};
    Draw(canvas, [](CDrawDC& dc) {
        EXPECT_EQ(dc.GetBounds(), (plat::Rect{10, 5, 20, 15}));
        dc.FillRect({0, 0, 15, 40}, kRed);   // reaches beyond the bounds on three sides
    }, &bounds);
    const Pixel old{0x11, 0x22, 0x33, 0x44};
    EXPECT_EQ(canvas.At(12, 7), kOpaqueRed);
    EXPECT_EQ(canvas.At(17, 7), kClear);      // inside the bounds, not drawn: cleared
    EXPECT_EQ(canvas.At(9, 7), old);          // outside the bounds: untouched
    EXPECT_EQ(canvas.At(12, 15), old);
    EXPECT_EQ(canvas.At(12, 4), old);
    EXPECT_EQ(canvas.At(39, 29), old);
}

TEST_F(Drawing, HugeBoundsAndShapesStayWithinTheTarget)
{
    Canvas canvas(50, 40, 0x01020304);
    const plat::Rect huge{0, 0, INT_MAX, INT_MAX};
    Draw(canvas, [](CDrawDC& dc) {
        dc.FillRect({INT_MIN / 2, INT_MIN / 2, INT_MAX, INT_MAX}, kRed);
        dc.FillRoundRect({-100000000, -100000000, 100000000, 100000000}, kBlue, 20);
        const plat::Point far[] = {{INT_MIN / 2, 0}, {INT_MAX / 2, 39}};
        dc.Polyline(far, 2, kWhite);
        // Extremes that overflow 32-bit widths (the sanitizers watch for that).
        dc.GradientFillVertical({INT_MIN, INT_MIN, INT_MAX, INT_MAX}, kRed, kBlue);
        dc.GradientFillHorizontal({INT_MIN, 30, INT_MAX, 35}, kRed, kBlue);
        dc.Ellipse({INT_MIN, INT_MIN, INT_MAX, INT_MAX}, kRed, kBlue);
        dc.SelectFontByName("DejaVu Sans", 10, false, false, false);
        dc.DrawTextEllipsis(INT_MIN, 0, INT_MAX, "wide", kRed);
        dc.DrawTextEllipsis(INT_MAX - 5, 0, INT_MIN, "narrow", kRed);
        dc.DrawTextWrapped(INT_MAX - 5, INT_MAX - 5, "a b c", kRed, INT_MIN, 2, INT_MAX);
        dc.FillRect({0, 0, 50, 20}, kRed);
        dc.FillRect({0, 20, 50, 40}, kBlue);
    }, &huge);
    EXPECT_EQ(canvas.At(10, 30), (Pixel{255, 0, 0, 255}));
    EXPECT_EQ(canvas.At(25, 5), kOpaqueRed);
}

TEST_F(Drawing, ClipRectsNestAndAnEmptyClipDrawsNothing)
{
    Canvas canvas(30, 10);
    Draw(canvas, [](CDrawDC& dc) {
        dc.PushClipRect({0, 0, 10, 10});
        dc.PushClipRegion({{20, 0, 22, 10}, {25, 0, 27, 10}});
        dc.FillRect({0, 0, 30, 10}, kRed);   // only the two region rectangles
        dc.PopClip();
        dc.FillRect({0, 0, 30, 5}, kBlue);   // back to the first clip
        dc.PushClipRect({5, 5, 5, 9});       // empty: nothing at all, not the whole buffer
        dc.FillRect({0, 0, 30, 10}, kWhite);
        dc.PopClip();
        dc.PopClip();
        dc.PopClip();                        // one too many: ignored
    });
    EXPECT_EQ(canvas.At(21, 7), kOpaqueRed);
    EXPECT_EQ(canvas.At(26, 7), kOpaqueRed);
    EXPECT_EQ(canvas.At(23, 7), kClear);
    EXPECT_EQ(canvas.At(15, 7), kClear);
    EXPECT_EQ(canvas.At(3, 2), (Pixel{255, 0, 0, 255}));
    EXPECT_EQ(canvas.At(21, 2), kOpaqueRed);   // outside the first clip
    EXPECT_EQ(canvas.At(3, 7), kClear);
}

TEST_F(Drawing, LinesAndFramesFallOnWholePixels)
{
    // Draw3DRect: the top and left edge in the first colour, the bottom and right edge in the
    // second, inside the rectangle, the last point of each line left out as a Windows pen does.
    Canvas canvas(20, 20);
    const plat::Rect r{2, 3, 12, 10};
    Draw(canvas, [&](CDrawDC& dc) { dc.Draw3DRect(r, kRed, kBlue); });
    const Pixel blue{255, 0, 0, 255};
    for (int x = r.left; x < r.right - 1; ++x)
        EXPECT_EQ(canvas.At(x, r.top), kOpaqueRed) << x;
    EXPECT_EQ(canvas.At(r.right - 1, r.top), kOpaqueRed);      // the second line stops short
    for (int y = r.top + 1; y < r.bottom - 1; ++y) {
        EXPECT_EQ(canvas.At(r.left, y), kOpaqueRed) << y;
        EXPECT_EQ(canvas.At(r.right - 1, y), blue) << y;
    }
    for (int x = r.left; x < r.right; ++x)
        EXPECT_EQ(canvas.At(x, r.bottom - 1), blue) << x;
    EXPECT_EQ(canvas.Covered({0, 0, 20, 20}), 2 * (r.Width() + r.Height()) - 4);
    EXPECT_EQ(canvas.Covered({r.left + 1, r.top + 1, r.right - 1, r.bottom - 1}), 0);

    // FrameRect with a translucent colour: every edge pixel blended exactly once.
    Canvas frame(10, 10);
    Draw(frame, [](CDrawDC& dc) { dc.FrameRect({1, 1, 9, 9}, 0x800000FF); });
    for (const plat::Point p : {plat::Point{1, 1}, {8, 1}, {8, 8}, {1, 8}, {4, 1}, {1, 4}})
        EXPECT_EQ(frame.At(p.x, p.y), (Pixel{0, 0, 128, 128})) << p.x << "," << p.y;
    EXPECT_EQ(frame.Covered({0, 0, 10, 10}), 28);
}

TEST_F(Drawing, FocusRectAlternatesAroundTheCorners)
{
    Canvas canvas(8, 8);
    Draw(canvas, [](CDrawDC& dc) { dc.DrawFocusRect({1, 1, 5, 4}); });
    // Clockwise from the top-left: (1,1) blue, (2,1) white, (3,1) blue, (4,1) white, then
    // down the right side (4,2) blue, (4,3) white, back along the bottom (3,3) blue ...
    const Pixel blue{200, 0, 0, 200}, white{200, 200, 200, 200};
    const plat::Point walk[] = {{1, 1}, {2, 1}, {3, 1}, {4, 1}, {4, 2}, {4, 3},
                                {3, 3}, {2, 3}, {1, 3}, {1, 2}};
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(canvas.At(walk[i].x, walk[i].y), i % 2 ? white : blue) << i;
    EXPECT_EQ(canvas.Covered({0, 0, 8, 8}), 10);
}

TEST_F(Drawing, GradientsRunFromFirstToLastRowAndColumn)
{
    Canvas canvas(5, 5);
    Draw(canvas, [](CDrawDC& dc) {
        dc.GradientFillVertical({0, 0, 2, 5}, 0x000000, 0x80000000 | kWhite);
        dc.GradientFillHorizontal({2, 0, 5, 5}, kRed, kBlue);
    });
    EXPECT_EQ(canvas.At(0, 0), (Pixel{0, 0, 0, 255}));        // alpha 0 counts as 255
    EXPECT_EQ(canvas.At(0, 4), (Pixel{128, 128, 128, 128}));  // white at alpha 128
    EXPECT_EQ(canvas.At(1, 2).a, 192);                         // half way
    EXPECT_EQ(canvas.At(2, 3), kOpaqueRed);
    EXPECT_EQ(canvas.At(3, 3), (Pixel{128, 0, 128, 255}));
    EXPECT_EQ(canvas.At(4, 3), (Pixel{255, 0, 0, 255}));
}

TEST_F(Drawing, ShapesAreAntiAliased)
{
    Canvas canvas(60, 60);
    const plat::Point triangle[] = {{5, 5}, {55, 20}, {15, 50}};
    Draw(canvas, [&](CDrawDC& dc) {
        dc.Polygon(triangle, 3, kRed, kBlue);
        dc.Polygon(triangle, 0, kWhite, kWhite);   // no points: nothing
    });
    EXPECT_GT(canvas.PartlyCovered({0, 0, 60, 60}), 20);
    EXPECT_EQ(canvas.At(25, 25), kOpaqueRed);
    Canvas round(40, 40);
    Draw(round, [](CDrawDC& dc) {
        dc.Ellipse({0, 0, 40, 40}, kRed, kBlue);
    });
    EXPECT_EQ(round.At(20, 20), kOpaqueRed);
    EXPECT_EQ(round.At(1, 1), kClear);
    EXPECT_GT(round.PartlyCovered({0, 0, 40, 40}), 20);
}

// A small image for DrawImage: straight (not premultiplied) colours.
struct TestImage : IDrawableImage {
    int width, height;
    bool alpha;
    std::vector<uint8_t> pixels;
    TestImage(int w, int h, bool hasAlpha, Pixel fill)
        : width(w), height(h), alpha(hasAlpha), pixels(static_cast<size_t>(w) * h * 4)
    {
        for (size_t i = 0; i < pixels.size(); i += 4) {
            pixels[i] = static_cast<uint8_t>(fill.b);
            pixels[i + 1] = static_cast<uint8_t>(fill.g);
            pixels[i + 2] = static_cast<uint8_t>(fill.r);
            pixels[i + 3] = static_cast<uint8_t>(fill.a);
        }
    }
    plat::Size GetSize() const override { return {width, height}; }
    bool GetDrawFrame(int frame, DrawImageFrame& out) const override
    {
        if (frame != 0)
            return false;
        out = {pixels.data(), width, height, width * 4, alpha, false};
        return true;
    }
};

TEST_F(Drawing, ImagesCopyBlendAndStretch)
{
    TestImage opaque(3, 2, false, {10, 20, 30, 255});
    TestImage half(2, 2, true, {0, 0, 200, 128});   // straight red 200 at alpha 128
    Canvas canvas(20, 10);
    Draw(canvas, [&](CDrawDC& dc) {
        dc.DrawImage(&opaque, 0, 1, 1);
        dc.FillRect({10, 0, 20, 10}, kBlue);
        dc.DrawImage(&half, 0, 10, 1);
        dc.DrawImageStretched(&opaque, 0, 14, 1, 20, 9);   // 2x by 4x
        dc.DrawImage(&opaque, 1, 0, 5);                      // no such frame
        dc.DrawImage(nullptr, 0, 0, 5);
    });
    EXPECT_EQ(canvas.At(1, 1), (Pixel{10, 20, 30, 255}));
    EXPECT_EQ(canvas.At(3, 2), (Pixel{10, 20, 30, 255}));
    EXPECT_EQ(canvas.At(4, 1), kClear);
    EXPECT_EQ(canvas.At(1, 3), kClear);
    // Half of straight red 200 over opaque blue.
    const Pixel blended = canvas.At(11, 2);
    EXPECT_NEAR(blended.r, 100, 1);
    EXPECT_NEAR(blended.b, 127, 1);
    EXPECT_EQ(blended.a, 255);
    EXPECT_EQ(canvas.At(12, 2), (Pixel{255, 0, 0, 255}));
    // Stretching a uniform frame keeps its colour everywhere, corners included.
    for (const plat::Point p : {plat::Point{14, 1}, {19, 8}, {16, 5}})
        EXPECT_EQ(canvas.At(p.x, p.y), (Pixel{10, 20, 30, 255})) << p.x << "," << p.y;
    EXPECT_EQ(canvas.At(14, 9), (Pixel{255, 0, 0, 255}));
}

TEST_F(Drawing, MeasuringContextMeasuresAndDrawsNothing)
{
    CDrawDC* dc = KRDC_CreateDC(nullptr, nullptr, false);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(dc->GetHDC(), nullptr);
    EXPECT_EQ(dc->GetDpiY(), 96);
    EXPECT_EQ(dc->MeasureText("abc"), (plat::Size{0, 0}));   // no font yet
    ASSERT_TRUE(dc->SelectFontByName("Arial", 10, false, false, false));
    const plat::Size size = dc->MeasureText("Hello");
    EXPECT_GT(size.cx, 20);
    EXPECT_GE(size.cy, 13);   // at least the 13-pixel em
    EXPECT_EQ(dc->GetTextWidth("Hello"), size.cx);
    dc->FillRect({0, 0, 10, 10}, kRed);
    dc->DrawText(0, 0, "Hello", kRed);
    EXPECT_TRUE(dc->DrawTextEllipsisW(0, 0, 1000, "Hello", kRed, nullptr));
    KRDC_DestroyDC(dc);
    KRDC_DestroyDC(nullptr);
}

TEST_F(Drawing, PrintingScalesAndIgnoresTheFontAddition)
{
    Canvas printer(10, 10, 0, 300);
    CDrawDC* print = KRDC_CreateDC(nullptr, &printer.surface, true);
    CDrawDC* screen = KRDC_CreateDC(nullptr, nullptr, false);
    EXPECT_TRUE(print->IsPrinting());
    EXPECT_EQ(print->ScaleX(96), 300);
    EXPECT_EQ(print->ScaleY(-10), -31);   // 31.25, rounded half away from zero
    EXPECT_EQ(print->ScaleSize({96, 48}), (plat::Size{300, 150}));
    EXPECT_EQ(screen->ScaleX(17), 17);
    screen->SetScale(1, 0, 3, 2);
    EXPECT_EQ(screen->ScaleX(5), -1);     // zero denominator, as MulDiv
    plat::Rect r{1, 2, 3, 4};
    screen->ScaleRect(r);
    EXPECT_EQ(r, (plat::Rect{-1, 3, -1, 6}));

    ASSERT_TRUE(print->SelectFontByName("DejaVu Sans", 12, false, false, false));
    const int printed = print->GetLineHeight();
    KRDC_SetFontAddition(6);
    ASSERT_TRUE(print->SelectFontByName("DejaVu Sans", 12, false, false, false));
    EXPECT_EQ(print->GetLineHeight(), printed);
    ASSERT_TRUE(screen->SelectFontByName("DejaVu Sans", 12, false, false, false));
    const int grown = screen->GetLineHeight();
    KRDC_SetFontAddition(0);
    ASSERT_TRUE(screen->SelectFontByName("DejaVu Sans", 12, false, false, false));
    EXPECT_GT(grown, screen->GetLineHeight() + 5);
    KRDC_DestroyDC(print);
    KRDC_DestroyDC(screen);
}

TEST_F(Drawing, AFontThatCannotBeMadeKeepsTheCurrentOne)
{
    CDrawDC* dc = KRDC_CreateDC(nullptr, nullptr, false);
    ASSERT_TRUE(dc->SelectFontByName("Verdana", 10, true, false, false));
    const int width = dc->GetTextWidth("Width");
    EXPECT_FALSE(dc->SelectFontByName("Verdana", 0, false, false, false));
    EXPECT_FALSE(dc->SelectFontByName("Verdana", -5, false, false, false));
    EXPECT_EQ(dc->GetTextWidth("Width"), width);
    // Unknown faces still give a font (the default sans-serif face), as Windows maps them.
    EXPECT_TRUE(dc->SelectFontByName("No Such Face At All", 10, false, false, false));
    // Dropping every font leaves contexts with usable current fonts.
    KRDC_SetFontAddition(1);
    EXPECT_GT(dc->GetTextWidth("Width"), 0);
    KRDC_DestroyDC(dc);
}

// Only one-bit glyph pixels (alpha 0 or 255) for em heights 10 to 13, coverage otherwise.
TEST_F(Drawing, SmallTextIsHintedOneBitOthersAntiAliased)
{
    struct Case {
        int pixels;
        bool oneBit;
    } cases[] = {{9, false}, {10, true}, {12, true}, {13, true}, {14, false}};
    for (const Case& c : cases) {
        Canvas canvas(200, 40, 0, 72);   // at 72 dpi a point is a pixel
        Draw(canvas, [&](CDrawDC& dc) {
            ASSERT_TRUE(dc.SelectFontByName("DejaVu Sans", c.pixels, false, false, false));
            dc.DrawText(2, 2, "Quilvo Lite 20:15", 0);
        });
        EXPECT_GT(canvas.Covered({0, 0, 200, 40}), 30) << c.pixels;
        EXPECT_EQ(canvas.PartlyCovered({0, 0, 200, 40}) == 0, c.oneBit) << c.pixels;
    }
}

TEST_F(Drawing, TextSitsOnTheBaselineAndUnderlineShows)
{
    Canvas plain(200, 40), underlined(200, 40);
    int ascent = 0;
    Draw(plain, [&](CDrawDC& dc) {
        dc.SelectFontByName("Liberation Sans", 16, false, false, false);
        ascent = dc.GetAscent();
        dc.DrawText(0, 0, "HHHH", kRed);
    });
    Draw(underlined, [&](CDrawDC& dc) {
        dc.SelectFontByName("Liberation Sans", 16, false, false, true);
        dc.DrawText(0, 0, "HHHH", kRed);
    });
    ASSERT_GT(ascent, 10);
    // "H" stands on the baseline: its last row is the one just above it.
    EXPECT_GT(plain.Covered({0, ascent - 1, 200, ascent}), 4);
    EXPECT_EQ(plain.Covered({0, ascent, 200, 40}), 0);
    EXPECT_GT(underlined.Covered({0, ascent, 200, 40}), 20);
}

TEST_F(Drawing, FitTextBreaksAfterBlanksOnCharacterBoundaries)
{
    CDrawDC* dc = KRDC_CreateDC(nullptr, nullptr, false);
    ASSERT_TRUE(dc->SelectFontByName("DejaVu Sans", 10, false, false, false));
    const int hello = dc->GetTextWidth("hello ");
    const int e = dc->GetTextWidth("\xC3\xA9");   // é, two bytes
    struct Case {
        std::string text;
        int width;
        bool skipLeading;
        size_t pos;     // where the position moves
        bool rest;      // the end or a line end was reached
    } cases[] = {
        {"hello world", 10000, false, 11, true},
        {"hello world", hello + 5, false, 6, false},        // breaks after the blank
        {"helloworld", hello, false, 5, false},              // no blank: where it stopped
        {"hello\r\nworld", 10000, false, 5, true},           // stops before the line end
        {"hello world", 1, false, 0, false},                 // nothing fits: honest answer
        {"hello world", 1, true, 5, false},                  // empty line: the first word
        {"\xC3\xA9\xC3\xA9\xC3\xA9", e + e / 2, false, 2, false},   // cut between characters
    };
    for (const Case& c : cases) {
        size_t pos = 0;
        plat::Size out;
        EXPECT_EQ(dc->FitText(c.width, c.text, pos, out, c.skipLeading), c.rest) << c.text;
        EXPECT_EQ(pos, c.pos) << c.text << " width " << c.width;
        EXPECT_EQ(out.cy, dc->GetLineHeight());
        EXPECT_EQ(out.cx, dc->GetTextWidth(std::string_view(c.text).substr(0, pos))) << c.text;
    }
    KRDC_DestroyDC(dc);
}

TEST_F(Drawing, WrappingAlwaysMovesOn)
{
    CDrawDC* dc = KRDC_CreateDC(nullptr, nullptr, false);
    ASSERT_TRUE(dc->SelectFontByName("DejaVu Sans", 10, false, false, false));
    const int line = dc->GetLineHeight();
    // A width of 1 (as every HTML table measures first): one character a line, blanks skipped.
    int widest = 0;
    for (const char* c : {"a", "b", "c", "d"})
        widest = std::max(widest, dc->GetTextWidth(c));
    EXPECT_EQ(dc->MeasureTextWrapped(1, "ab cd"), (plat::Size{widest, 4 * line}));
    const plat::Size two = dc->MeasureTextWrapped(dc->GetTextWidth("first second") - 1,
                                                  "  first second");
    EXPECT_EQ(two, (plat::Size{dc->GetTextWidth("second"), 2 * line}));
    EXPECT_EQ(dc->MeasureTextWrapped(500, "one\r\ntwo").cy, 2 * line + 3);
    EXPECT_EQ(dc->MeasureTextWrapped(500, " \r\n "), (plat::Size{0, 0}));
    EXPECT_EQ(dc->MeasureTextWrapped(0, "\xE2\x82\xAC\xE2\x82\xAC").cy, 2 * line);   // two euros
    KRDC_DestroyDC(dc);
}

TEST_F(Drawing, EllipsisCutsTextThatDoesNotFit)
{
    const std::string text = "A rather long programme title";
    int full = 0, dots = 0;
    {
        CDrawDC* dc = KRDC_CreateDC(nullptr, nullptr, false);
        dc->SelectFontByName("DejaVu Sans", 10, false, false, false);
        full = dc->GetTextWidth(text);
        dots = dc->GetTextWidth("...");
        KRDC_DestroyDC(dc);
    }
    const auto paint = [&](int right, bool* answer, int* width) {
        Canvas canvas(300, 30);
        Draw(canvas, [&](CDrawDC& dc) {
            dc.SelectFontByName("DejaVu Sans", 10, false, false, false);
            *answer = dc.DrawTextEllipsisW(0, 0, right, text, kRed, width);
        });
        return canvas;
    };
    bool answer = false;
    int width = 0;
    // Fits: drawn unchanged.
    Canvas fits = paint(full, &answer, &width);
    Canvas reference(300, 30);
    Draw(reference, [&](CDrawDC& dc) {
        dc.SelectFontByName("DejaVu Sans", 10, false, false, false);
        dc.DrawText(0, 0, text, kRed);
    });
    EXPECT_TRUE(answer);
    EXPECT_EQ(width, full);
    EXPECT_EQ(fits.bytes, reference.bytes);
    // Too long: a prefix, then the dots, all within the room.
    Canvas cut = paint(full / 2, &answer, &width);
    EXPECT_TRUE(answer);
    EXPECT_LE(width, full / 2);
    EXPECT_GT(width, dots);
    EXPECT_EQ(cut.Covered({full / 2 + 1, 0, 300, 30}), 0);
    EXPECT_NE(cut.bytes, fits.bytes);
    // Less room than the ellipsis: nothing.
    Canvas none = paint(dots, &answer, &width);
    EXPECT_FALSE(answer);
    EXPECT_EQ(none.Covered({0, 0, 300, 30}), 0);
    // A maximum height of one line ends the first line with the ellipsis.
    Canvas wrapped(300, 30);
    int height = 0;
    Draw(wrapped, [&](CDrawDC& dc) {
        dc.SelectFontByName("DejaVu Sans", 10, false, false, false);
        height = dc.DrawTextWrapped(0, 0, text, kRed, full / 2, 0, dc.GetLineHeight());
        EXPECT_EQ(height, dc.GetLineHeight());
    });
    EXPECT_EQ(wrapped.bytes, cut.bytes);
}

TEST_F(Drawing, AContextCreatedWhileAnotherIsOpenKeepsItsOwnBuffer)
{
    Canvas first(20, 20), second(20, 20);
    CDrawDC* a = KRDC_CreateDC(nullptr, &first.surface, false);
    a->FillRect({0, 0, 20, 20}, kRed);
    CDrawDC* b = KRDC_CreateDC(nullptr, &second.surface, false);   // would clear a shared one
    b->FillRect({0, 0, 20, 20}, kBlue);
    KRDC_DestroyDC(b);
    KRDC_DestroyDC(a);
    EXPECT_EQ(first.At(10, 10), kOpaqueRed);
    EXPECT_EQ(second.At(10, 10), (Pixel{255, 0, 0, 255}));
}

TEST_F(Drawing, MeasuringFromSeveralThreadsAgrees)
{
    const char* faces[] = {"DejaVu Sans", "Liberation Serif", "Arial", "Verdana"};
    std::vector<int> expected;
    for (const char* face : faces) {
        CDrawDC* dc = KRDC_CreateDC(nullptr, nullptr, false);
        dc->SelectFontByName(face, 11, false, false, false);
        expected.push_back(dc->GetTextWidth("The quick brown fox"));
        KRDC_DestroyDC(dc);
    }
    std::vector<int> wrong(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            CDrawDC* dc = KRDC_CreateDC(nullptr, nullptr, false);
            for (int i = 0; i < 200; ++i) {
                dc->SelectFontByName(faces[(t + i) % 4], 11, false, false, false);
                wrong[t] += dc->GetTextWidth("The quick brown fox") != expected[(t + i) % 4];
            }
            KRDC_DestroyDC(dc);
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

}  // namespace
