// qvl render-sample OUT.png: draws a fixed sample through the drawing library (shapes,
// gradients, text in two faces and sizes, a wrapped paragraph ending in an ellipsis, decoded
// images with alpha) and writes it as a PNG. The tests compare it with a reference picture.
#include "drawing/DrawDC.h"
#include "images/Image.h"
#include "images/PngWriter.h"
#include "tools/qvl/Command.h"

#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int kWidth = 480, kHeight = 360;

// Colour values: red in the lowest byte.
constexpr uint32_t Rgb(unsigned r, unsigned g, unsigned b) { return r | g << 8 | b << 16; }

// A picture drawn with the library itself, round-tripped through PNG encoding and decoding: a
// translucent disc with a ring.
CImagePtr DiscImage()
{
    std::vector<uint8_t> pixels(48 * 48 * 4, 0);
    plat::Surface surface{pixels.data(), 48, 48, 48 * 4};
    CDrawDC* dc = KRDC_CreateDC(nullptr, &surface, false);
    dc->Ellipse({2, 2, 46, 46}, 0xB0000000 | Rgb(250, 170, 30), Rgb(120, 60, 0));
    dc->Ellipse({14, 14, 34, 34}, 0x60000000 | Rgb(255, 255, 255), 0x60000000 | Rgb(255, 255, 255));
    KRDC_DestroyDC(dc);
    std::vector<uint8_t> png;
    if (!EncodePng(surface, true, png))
        return nullptr;
    auto image = std::make_shared<CImage>();
    CImageReader reader(png.data(), png.size());
    return image->Load(reader) ? image : nullptr;
}

// A 16 x 16 icon with a 24-bit colour bitmap and a round transparency mask, as icon files
// carry them.
CImagePtr RoundIcon()
{
    std::vector<uint8_t> data = {0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 24, 0};
    const auto put32 = [&](uint32_t v) {
        for (int k = 0; k < 4; ++k)
            data.push_back(static_cast<uint8_t>(v >> (8 * k)));
    };
    const auto put16 = [&](uint32_t v) {
        data.push_back(static_cast<uint8_t>(v));
        data.push_back(static_cast<uint8_t>(v >> 8));
    };
    put32(40 + 16 * 48 + 16 * 4);
    put32(22);
    put32(40), put32(16), put32(32), put16(1), put16(24);
    for (int i = 0; i < 6; ++i)
        put32(0);
    for (int y = 15; y >= 0; --y)
        for (int x = 0; x < 16; ++x) {
            data.push_back(static_cast<uint8_t>(40 + x * 12));   // blue
            data.push_back(static_cast<uint8_t>(160));           // green
            data.push_back(static_cast<uint8_t>(40 + y * 12));   // red
        }
    for (int y = 15; y >= 0; --y) {
        uint32_t bits = 0;
        for (int x = 0; x < 16; ++x) {
            const double dx = x - 7.5, dy = y - 7.5;
            if (dx * dx + dy * dy > 56)
                bits |= 1u << (31 - x);
        }
        for (int k = 3; k >= 0; --k)
            data.push_back(static_cast<uint8_t>(bits >> (8 * k)));
    }
    auto image = std::make_shared<CImage>();
    CImageReader reader(data.data(), data.size());
    return image->Load(reader) ? image : nullptr;
}

