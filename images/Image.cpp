#include "images/Image.h"
#include "images/Decoders.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

bool CImageBitmap::Allocate(int w, int h)
{
    if (!ImageSizeAllowed(w, h))
        return false;
    width = w;
    height = h;
    pixels.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
    return true;
}

bool CImageReader::Read(void* out, size_t count)
{
    if (count > Remaining())
        return false;
    if (count)
        std::memcpy(out, m_data + m_pos, count);
    m_pos += count;
    return true;
}

bool CImageReader::Skip(int64_t count)
{
    if (count < 0 ? static_cast<uint64_t>(-count) > m_pos : static_cast<uint64_t>(count) > Remaining())
        return false;
    m_pos = static_cast<size_t>(static_cast<int64_t>(m_pos) + count);
    return true;
}

// ---- CImage ----

namespace {

const uint8_t kMngSignature[8] = {0x8A, 0x4D, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
const uint8_t kPngSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

struct Rgba {
    unsigned r, g, b, a;
};

Rgba Split(uint32_t p)
{
    return {p >> 16 & 0xFF, p >> 8 & 0xFF, p & 0xFF, p >> 24};
}

// The straight colour of a frame pixel.
Rgba Straight(uint32_t pixel, const CImageBitmap& bitmap)
{
    Rgba c = Split(pixel);
    if (!bitmap.hasAlpha)
        c.a = 255;
    else if (bitmap.premultiplied && c.a > 0 && c.a < 255) {
        c.r = std::min(255u, c.r * 255 / c.a);
        c.g = std::min(255u, c.g * 255 / c.a);
        c.b = std::min(255u, c.b * 255 / c.a);
    }
    return c;
}

// The frame resized to w x h: nearest pixels for keyed frames (so key colours stay exact),
// otherwise bilinear with colours weighted by alpha.
CImageBitmap Resize(const CImageBitmap& src, int w, int h)
{
    CImageBitmap out;
    out.Allocate(w, h);
    out.hasAlpha = src.hasAlpha;
    out.keyed = src.keyed;
    out.keyColour = src.keyColour;
    out.premultiplied = false;
    const double sx = static_cast<double>(src.width) / w, sy = static_cast<double>(src.height) / h;
    for (int y = 0; y < h; ++y) {
        uint32_t* row = out.Row(y);
        const double fy = std::clamp((y + 0.5) * sy - 0.5, 0.0, src.height - 1.0);
        for (int x = 0; x < w; ++x) {
            const double fx = std::clamp((x + 0.5) * sx - 0.5, 0.0, src.width - 1.0);
            if (src.keyed) {
                row[x] = src.Row(static_cast<int>(std::lround(fy)))[std::lround(fx)];
                continue;
            }
            const int x0 = static_cast<int>(fx), y0 = static_cast<int>(fy);
            const int x1 = std::min(x0 + 1, src.width - 1), y1 = std::min(y0 + 1, src.height - 1);
            const double ax = fx - x0, ay = fy - y0;
            double r = 0, g = 0, b = 0, a = 0;
            const auto tap = [&](int px, int py, double weight) {
                const Rgba c = Straight(src.Row(py)[px], src);
                const double wa = weight * c.a;
                r += c.r * wa;
                g += c.g * wa;
                b += c.b * wa;
                a += wa;
            };
            tap(x0, y0, (1 - ax) * (1 - ay));
            tap(x1, y0, ax * (1 - ay));
            tap(x0, y1, (1 - ax) * ay);
            tap(x1, y1, ax * ay);
            row[x] = a > 0 ? MakePixel(static_cast<unsigned>(std::lround(r / a)),
                                       static_cast<unsigned>(std::lround(g / a)),
                                       static_cast<unsigned>(std::lround(b / a)),
                                       static_cast<unsigned>(std::lround(a)))
                           : 0;
        }
    }
    return out;
}

// dest + (src - dest) * weight / 256 on each channel.
uint32_t Blend(uint32_t dest, Rgba src, unsigned weight)
{
    const Rgba d = Split(dest);
    const auto mix = [weight](unsigned dv, unsigned sv) {
        return static_cast<unsigned>(static_cast<int>(dv) +
                                     (static_cast<int>(sv) - static_cast<int>(dv)) *
                                         static_cast<int>(weight) / 256);
    };
    return MakePixel(mix(d.r, src.r), mix(d.g, src.g), mix(d.b, src.b), mix(d.a, 255));
}

}  // namespace

bool CImage::Load(CImageReader& reader)
{
    m_frames.clear();
    m_size = {};
    bool ok = false;
    try {
        reader.Rewind();
        uint8_t sig[8];
        if (!reader.Read(sig, sizeof sig))
            return false;
        if (std::memcmp(sig, kMngSignature, 8) == 0)
            ok = DecodeMng(reader, *this);
        else if (std::memcmp(sig, kPngSignature, 8) == 0)
            ok = DecodePng(reader, *this, 0);
        else if (std::memcmp(sig, "GIF89a", 6) == 0 || std::memcmp(sig, "GIF87a", 6) == 0)
            reader.Rewind(), ok = DecodeGif(reader, *this);
        else if (sig[0] == 0xFF && sig[1] == 0xD8)
            reader.Rewind(), ok = DecodeJpeg(reader, *this);
        else if (sig[0] == 'B' && sig[1] == 'M')
            reader.Rewind(), ok = DecodeBmp(reader, *this);
        else if (sig[0] == 0)
            reader.Rewind(), ok = DecodeIcon(reader, *this);
        else if (sig[0] == 0x0A)
            reader.Rewind(), ok = DecodePcx(reader, *this);
        else
            ok = DecodeBmp(reader, *this);   // a bare bitmap; the decoder starts over
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    if (!ok || m_frames.empty()) {
        m_frames.clear();
        m_size = {};
        return false;
    }
    if (m_size.cx <= 0 || m_size.cy <= 0)
        m_size = {m_frames[0].bitmap.width, m_frames[0].bitmap.height};
    return true;
}

uint32_t CImage::GetFrameTime(int index) const
{
    const CImageFrame* frame = GetFrame(index);
    return frame ? frame->time : 0;
}

const CImageFrame* CImage::GetFrame(int index) const
{
    return index >= 0 && index < GetFrameCount() ? &m_frames[index] : nullptr;
}

uint64_t CImage::PixelCount() const
{
    uint64_t n = 0;
    for (const CImageFrame& frame : m_frames)
        n += frame.bitmap.pixels.size();
    return n;
}

bool CImage::GetDrawFrame(int frame, DrawImageFrame& out) const
{
    const CImageFrame* f = GetFrame(frame);
    if (!f)
        return false;
    const CImageBitmap& b = f->bitmap;
    out = {reinterpret_cast<const uint8_t*>(b.pixels.data()), b.width, b.height, b.width * 4,
           b.hasAlpha, b.premultiplied};
    return true;
}

bool CImage::DrawFrame(int index, plat::Surface& target, const plat::Rect& rect,
                       bool clipToAlpha, int constantAlpha) const
{
    const CImageFrame* frame = GetFrame(index);
    if (!frame || !target.IsValid())
        return false;
    const CImageBitmap* src = &frame->bitmap;
    CImageBitmap resized;
    const int w = rect.Width(), h = rect.Height();
    if (w > 0 && h > 0 && (w != src->width || h != src->height)) {
        if (!ImageSizeAllowed(w, h))
            return false;
        resized = Resize(*src, w, h);
        src = &resized;
    }
    const unsigned constant = constantAlpha > 0 && constantAlpha < 255 ? constantAlpha : 0;
    const plat::Rect area = plat::IntersectRect(
        {rect.left, rect.top, rect.left + src->width, rect.top + src->height},
        {0, 0, target.width, target.height});
    for (int y = area.top; y < area.bottom; ++y) {
        const uint32_t* s = src->Row(y - rect.top) + (area.left - rect.left);
        uint32_t* d = target.Pixel(area.left, y);
        for (int x = area.left; x < area.right; ++x, ++s, ++d) {
            const Rgba c = Straight(*s, *src);
            if (src->keyed && PixelColour(*s) == (src->keyColour & 0xFFFFFF))
                continue;   // the key colour lets the destination show
            if (src->keyed || !src->hasAlpha) {
                *d = constant ? Blend(*d, c, constant) : MakePixel(c.r, c.g, c.b, 255);
                continue;
            }
            if (clipToAlpha) {
                if (c.a != 0)
                    *d = MakePixel((c.r * c.a + 127) / 255, (c.g * c.a + 127) / 255,
                                   (c.b * c.a + 127) / 255, c.a);
                continue;
            }
            const unsigned weight = constant ? c.a * constant / 255 : c.a;
            if (weight == 255)
                *d = MakePixel(c.r, c.g, c.b, 255);
            else if (weight != 0 && constant)
                *d = Blend(*d, c, weight);
            else if (weight != 0) {
                const Rgba dv = Split(*d);
                *d = MakePixel((c.r * c.a + dv.r * (255 - c.a)) / 256,
                               (c.g * c.a + dv.g * (255 - c.a)) / 256,
                               (c.b * c.a + dv.b * (255 - c.a)) / 256,
                               c.a + (dv.a * (255 - c.a) + 127) / 255);
            }
        }
    }
    return true;
}

CImagePtr CImage::Crop(int x, int y, int width, int height) const
{
    if (m_frames.empty())
        return nullptr;
    const CImageBitmap& src = m_frames[0].bitmap;
    const int64_t x0 = std::max<int64_t>(x, 0), y0 = std::max<int64_t>(y, 0);
    const int64_t x1 = std::min<int64_t>(static_cast<int64_t>(x) + width, src.width);
    const int64_t y1 = std::min<int64_t>(static_cast<int64_t>(y) + height, src.height);
    if (x1 <= x0 || y1 <= y0)
        return nullptr;
    CImageFrame part;
    part.bitmap.Allocate(static_cast<int>(x1 - x0), static_cast<int>(y1 - y0));
    part.bitmap.hasAlpha = src.hasAlpha;
    part.bitmap.keyed = src.keyed;
    part.bitmap.keyColour = src.keyColour;
    part.bitmap.premultiplied = src.premultiplied;
    for (int row = 0; row < part.bitmap.height; ++row)
        std::memcpy(part.bitmap.Row(row), src.Row(static_cast<int>(y0) + row) + x0,
                    static_cast<size_t>(part.bitmap.width) * 4);
    auto image = std::make_shared<CImage>();
    image->SetSize(part.bitmap.width, part.bitmap.height);
    image->AddFrame(std::move(part));
    return image;
}

void CImage::PremultiplyAlpha()
{
    if (m_frames.empty() || m_frames[0].bitmap.premultiplied)
        return;
    CImageBitmap& b = m_frames[0].bitmap;
    for (uint32_t& p : b.pixels) {
        const Rgba c = Split(p);
        p = MakePixel((c.r * c.a + 127) / 255, (c.g * c.a + 127) / 255, (c.b * c.a + 127) / 255,
                      c.a);
    }
    b.premultiplied = true;
}

CImagePtr CImage::FromIcon(const plat::Surface& icon)
{
    CImageFrame frame;
    if (!icon.IsValid() || !frame.bitmap.Allocate(icon.width, icon.height))
        return nullptr;
    for (int y = 0; y < icon.height; ++y)
        std::memcpy(frame.bitmap.Row(y), icon.Row(y), static_cast<size_t>(icon.width) * 4);
    frame.bitmap.hasAlpha = true;
    frame.bitmap.premultiplied = true;
    auto image = std::make_shared<CImage>();
    image->SetSize(icon.width, icon.height);
    image->AddFrame(std::move(frame));
    return image;
}

plat::Surface CImage::BeginDraw()
{
    if (m_frames.empty())
        return {};
    CImageBitmap& b = m_frames[0].bitmap;
    return {reinterpret_cast<uint8_t*>(b.pixels.data()), b.width, b.height, b.width * 4,
            plat::kScreenDpi, plat::kScreenDpi};
}

void CImage::EndDraw(const plat::Surface& surface)
{
    if (m_frames.empty() || surface.pixels != reinterpret_cast<uint8_t*>(m_frames[0].bitmap.pixels.data()))
        return;
    m_frames[0].bitmap.hasAlpha = true;
    m_frames[0].bitmap.premultiplied = true;
    m_frames[0].bitmap.keyed = false;
}
