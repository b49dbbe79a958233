// The image library: decoding every format from generated files, frames and their times,
// drawing rules, the named cache, and hostile data that must be refused.
#include "Fixtures.h"
#include "images/Image.h"
#include "platform/File.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

namespace {

CImagePtr Decode(const Bytes& data)
{
    auto image = std::make_shared<CImage>();
    CImageReader reader(data.data(), data.size());
    return image->Load(reader) ? image : nullptr;
}

// A frame pixel as (r, g, b, a).
struct Rgba {
    int r, g, b, a;
    bool operator==(const Rgba&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Rgba& c)
{
    return os << "(r" << c.r << " g" << c.g << " b" << c.b << " a" << c.a << ")";
}
Rgba At(const CImage& image, int frame, int x, int y)
{
    const uint32_t p = image.GetFrame(frame)->bitmap.Row(y)[x];
    return {static_cast<int>(p >> 16 & 0xFF), static_cast<int>(p >> 8 & 0xFF),
            static_cast<int>(p & 0xFF), static_cast<int>(p >> 24)};
}

const std::vector<uint32_t> kFourColours = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};

TEST(ImageDecoding, PngKeepsColoursAndAlpha)
{
    const Picture picture = Pattern(40, 30, true);
    const CImagePtr image = Decode(MakePng(picture));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->GetSize(), (plat::Size{40, 30}));
    EXPECT_EQ(image->GetFrameCount(), 1);
    EXPECT_TRUE(image->GetFrame(0)->bitmap.hasAlpha);
    EXPECT_FALSE(image->GetFrame(0)->bitmap.keyed);
    for (const auto& [x, y] : {std::pair{0, 0}, {20, 15}, {39, 29}, {13, 7}}) {
        const uint8_t* p = picture.At(x, y);
        EXPECT_EQ(At(*image, 0, x, y), (Rgba{p[0], p[1], p[2], p[3]})) << x << "," << y;
    }
    // Without an alpha channel the frame is opaque.
    const CImagePtr opaque = Decode(MakePng(Pattern(8, 8, false)));
    ASSERT_TRUE(opaque);
    EXPECT_FALSE(opaque->GetFrame(0)->bitmap.hasAlpha);
    EXPECT_EQ(At(*opaque, 0, 3, 3).a, 255);
}

TEST(ImageDecoding, JpegGreyAndColourAreOpaque)
{
    const Picture picture = Pattern(32, 24, false);
    for (int components : {1, 3}) {
        const CImagePtr image = Decode(MakeJpeg(picture, components));
        ASSERT_TRUE(image) << components;
        EXPECT_EQ(image->GetSize(), (plat::Size{32, 24}));
        EXPECT_FALSE(image->GetFrame(0)->bitmap.hasAlpha);
        const Rgba c = At(*image, 0, 4, 20);
        EXPECT_EQ(c.a, 255);
        if (components == 1) {
            EXPECT_EQ(c.r, c.g);
            EXPECT_EQ(c.g, c.b);
            EXPECT_NEAR(c.g, 20 * 255 / 23, 6);
        } else {
            EXPECT_NEAR(c.r, 4 * 255 / 31, 12);
            EXPECT_NEAR(c.g, 20 * 255 / 23, 12);
        }
    }
}

