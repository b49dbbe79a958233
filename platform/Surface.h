// Pixel surfaces: 32-bit premultiplied blue, green, red, alpha buffers that windows paint into
// and that the drawing library copies its work to, with the rectangle, point and size shapes
// that drawing code passes around.
#pragma once
#include <cstdint>

namespace plat {

// Left, top, right, bottom in pixels; right and bottom are exclusive.
struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    bool operator==(const Rect&) const = default;
};

struct Point {
    int x = 0, y = 0;
    bool operator==(const Point&) const = default;
};

struct Size {
    int cx = 0, cy = 0;
    bool operator==(const Size&) const = default;
};

// The intersection of two rectangles; empty (all zero) when they do not overlap.
inline Rect IntersectRect(const Rect& a, const Rect& b)
{
    Rect r{a.left > b.left ? a.left : b.left, a.top > b.top ? a.top : b.top,
           a.right < b.right ? a.right : b.right, a.bottom < b.bottom ? a.bottom : b.bottom};
    return r.IsEmpty() ? Rect{} : r;
}

// Pixels per inch of the screen, which is what measuring uses when there is no target.
inline constexpr int kScreenDpi = 96;

// A view of a pixel buffer owned by someone else (a window's backing store, an image frame, a
// test's vector). Rows run top to bottom, stride bytes apart; each pixel is 4 bytes in the
// order blue, green, red, alpha, colours premultiplied by alpha.
struct Surface {
    uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;            // bytes from one row to the next, at least width * 4
    int dpiX = kScreenDpi;
    int dpiY = kScreenDpi;

    uint8_t* Row(int y) const { return pixels + static_cast<intptr_t>(y) * stride; }
    uint32_t* Pixel(int x, int y) const { return reinterpret_cast<uint32_t*>(Row(y)) + x; }
    bool IsValid() const { return pixels && width > 0 && height > 0 && stride >= width * 4; }
};

}  // namespace plat