void DrawSample(CDrawDC& dc, const CImagePtr& disc, const CImagePtr& icon)
{
    dc.GradientFillVertical({0, 0, kWidth, kHeight}, Rgb(250, 246, 240), Rgb(214, 200, 186));

    // Title bar.
    dc.FillRoundRect({10, 10, kWidth - 10, 58}, Rgb(20, 58, 122), 10);
    dc.GradientFillHorizontal({22, 46, kWidth - 22, 50}, Rgb(120, 200, 255), 0x40000000 | Rgb(120, 200, 255));
    dc.SelectFontByName("DejaVu Sans", 16, true, false, false);
    dc.DrawText(24, 18, "20:15  Tagesschau \xE2\x80\x93 Z\xC3\xBCrich", Rgb(255, 255, 255));

    // Shapes.
    dc.Ellipse({14, 70, 74, 130}, 0xC8000000 | Rgb(220, 40, 40), Rgb(120, 10, 10));
    const plat::Point star[] = {{110, 70}, {122, 100}, {152, 100}, {128, 118}, {138, 148},
                                {110, 130}, {82, 148}, {92, 118}, {68, 100}, {98, 100}};
    dc.Polygon(star, 10, Rgb(250, 200, 40), Rgb(150, 100, 0));
    dc.DrawTab({166, 76, 236, 130}, Rgb(180, 210, 240), Rgb(40, 80, 140), 0);
    dc.FrameRoundRect({246, 76, 316, 130}, Rgb(40, 120, 60), 8);
    dc.FillRoundRectAlpha({252, 82, 310, 124}, Rgb(40, 160, 80), 8, 96);
    dc.Draw3DRect({326, 76, 396, 130}, Rgb(255, 255, 255), Rgb(90, 90, 90));
    dc.FrameRect({330, 80, 392, 126}, Rgb(20, 58, 122));
    dc.DrawFocusRect({336, 86, 386, 120});
    const plat::Point zigzag[] = {{404, 128}, {420, 84}, {436, 122}, {452, 78}, {466, 110}};
    dc.Polyline(zigzag, 5, Rgb(30, 140, 60));

    // Text in two faces and sizes; 9 points is 12 pixels, drawn with hinted one-bit glyphs.
    dc.SelectFontByName("Liberation Serif", 14, false, true, false);
    dc.DrawText(14, 156, "Liberation Serif italic 14", Rgb(60, 20, 20));
    dc.SelectFontByName("DejaVu Sans", 9, false, false, true);
    dc.DrawText(14, 182, "DejaVu Sans 9, underlined", Rgb(0, 0, 0));
    dc.SelectFontByName("Arial", 10, true, false, false);
    dc.DrawTextEllipsis(14, 202, 230, "Arial bold, cut to its room with an ellipsis",
                        Rgb(20, 58, 122));

    // A wrapped paragraph that runs out of room after three lines.
    dc.FillRect({246, 150, 466, 222}, 0xE0000000 | Rgb(255, 255, 255));
    dc.FrameRect({246, 150, 466, 222}, Rgb(150, 140, 130));
    dc.SelectFontByName("DejaVu Sans", 8, false, false, false);
    const int line = dc.GetLineHeight();
    dc.DrawTextWrapped(252, 154,
                       "News, weather and sport from around the region, followed by a look at "
                       "the week ahead in parliament and a long report from the coast that "
                       "never fits into three lines of this box.",
                       Rgb(40, 40, 40), 208, 0, 4 * line);

    // Decoded images with alpha: at their own size, stretched, and under a clip.
    if (disc) {
        dc.DrawImage(disc.get(), 0, 14, 232);
        dc.DrawImageStretched(disc.get(), 0, 70, 232, 166, 328);
        dc.PushClipRect({180, 240, 220, 330});
        dc.DrawImageStretched(disc.get(), 0, 176, 232, 272, 328);
        dc.PopClip();
    }
    if (icon) {
        dc.DrawImage(icon.get(), 0, 290, 236);
        dc.DrawImageStretched(icon.get(), 0, 314, 236, 362, 284);
    }
    dc.SelectFontByName("DejaVu Sans", 10, false, false, false);
    dc.DrawTextWrapped(14, 334, "Centred caption under the pictures", Rgb(90, 70, 50), 452, 1, -1);
}

int Run(const qvl::Arguments& args)
{
    if (args.size() != 1)
        return qvl::UsageError(*qvl::FindCommand("render-sample"));
    KRDC_Startup("...", 0, 0);
    const CImagePtr disc = DiscImage(), icon = RoundIcon();
    std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * 4, 0);
    plat::Surface canvas{pixels.data(), kWidth, kHeight, kWidth * 4};
    CDrawDC* dc = KRDC_CreateDC(nullptr, &canvas, false);
    DrawSample(*dc, disc, icon);
    KRDC_DestroyDC(dc);
    // The image library draws frames straight onto the surface: with a constant alpha and
    // clipped to the alpha of the frame.
    if (icon) {
        icon->DrawFrame(0, canvas, {380, 236, 412, 268}, false, 128);
        icon->DrawFrame(0, canvas, {420, 236, 452, 268}, true, 0);
    }
    KRDC_Shutdown();
    if (!disc || !icon || !WritePngFile(args[0], canvas, true)) {
        std::fprintf(stderr, "qvl: cannot make the sample %s\n", args[0].c_str());
        return qvl::kExitFailure;
    }
    return qvl::kExitOk;
}

const qvl::Command kCommand{
    "render-sample", "OUT.png",
    "draws a fixed sample through the drawing library and writes it as a PNG",
    "Shapes, gradients, text in two faces and sizes, a wrapped paragraph with an ellipsis and\n"
    "decoded images with alpha: a quick look at how the drawing library renders here.",
    Run};
const qvl::CommandRegistration kRegistration(kCommand);

}  // namespace