TEST(ImageDecoding, BitmapsOfEveryDepth)
{
    // 2x2 pictures, each row padded to 32 bits, bottom row first.
    struct Case {
        const char* what;
        Bytes data;
        Rgba topLeft, bottomRight;
    };
    Bytes palette8 = BitmapInfo(2, 2, 8, 0, 2);
    Append(palette8, {0, 0, 255, 0, 255, 0, 0, 0});          // red, blue (B, G, R, 0)
    Append(palette8, {1, 1, 0, 0, 0, 0, 0, 0});              // bottom row: blue blue
    Bytes pal1 = BitmapInfo(2, 2, 1, 0, 0);
    Append(pal1, {0, 0, 0, 0, 255, 255, 255, 0});            // black, white
    Append(pal1, {0x40, 0, 0, 0, 0x80, 0, 0, 0});            // bottom: 0 1; top: 1 0
    Bytes pal4 = BitmapInfo(2, 2, 4, 0, 3);
    Append(pal4, {0, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0, 0});  // black, green, blue
    Append(pal4, {0x12, 0, 0, 0, 0x21, 0, 0, 0});
    Bytes rgb24 = BitmapInfo(2, -2, 24, 0, 0);               // top-down
    Append(rgb24, {10, 20, 30, 40, 50, 60, 0, 0, 1, 2, 3, 4, 5, 6, 0, 0});
    Bytes rgb16 = BitmapInfo(2, 2, 16, 0, 0);                // 5-5-5
    Append(rgb16, {0x1F, 0x00, 0x00, 0x7C, 0xE0, 0x03, 0xFF, 0x7F});
    Bytes fields32 = BitmapInfo(2, 2, 32, 3, 0);
    Append(fields32, {0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0xFF, 0, 0, 0});   // R, G, B masks
    Append(fields32, {0, 0, 9, 0, 0, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0});
    Bytes rle8 = BitmapInfo(2, 2, 8, 1, 2, 8);
    Append(rle8, {0, 0, 255, 0, 255, 0, 0, 0});
    Append(rle8, {2, 1, 0, 0, 2, 0, 0, 1});                  // two blue, EOL, two red, EOF
    Bytes rle4 = BitmapInfo(2, 2, 4, 2, 2, 8);
    Append(rle4, {0, 0, 255, 0, 255, 0, 0, 0});
    Append(rle4, {0, 2, 0, 1, 2, 0x10, 0, 1});               // up a row, then blue and red

    const Case cases[] = {
        {"8-bit with a file header", WithFileHeader(palette8, 48), {255, 0, 0, 255}, {0, 0, 255, 255}},
        {"8-bit bare", palette8, {255, 0, 0, 255}, {0, 0, 255, 255}},
        {"1-bit", WithFileHeader(pal1, 48), {255, 255, 255, 255}, {255, 255, 255, 255}},
        {"4-bit", WithFileHeader(pal4, 52), {0, 0, 255, 255}, {0, 0, 255, 255}},
        {"24-bit top-down", WithFileHeader(rgb24, 40), {30, 20, 10, 255}, {6, 5, 4, 255}},
        {"16-bit", WithFileHeader(rgb16, 40), {0, 255, 0, 255}, {255, 0, 0, 255}},
        {"32-bit bit fields", WithFileHeader(fields32, 52), {0, 0, 7, 255}, {0, 0, 0, 255}},
        {"RLE8", WithFileHeader(rle8, 48), {255, 0, 0, 255}, {0, 0, 255, 255}},
        {"RLE4", WithFileHeader(rle4, 48), {0, 0, 255, 255}, {255, 0, 0, 255}},
    };
    for (const Case& c : cases) {
        const CImagePtr image = Decode(c.data);
        ASSERT_TRUE(image) << c.what;
        EXPECT_EQ(image->GetSize(), (plat::Size{2, 2})) << c.what;
        EXPECT_FALSE(image->GetFrame(0)->bitmap.hasAlpha) << c.what;
        EXPECT_EQ(At(*image, 0, 0, 0), c.topLeft) << c.what;
        EXPECT_EQ(At(*image, 0, 1, 1), c.bottomRight) << c.what;
    }
}

