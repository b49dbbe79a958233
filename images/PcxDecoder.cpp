// PCX: run-length coded 1-, 4-, 8- and 24-bit pictures, opaque.
#include "images/Decoders.h"

namespace {

// The palette of version 3 files, which carry none of their own: the 16 EGA colours.
const uint8_t kDefaultPalette[16][3] = {
    {0, 0, 0},       {0, 0, 170},     {0, 170, 0},     {0, 170, 170},
    {170, 0, 0},     {170, 0, 170},   {170, 85, 0},    {170, 170, 170},
    {85, 85, 85},    {85, 85, 255},   {85, 255, 85},   {85, 255, 255},
    {255, 85, 85},   {255, 85, 255},  {255, 255, 85},  {255, 255, 255},
};

}  // namespace

bool DecodePcx(CImageReader& reader, CImage& image)
{
    uint8_t h[128];
    if (!reader.Read(h, sizeof h) || h[0] != 10)
        return false;
    const int version = h[1], bits = h[3], planes = h[65];
    const int64_t width = int64_t{Le16(h + 8)} - Le16(h + 4) + 1;
    const int64_t height = int64_t{Le16(h + 10)} - Le16(h + 6) + 1;
    const size_t bytesPerLine = Le16(h + 66);
    if (!ImageSizeAllowed(width, height))
        return false;
    enum { Mono, Planar4, Packed4, Indexed8, Rgb24 } kind;
    if (bits == 1 && planes == 1)
        kind = Mono;
    else if (bits == 1 && planes == 4)
        kind = Planar4;
    else if (bits == 4 && planes == 1)
        kind = Packed4;
    else if (bits == 8 && planes == 1)
        kind = Indexed8;
    else if (bits == 8 && planes == 3)
        kind = Rgb24;
    else
        return false;
    if (bytesPerLine * 8 < static_cast<uint64_t>(width) * bits)
        return false;   // a scan line too short for the width

    uint32_t palette[256] = {};
    if (kind == Mono) {
        palette[0] = MakePixel(0, 0, 0);
        palette[1] = MakePixel(255, 255, 255);
    } else if (kind == Indexed8 && version >= 5) {
        // 256 colours after a 12 at the end of the file.
        if (reader.GetSize() < 128 + 769 || reader.Current()[reader.Remaining() - 769] != 12)
            return false;
        const uint8_t* p = reader.Current() + reader.Remaining() - 768;
        for (int i = 0; i < 256; ++i)
            palette[i] = MakePixel(p[3 * i], p[3 * i + 1], p[3 * i + 2]);
    } else {
        for (int i = 0; i < 16; ++i) {
            const uint8_t* c = version == 3 ? kDefaultPalette[i] : h + 16 + 3 * i;
            palette[i] = MakePixel(c[0], c[1], c[2]);
        }
    }

    CImageFrame frame;
    CImageBitmap& bitmap = frame.bitmap;
    if (!bitmap.Allocate(static_cast<int>(width), static_cast<int>(height)))
        return false;
    const size_t lineBytes = bytesPerLine * planes;
    std::vector<uint8_t> line(lineBytes);
    const uint8_t* data = reader.Current();
    const size_t size = reader.Remaining();
    size_t in = 0;
    uint8_t runValue = 0;
    size_t runLeft = 0;   // runs may go on into the next scan line
    for (int y = 0; y < bitmap.height; ++y) {
        for (size_t i = 0; i < lineBytes; ++i) {
            if (runLeft == 0) {
                if (in >= size)
                    return false;   // the data ended early
                const uint8_t c = data[in++];
                if ((c & 0xC0) == 0xC0) {
                    if (in >= size)
                        return false;
                    runLeft = c & 0x3F;
                    runValue = data[in++];
                } else {
                    runLeft = 1;
                    runValue = c;
                }
                if (runLeft == 0) {   // a run of nothing
                    --i;
                    continue;
                }
            }
            line[i] = runValue;
            --runLeft;
        }
        uint32_t* row = bitmap.Row(y);
        for (int x = 0; x < bitmap.width; ++x) {
            switch (kind) {
            case Mono: row[x] = palette[line[x / 8] >> (7 - x % 8) & 1]; break;
            case Planar4: {
                unsigned index = 0;
                for (int p = 0; p < 4; ++p)
                    index |= (line[p * bytesPerLine + x / 8] >> (7 - x % 8) & 1) << p;
                row[x] = palette[index];
                break;
            }
            case Packed4: row[x] = palette[x & 1 ? line[x / 2] & 0x0F : line[x / 2] >> 4]; break;
            case Indexed8: row[x] = palette[line[x]]; break;
            case Rgb24:
                row[x] = MakePixel(line[x], line[bytesPerLine + x], line[2 * bytesPerLine + x]);
                break;
            }
        }
    }
    for (uint32_t& p : bitmap.pixels)
        p |= 0xFF000000u;   // colours missing from a short palette show black
    image.AddFrame(std::move(frame));
    return true;
}
