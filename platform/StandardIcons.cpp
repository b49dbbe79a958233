#include "platform/StandardIcons.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

namespace plat {
namespace {

struct Colour {
    double r, g, b;
};

constexpr Colour kAmber{255, 196, 0};
constexpr Colour kBorder{110, 70, 0};
constexpr Colour kMark{20, 20, 20};

// Signed distance from p to the line through a and b, positive on the triangle's inner side.
double EdgeDistance(double px, double py, double ax, double ay, double bx, double by)
{
    const double dx = bx - ax, dy = by - ay;
    return ((py - ay) * dx - (px - ax) * dy) / std::hypot(dx, dy);
}

// The colour at a point of the icon and whether the point is covered at all.
bool Sample(double x, double y, Colour& out)
{
    constexpr double kTop[2] = {16, 2}, kRight[2] = {30.5, 29}, kLeft[2] = {1.5, 29};
    const double inside = std::min({EdgeDistance(x, y, kTop[0], kTop[1], kRight[0], kRight[1]),
                                    EdgeDistance(x, y, kRight[0], kRight[1], kLeft[0], kLeft[1]),
                                    EdgeDistance(x, y, kLeft[0], kLeft[1], kTop[0], kTop[1])});
    if (inside < 0)
        return false;
    const bool bar = x >= 14.5 && x <= 17.5 && y >= 10 && y <= 21;
    const bool dot = std::hypot(x - 16, y - 25) <= 1.8;
    out = inside < 1.6 ? kBorder : (bar || dot) ? kMark : kAmber;
    return true;
}

struct IconStore {
    std::vector<uint8_t> pixels;
    Surface surface;

    IconStore()
    {
        constexpr int kSide = kStandardIconSize, kGrid = 4;
        pixels.assign(static_cast<size_t>(kSide) * kSide * 4, 0);
        surface = {pixels.data(), kSide, kSide, kSide * 4};
        for (int y = 0; y < kSide; ++y) {
            for (int x = 0; x < kSide; ++x) {
                // Each pixel is the average of a 4 x 4 grid of samples, so the edges are smooth.
                double r = 0, g = 0, b = 0, a = 0;
                for (int sy = 0; sy < kGrid; ++sy) {
                    for (int sx = 0; sx < kGrid; ++sx) {
                        Colour c;
                        if (Sample(x + (sx + 0.5) / kGrid, y + (sy + 0.5) / kGrid, c)) {
                            r += c.r;
                            g += c.g;
                            b += c.b;
                            a += 255;
                        }
                    }
                }
                constexpr double kSamples = kGrid * kGrid;
                uint8_t* p = surface.Row(y) + x * 4;   // premultiplied: covered colour sums
                p[0] = static_cast<uint8_t>(std::lround(b / kSamples));
                p[1] = static_cast<uint8_t>(std::lround(g / kSamples));
                p[2] = static_cast<uint8_t>(std::lround(r / kSamples));
                p[3] = static_cast<uint8_t>(std::lround(a / kSamples));
            }
        }
    }
};

}  // namespace

const Surface& WarningIcon()
{
    static const IconStore store;
    return store.surface;
}

}  // namespace plat