TEST(ImageDecoding, IconTakesTransparencyFromItsMask)
{
    Bytes icon = {0, 0, 1, 0, 1, 0};                                   // one icon
    Append(icon, {2, 2, 0, 0, 1, 0, 24, 0});
    Put32(icon, 40 + 16 + 8);
    Put32(icon, 22);
    Append(icon, BitmapInfo(2, 4, 24, 0, 0));                         // twice the height
    Append(icon, {255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 255, 255, 255, 255, 0, 0});
    Append(icon, {0x40, 0, 0, 0, 0x80, 0, 0, 0});                      // mask, bottom row first
    const CImagePtr image = Decode(icon);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->GetSize(), (plat::Size{2, 2}));
    EXPECT_TRUE(image->GetFrame(0)->bitmap.hasAlpha);
    EXPECT_EQ(At(*image, 0, 0, 1), (Rgba{0, 0, 255, 255}));   // bottom-left, mask bit 0
    EXPECT_EQ(At(*image, 0, 1, 1).a, 0);                      // bottom-right, mask bit 1
    EXPECT_EQ(At(*image, 0, 0, 0).a, 0);                      // top-left, mask bit 1
    EXPECT_EQ(At(*image, 0, 1, 0), (Rgba{255, 255, 255, 255}));
}

TEST(ImageDecoding, PcxRunLengthRows)
{
    const auto header = [](int version, int bits, int planes, int bytesPerLine) {
        Bytes h(128, 0);
        h[0] = 10;
        h[1] = static_cast<uint8_t>(version);
        h[2] = 1;
        h[3] = static_cast<uint8_t>(bits);
        h[8] = 3;   // xmax: 4 pixels wide
        h[10] = 1;  // ymax: 2 rows
        h[65] = static_cast<uint8_t>(planes);
        h[66] = static_cast<uint8_t>(bytesPerLine);
        return h;
    };
    Bytes indexed = header(5, 8, 1, 4);
    Append(indexed, {0xC4, 7, 1, 2, 0xC2, 3});   // a run of four 7s; 1 2 3 3
    indexed.push_back(12);
    for (int i = 0; i < 256; ++i)
        Append(indexed, {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), 9});
    Bytes rgb = header(5, 8, 3, 4);
    Append(rgb, {0xC4, 200, 0xC4, 100, 0xC8, 50});   // the second row runs on from the first
    Append(rgb, {0xC4, 1, 0xC4, 2});
    Bytes mono = header(5, 1, 1, 2);
    Append(mono, {0xA0, 0, 0x50, 0});
    const CImagePtr a = Decode(indexed), b = Decode(rgb), c = Decode(mono);
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(a->GetSize(), (plat::Size{4, 2}));
    EXPECT_EQ(At(*a, 0, 3, 0), (Rgba{7, 248, 9, 255}));
    EXPECT_EQ(At(*a, 0, 1, 1), (Rgba{2, 253, 9, 255}));
    EXPECT_EQ(At(*b, 0, 2, 0), (Rgba{200, 100, 50, 255}));
    EXPECT_EQ(At(*b, 0, 0, 1), (Rgba{50, 1, 2, 255}));
    EXPECT_EQ(At(*c, 0, 0, 0), (Rgba{255, 255, 255, 255}));
    EXPECT_EQ(At(*c, 0, 1, 0), (Rgba{0, 0, 0, 255}));
    EXPECT_EQ(At(*c, 0, 1, 1), (Rgba{255, 255, 255, 255}));
}

TEST(ImageDecoding, AnimatedGifTimesAndTransparencyOverThePreviousFrame)
{
    GifImage first{0, 0, 4, 4, std::vector<uint8_t>(16, 0), {}, true, 10, -1};
    // Smaller, at (1, 1), blue with a transparent (white) hole in its middle column.
    GifImage second{1, 1, 3, 2, {2, 3, 2, 2, 3, 2}, {}, true, 10, 3};
    GifImage third{0, 0, 4, 4, std::vector<uint8_t>(16, 1), {}, false, 0, -1};
    const CImagePtr image = Decode(MakeGif(4, 4, kFourColours, {first, second, third}));
    ASSERT_TRUE(image);
    ASSERT_EQ(image->GetFrameCount(), 3);
    EXPECT_EQ(image->GetFrameTime(0), 100u);
    EXPECT_EQ(image->GetFrameTime(1), 100u);
    EXPECT_EQ(image->GetFrameTime(2), 100u);   // the control settings stay in force
    EXPECT_EQ(image->GetFrameTime(3), 0u);
    EXPECT_EQ(At(*image, 1, 1, 1), (Rgba{0, 0, 255, 255}));
    EXPECT_EQ(At(*image, 1, 2, 1), (Rgba{255, 0, 0, 255}));   // the first frame shows through
    EXPECT_EQ(At(*image, 1, 0, 0), (Rgba{255, 0, 0, 255}));   // outside the smaller image
    EXPECT_TRUE(image->GetFrame(1)->bitmap.keyed);
    EXPECT_EQ(image->GetFrame(1)->bitmap.keyColour, 0xFFFFFFu);
    EXPECT_EQ(At(*image, 2, 3, 3), (Rgba{0, 255, 0, 255}));
    // No graphic control extension at all: no time.
    const CImagePtr still = Decode(MakeGif(2, 1, kFourColours, {{0, 0, 2, 1, {0, 1}, {}, false, 0, -1}}));
    ASSERT_TRUE(still);
    EXPECT_EQ(still->GetFrameTime(0), 0u);
    EXPECT_FALSE(still->GetFrame(0)->bitmap.hasAlpha);
}

TEST(ImageDecoding, GifSubImagesAreClippedAndLocalTablesWin)
{
    // The second image hangs over the right and bottom edges of the screen.
    GifImage base{0, 0, 3, 3, std::vector<uint8_t>(9, 0), {}, false, 0, -1};
    GifImage over{2, 2, 2, 2, std::vector<uint8_t>(4, 1), {0x112233, 0x445566}, false, 0, -1};
    const CImagePtr image = Decode(MakeGif(3, 3, kFourColours, {base, over}));
    ASSERT_TRUE(image);
    EXPECT_EQ(At(*image, 1, 2, 2), (Rgba{0x44, 0x55, 0x66, 255}));
    EXPECT_EQ(At(*image, 1, 1, 1), (Rgba{255, 0, 0, 255}));
}

TEST(ImageDecoding, MngFrameTimesFollowTheTicks)
{
    const Picture p = Pattern(6, 4, false);
    const CImagePtr timed = Decode(MakeMng(6, 4, 100, {{p, 5}, {p, -1}, {p, 0}}));
    ASSERT_TRUE(timed);
    EXPECT_EQ(timed->GetSize(), (plat::Size{6, 4}));
    ASSERT_EQ(timed->GetFrameCount(), 3);
    EXPECT_EQ(timed->GetFrameTime(0), 50u);     // 5 ticks at 100 a second
    EXPECT_EQ(timed->GetFrameTime(1), 50u);
    EXPECT_EQ(timed->GetFrameTime(2), 1000u);   // a delay of 0 shows for a second
    const CImagePtr plain = Decode(MakeMng(6, 4, 0, {{p, -1}, {p, -1}}));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->GetFrameTime(0), 100u);
    EXPECT_EQ(plain->GetFrameTime(1), 100u);
    EXPECT_EQ(At(*plain, 1, 5, 3), At(*Decode(MakePng(p)), 0, 5, 3));
}

// Bytes that must be refused, quickly and without touching memory they do not own.
TEST(ImageDecoding, HostileDataIsRefused)
{
    Bytes hugePng = MakePng(Pattern(2, 2, false));
    hugePng[16] = 0x7F;                            // IHDR width beyond every limit
    Bytes shortPng = MakePng(Pattern(30, 30, true));
    shortPng.resize(shortPng.size() / 2);
    Bytes hugeChunk = MakeMng(4, 4, 100, {});
    hugeChunk.resize(hugeChunk.size() - 12);       // drop MEND, add a chunk claiming 4 GB
    PutBe32(hugeChunk, 0xFFFFFFF0u);
    Append(hugeChunk, {'B', 'A', 'C', 'K', 0, 0, 0, 0});
    const Bytes noMend = MakeMng(4, 4, 100, {{Pattern(4, 4, false), 1}}, false);
    Bytes hugeMng = MakeMng(4, 4, 100, {});
    hugeMng[16] = 0x7F;                            // MHDR width
    const Bytes cmyk = MakeJpeg(Pattern(8, 8, false), 4);
    Bytes shortJpeg = MakeJpeg(Pattern(64, 64, false), 3);
    shortJpeg.resize(300);
    const GifImage one{0, 0, 2, 2, {0, 1, 2, 3}, {}, false, 0, -1};
    GifImage outside = one;
    outside.left = 5;
    const Bytes gifOutside = MakeGif(4, 4, kFourColours, {outside});
    const Bytes gifNoTable = MakeGif(2, 2, {}, {one});
    const Bytes gifNoTrailer = MakeGif(2, 2, kFourColours, {one}, false);
    Bytes gifBadCode = MakeGif(2, 2, kFourColours, {});
    gifBadCode.pop_back();   // the trailer
    Append(gifBadCode, {',', 0, 0, 0, 0, 2, 0, 2, 0, 0, 2, 2, 0x04 | 0x07 << 3, 0x00, 0, ';'});
    GifImage hugeImage = one;
    hugeImage.width = 40000;
    const Bytes gifHuge = MakeGif(4, 4, kFourColours, {hugeImage});
    Bytes gifHugeScreen = MakeGif(2, 2, kFourColours, {one});
    gifHugeScreen[7] = 0xFF;
    gifHugeScreen[9] = 0xFF;                       // 65280 x 65280
    Bytes bmpHuge = BitmapInfo(100000, 100000, 24, 0, 0);
    Bytes bmpColours = BitmapInfo(2, 2, 8, 0, 1000);
    Append(bmpColours, Bytes(8000, 0));
    Bytes bmpShort = WithFileHeader(BitmapInfo(64, 64, 24, 0, 0), 40);
    Append(bmpShort, Bytes(100, 7));
    Bytes bmpBadHeader = WithFileHeader(BitmapInfo(2, 2, 24, 0, 0), 40);
    bmpBadHeader[14] = 41;
    Bytes bmpRleTopDown = WithFileHeader(BitmapInfo(2, -2, 8, 1, 0, 4), 40);
    Append(bmpRleTopDown, Bytes(1024 + 4, 0));
    Bytes iconFar = {0, 0, 1, 0, 1, 0, 2, 2, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0};
    Bytes iconNoMask = {0, 0, 1, 0, 1, 0, 2, 2, 0, 0, 1, 0, 24, 0, 40, 0, 0, 0, 22, 0, 0, 0};
    Append(iconNoMask, BitmapInfo(2, 4, 24, 0, 0));
    Append(iconNoMask, Bytes(16, 0));
    Bytes pcxBackwards(128, 0);
    pcxBackwards[0] = 10;
    pcxBackwards[3] = 8;
    pcxBackwards[4] = 5;   // xmin 5 > xmax 0
    pcxBackwards[65] = 1;
    pcxBackwards[66] = 4;
    Bytes pcxShort = pcxBackwards;
    pcxShort[4] = 0;
    pcxShort[8] = 0xFF;
    pcxShort[9] = 0x3F;   // 16384 wide, data ends at once
    pcxShort[66] = 0x00;
    pcxShort[67] = 0x40;

    const struct {
        const char* what;
        Bytes data;
    } cases[] = {
        {"empty", {}},
        {"seven bytes", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A}},
        {"PNG beyond the size limit", hugePng},
        {"truncated PNG", shortPng},
        {"MNG chunk longer than the data", hugeChunk},
        {"MNG without MEND", noMend},
        {"MNG header beyond the size limit", hugeMng},
        {"CMYK JPEG", cmyk},
        {"truncated JPEG header", Bytes(shortJpeg.begin(), shortJpeg.begin() + 20)},
        {"GIF image outside the screen", gifOutside},
        {"GIF without a colour table", gifNoTable},
        {"GIF without its trailer", gifNoTrailer},
        {"GIF with an undefined LZW code", gifBadCode},
        {"GIF image beyond the size limit", gifHuge},
        {"GIF screen beyond the pixel limit", gifHugeScreen},
        {"bitmap beyond the size limit", bmpHuge},
        {"bitmap with 1000 colours", bmpColours},
        {"truncated bitmap pixels", bmpShort},
        {"bitmap header of an unknown size", bmpBadHeader},
        {"top-down RLE bitmap", bmpRleTopDown},
        {"icon image beyond the data", iconFar},
        {"icon without its mask", iconNoMask},
        {"PCX with a negative width", pcxBackwards},
        {"truncated PCX", pcxShort},
    };
    for (const auto& c : cases) {
        auto image = std::make_shared<CImage>();
        CImageReader reader(c.data.data(), c.data.size());
        EXPECT_FALSE(image->Load(reader)) << c.what;
        EXPECT_EQ(image->GetFrameCount(), 0) << c.what;
        EXPECT_EQ(image->GetSize(), (plat::Size{0, 0})) << c.what;
    }
}

// ---- drawing frames ----

CImagePtr SolidImage(int w, int h, uint32_t pixel, bool alpha)
{
    CImageFrame frame;
    frame.bitmap.Allocate(w, h);
    frame.bitmap.hasAlpha = alpha;
    for (uint32_t& p : frame.bitmap.pixels)
        p = pixel;
    auto image = std::make_shared<CImage>();
    image->SetSize(w, h);
    image->AddFrame(std::move(frame));
    return image;
}

struct Target {
    std::vector<uint32_t> pixels;
    plat::Surface surface;
    Target(int w, int h, uint32_t fill) : pixels(static_cast<size_t>(w) * h, fill)
    {
        surface = {reinterpret_cast<uint8_t*>(pixels.data()), w, h, w * 4};
    }
    uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * surface.width + x]; }
};

TEST(ImageDrawing, ConstantAlphaRules)
{
    const uint32_t dest = MakePixel(0, 0, 200), src = MakePixel(100, 50, 0);
    const CImagePtr opaque = SolidImage(2, 2, src, false);
    struct Case {
        int constant;
        uint32_t expected;
    } cases[] = {
        {255, src},   // none: an exact copy
        {0, src},     // 0 means none too
        {128, MakePixel(50, 25, 100)},   // dest + (src - dest) * 128 / 256
    };
    for (const Case& c : cases) {
        Target t(4, 4, dest);
        EXPECT_TRUE(opaque->DrawFrame(0, t.surface, {1, 1, 3, 3}, false, c.constant));
        EXPECT_EQ(t.At(1, 1), c.expected) << c.constant;
        EXPECT_EQ(t.At(2, 2), c.expected) << c.constant;
        EXPECT_EQ(t.At(0, 0), dest);
        EXPECT_EQ(t.At(3, 3), dest);
    }
    Target t(4, 4, dest);
    EXPECT_FALSE(opaque->DrawFrame(1, t.surface, {0, 0, 2, 2}, false, 0));
    EXPECT_EQ(t.At(0, 0), dest);
}

TEST(ImageDrawing, AlphaFramesBlendOrClip)
{
    const uint32_t dest = MakePixel(0, 0, 200);
    CImagePtr image = SolidImage(3, 1, 0, true);
    uint32_t* row = image->Frames()[0].bitmap.Row(0);
    row[0] = MakePixel(100, 0, 0, 255);
    row[1] = MakePixel(100, 0, 0, 128);
    row[2] = MakePixel(100, 0, 0, 0);
    {
        Target t(3, 1, dest);
        image->DrawFrame(0, t.surface, {0, 0, 3, 1}, false, 0);
        EXPECT_EQ(t.At(0, 0), MakePixel(100, 0, 0));
        EXPECT_EQ(t.At(1, 0), MakePixel(50, 0, 99));   // (src*a + dest*(255-a)) / 256
        EXPECT_EQ(t.At(2, 0), dest);
    }
    {
        Target t(3, 1, dest);   // weight = alpha * 128 / 255 over the destination
        image->DrawFrame(0, t.surface, {0, 0, 3, 1}, false, 128);
        EXPECT_EQ(t.At(0, 0), MakePixel(50, 0, 100));
        EXPECT_EQ(t.At(1, 0), MakePixel(25, 0, 150));
        EXPECT_EQ(t.At(2, 0), dest);
    }
    {
        Target t(3, 1, dest);   // clipped to the pixels with alpha: copied
        image->DrawFrame(0, t.surface, {0, 0, 3, 1}, true, 0);
        EXPECT_EQ(t.At(0, 0), MakePixel(100, 0, 0));
        EXPECT_EQ(t.At(1, 0), MakePixel(50, 0, 0, 128));
        EXPECT_EQ(t.At(2, 0), dest);
    }
    // Keyed frames leave the destination wherever the key colour is.
    CImagePtr keyed = SolidImage(2, 1, MakePixel(1, 2, 3), false);
    keyed->Frames()[0].bitmap.keyed = true;
    keyed->Frames()[0].bitmap.keyColour = 0x030201;
    keyed->Frames()[0].bitmap.Row(0)[1] = MakePixel(9, 9, 9);
    Target t(2, 1, dest);
    keyed->DrawFrame(0, t.surface, {0, 0, 2, 1}, false, 0);
    EXPECT_EQ(t.At(0, 0), dest);
    EXPECT_EQ(t.At(1, 0), MakePixel(9, 9, 9));
    // Stretched: a uniform frame stays uniform over the whole rectangle.
    Target big(8, 8, dest);
    SolidImage(2, 2, MakePixel(7, 8, 9), false)->DrawFrame(0, big.surface, {1, 1, 7, 5}, false, 0);
    EXPECT_EQ(big.At(1, 1), MakePixel(7, 8, 9));
    EXPECT_EQ(big.At(6, 4), MakePixel(7, 8, 9));
    EXPECT_EQ(big.At(7, 4), dest);
    EXPECT_EQ(big.At(6, 5), dest);
}

TEST(ImageObject, CropAndPremultiply)
{
    const CImagePtr image = Decode(MakePng(Pattern(10, 8, true)));
    ASSERT_TRUE(image);
    const CImagePtr part = image->Crop(6, 5, 100, 100);   // limited to the image
    ASSERT_TRUE(part);
    EXPECT_EQ(part->GetSize(), (plat::Size{4, 3}));
    EXPECT_EQ(At(*part, 0, 0, 0), At(*image, 0, 6, 5));
    EXPECT_EQ(At(*part, 0, 3, 2), At(*image, 0, 9, 7));
    EXPECT_FALSE(image->Crop(10, 0, 5, 5));
    EXPECT_FALSE(image->Crop(-5, 0, 5, 5));

    const CImagePtr half = SolidImage(1, 1, MakePixel(255, 101, 0, 128), true);
    half->PremultiplyAlpha();
    EXPECT_EQ(At(*half, 0, 0, 0), (Rgba{128, 51, 0, 128}));   // 101 * 128 / 255 = 50.7
    half->PremultiplyAlpha();                                  // only once
    EXPECT_EQ(At(*half, 0, 0, 0), (Rgba{128, 51, 0, 128}));
}

// ---- names and the cache ----

class ImageNames : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearImageCache();
        folder = plat::TempFolder() + "qvl-images-" + std::to_string(plat::GetCurrentProcessId()) + "/";
        plat::CreateDirectory(folder);
        SetImageSources({
            [this](const std::string& package, const std::string& file, Bytes& data) {
                packageAsks.push_back(package + "|" + file);
                if (file != "logo.png")
                    return false;
                data = MakePng(Pattern(5, 5, false));
                return true;
            },
            [this](const std::string& name) -> CImagePtr {
                themeAsks.push_back(name);
                return name == "one.png" ? SolidImage(1, 1, 0, false) : nullptr;
            },
        });
    }
    void TearDown() override
    {
        SetImageSources({});
        ClearImageCache();
        for (const plat::FileInfo& f : plat::FindFiles(folder + "*"))
            plat::DeleteFile(folder + f.name);
        plat::RemoveDirectory(folder);
    }
    std::string Write(const std::string& name, const Bytes& data)
    {
        plat::WriteFileReplacing(folder + name, data.data(), data.size());
        return folder + name;
    }
    std::string folder;
    std::vector<std::string> packageAsks, themeAsks;
};

TEST_F(ImageNames, SameNameSameImageUntilTheCacheIsCleared)
{
    const std::string path = Write("Picture.PNG", MakePng(Pattern(3, 3, false)));
    const CImagePtr first = GetImage(path);
    ASSERT_TRUE(first);
    std::string upper = path;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    plat::DeleteFile(path);                     // a second decode would now fail
    EXPECT_EQ(GetImage(path), first);
    EXPECT_EQ(GetImage(upper), first);          // names compare without regard to case
    ClearImageCache();
    EXPECT_FALSE(GetImage(path));
    EXPECT_EQ(themeAsks, std::vector<std::string>{path});   // then the theme was asked
}

TEST_F(ImageNames, ContentDecidesTheFormatNotTheName)
{
    const CImagePtr image = GetImage(Write("really-a-png.gif", MakePng(Pattern(7, 3, true))));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->GetSize(), (plat::Size{7, 3}));
    EXPECT_TRUE(image->GetFrame(0)->bitmap.hasAlpha);
}

TEST_F(ImageNames, ThemePackageAndEnvironmentNames)
{
    EXPECT_TRUE(GetImage("THEMEIMG:logos:one.png"));
    EXPECT_TRUE(GetImage("themeimg:one.png"));
    EXPECT_FALSE(GetImage("THEMEIMG:two.png"));
    EXPECT_EQ(themeAsks, (std::vector<std::string>{"one.png", "one.png", "two.png"}));

    const CImagePtr logo = GetImage("/opt/qvimglib/pack.zip:logo.png");
    ASSERT_TRUE(logo);
    EXPECT_EQ(logo->GetSize(), (plat::Size{5, 5}));
    EXPECT_EQ(GetImage("/opt/qvimglib/pack.zip:logo.png"), logo);
    EXPECT_EQ(packageAsks, std::vector<std::string>{"/opt/qvimglib/pack.zip|logo.png"});

    plat::SetEnv("QVL_TEST_IMAGE_FOLDER", folder);
    Write("env.bmp", WithFileHeader([] {
              Bytes b = BitmapInfo(1, 1, 24, 0, 0);
              Append(b, {1, 2, 3, 0});
              return b;
          }(), 40));
    const CImagePtr viaEnv = GetImage("%QVL_TEST_IMAGE_FOLDER%env.bmp");
    ASSERT_TRUE(viaEnv);
    EXPECT_EQ(At(*viaEnv, 0, 0, 0), (Rgba{3, 2, 1, 255}));
    EXPECT_FALSE(GetImage("%QVL_NO_SUCH_VARIABLE%env.bmp"));
    EXPECT_FALSE(GetImage("%QVL_TEST_IMAGE_FOLDER%" + std::string(600, 'x')));
}

TEST_F(ImageNames, ClearingTheCacheWhileOthersLookUpIsSafe)
{
    const std::string path = Write("shared.png", MakePng(Pattern(16, 16, true)));
    std::atomic<int> failures{0};
    std::atomic<bool> done{false};
    std::thread clearer([&] {
        while (!done)
            ClearImageCache();
    });
    std::vector<std::thread> readers;
    for (int t = 0; t < 3; ++t)
        readers.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                const CImagePtr image = GetImage(path);
                failures += !image || image->GetSize() != plat::Size{16, 16};
            }
        });
    for (std::thread& t : readers)
        t.join();
    done = true;
    clearer.join();
    EXPECT_EQ(failures, 0);
}

}  // namespace
