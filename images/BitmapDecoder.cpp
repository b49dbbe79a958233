// Windows bitmaps (every bit count, run-length and bit-field compression, with or without the
// file header) and icons and cursors with their transparency masks.
#include "images/Decoders.h"

#include <cstring>

namespace {

constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3;

// One channel of a bit-field pixel, scaled to 8 bits.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0;

    explicit Channel(uint32_t m) : mask(m)
    {
        if (!m)
            return;
        while (!(m & 1)) {
            m >>= 1;
            ++shift;
        }
        max = m;
    }
    unsigned Get(uint32_t value) const
    {
        return max ? static_cast<unsigned>(((value & mask) >> shift) * 255ull / max) : 0;
    }
};

// Expands run-length coded 8- or 4-bit data into one index per pixel, bottom row first.
void ExpandRle(const uint8_t* data, size_t size, bool four, int width, int height,
               std::vector<uint8_t>& indexes)
{
    indexes.assign(static_cast<size_t>(width) * height, 0);
    int x = 0, y = 0;
    size_t i = 0;
    const auto put = [&](uint8_t value) {
        if (x < width && y < height)
            indexes[static_cast<size_t>(y) * width + x] = value;
        ++x;
    };
    while (i + 1 < size && y < height) {
        const uint8_t count = data[i], value = data[i + 1];
        i += 2;
        if (count > 0) {
            for (int k = 0; k < count; ++k)
                put(four ? (k & 1 ? value & 0x0F : value >> 4) : value);
        } else if (value == 0) {   // end of line
            x = 0;
            ++y;
        } else if (value == 1) {   // end of bitmap
            break;
        } else if (value == 2) {   // move right and up
            if (i + 1 >= size)
                break;
            x += data[i];
            y += data[i + 1];
            i += 2;
        } else {                   // a literal run, padded to 16 bits
            const size_t bytes = four ? (value + 1u) / 2 : value;
            if (i + bytes > size)
                break;
            for (int k = 0; k < value; ++k)
                put(four ? (k & 1 ? data[i + k / 2] & 0x0F : data[i + k / 2] >> 4) : data[i + k]);
            i += bytes + (bytes & 1);
        }
    }
}

}  // namespace

bool ReadDib(CImageReader& reader, uint64_t pixelOffset, bool icon, CImageBitmap& out,
             int& bitCount)
{
    const size_t start = reader.GetPosition();
    uint8_t size[4];
    if (!reader.Read(size, 4))
        return false;
    const uint32_t headerSize = Le32(size);
    int64_t width = 0, height = 0;
    uint32_t compression = kRgb, imageSize = 0, coloursUsed = 0;
    uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
    const bool core = headerSize == 12;
    if (core) {   // the old header: 16-bit fields
        uint8_t h[8];
        if (!reader.Read(h, sizeof h))
            return false;
        width = Le16(h);
        height = Le16(h + 2);
        bitCount = Le16(h + 6);
    } else if (headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 108 ||
               headerSize == 124) {
        uint8_t h[120];
        if (!reader.Read(h, headerSize - 4))
            return false;
        width = static_cast<int32_t>(Le32(h));
        height = static_cast<int32_t>(Le32(h + 4));
        bitCount = Le16(h + 10);
        compression = Le32(h + 12);
        imageSize = Le32(h + 16);
        coloursUsed = Le32(h + 28);
        if (compression == kBitFields) {
            uint8_t m[12];
            if (headerSize >= 52)   // the later headers carry the masks themselves
                std::memcpy(m, h + 36, sizeof m);
            else if (!reader.Read(m, sizeof m))
                return false;
            for (int k = 0; k < 3; ++k)
                masks[k] = Le32(m + 4 * k);
        }
    } else {
        return false;
    }
    const bool topDown = height < 0;
    if (topDown)
        height = -height;
    if (icon)
        height /= 2;
    if (!ImageSizeAllowed(width, height))
        return false;
    const bool known = (compression == kRgb && (bitCount == 1 || bitCount == 4 || bitCount == 8 ||
                                                bitCount == 16 || bitCount == 24 || bitCount == 32)) ||
                       (compression == kRle8 && bitCount == 8 && !topDown) ||
                       (compression == kRle4 && bitCount == 4 && !topDown) ||
                       (compression == kBitFields && (bitCount == 16 || bitCount == 32));
    if (!known)
        return false;
    if (bitCount == 16 && compression == kRgb) {
        masks[0] = 0x7C00;
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
    }

    // The colour table: the colours used, or all 2^bits for 8 bits and fewer.
    uint32_t colours[256] = {};
    const size_t entry = core ? 3 : 4;
    const uint64_t tableSize = coloursUsed ? coloursUsed : (bitCount <= 8 ? 1u << bitCount : 0);
    if (bitCount <= 8) {
        if (tableSize > 256)
            return false;
        uint8_t table[256 * 4];
        if (!reader.Read(table, tableSize * entry))
            return false;
        for (size_t i = 0; i < tableSize; ++i)
            colours[i] = MakePixel(table[i * entry + 2], table[i * entry + 1], table[i * entry]);
    } else if (tableSize * entry > reader.Remaining() ||
               !reader.Skip(static_cast<int64_t>(tableSize * entry))) {
        return false;
    }
    if (pixelOffset && reader.GetPosition() < start + pixelOffset &&
        !reader.Skip(static_cast<int64_t>(start + pixelOffset - reader.GetPosition())))
        return false;

    if (!out.Allocate(static_cast<int>(width), static_cast<int>(height)))
        return false;
    const int w = out.width, h = out.height;
    const auto rowOf = [&](int fileRow) { return out.Row(topDown ? fileRow : h - 1 - fileRow); };
    if (compression == kRle8 || compression == kRle4) {
        const size_t bytes = imageSize ? imageSize : reader.Remaining();
        if (bytes > reader.Remaining())
            return false;
        std::vector<uint8_t> indexes;
        ExpandRle(reader.Current(), bytes, compression == kRle4, w, h, indexes);
        reader.Skip(static_cast<int64_t>(bytes));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                rowOf(y)[x] = colours[indexes[static_cast<size_t>(y) * w + x]];
        return true;
    }
    const uint64_t stride = (static_cast<uint64_t>(w) * bitCount + 31) / 32 * 4;
    if (stride * h > reader.Remaining())
        return false;
    const Channel red(masks[0]), green(masks[1]), blue(masks[2]);
    for (int y = 0; y < h; ++y) {
        const uint8_t* p = reader.Current() + stride * y;
        uint32_t* row = rowOf(y);
        for (int x = 0; x < w; ++x) {
            switch (bitCount) {
            case 1: row[x] = colours[p[x / 8] >> (7 - x % 8) & 1]; break;
            case 4: row[x] = colours[x & 1 ? p[x / 2] & 0x0F : p[x / 2] >> 4]; break;
            case 8: row[x] = colours[p[x]]; break;
            case 16: {
                const uint32_t v = Le16(p + 2 * x);
                row[x] = MakePixel(red.Get(v), green.Get(v), blue.Get(v));
                break;
            }
            case 24: row[x] = MakePixel(p[3 * x + 2], p[3 * x + 1], p[3 * x]); break;
            default: {
                const uint32_t v = Le32(p + 4 * x);
                row[x] = compression == kBitFields
                             ? MakePixel(red.Get(v), green.Get(v), blue.Get(v), v >> 24)
                             : v;
            }
            }
        }
    }
    reader.Skip(static_cast<int64_t>(stride * h));
    return true;
}

bool DecodeBmp(CImageReader& reader, CImage& image)
{
    uint8_t header[14];
    if (!reader.Read(header, sizeof header))
        return false;
    uint64_t pixelOffset = 0;
    if (header[0] == 'B' && header[1] == 'M') {
        const uint32_t offset = Le32(header + 10);
        pixelOffset = offset > 14 ? offset - 14 : 0;
    } else {
        reader.Rewind();   // a bare bitmap: the information header comes first
    }
    CImageFrame frame;
    int bitCount = 0;
    if (!ReadDib(reader, pixelOffset, false, frame.bitmap, bitCount))
        return false;
    for (uint32_t& p : frame.bitmap.pixels)
        p |= 0xFF000000u;
    image.AddFrame(std::move(frame));
    return true;
}

bool DecodeIcon(CImageReader& reader, CImage& image)
{
    uint8_t directory[6], entry[16];
    if (!reader.Read(directory, sizeof directory) || Le16(directory) != 0 ||
        (Le16(directory + 2) != 1 && Le16(directory + 2) != 2) || Le16(directory + 4) == 0 ||
        !reader.Read(entry, sizeof entry))
        return false;
    reader.Rewind();
    if (!reader.Skip(Le32(entry + 12)))
        return false;
    // Newer icons may hold a PNG stream in place of the bitmap.
    static const uint8_t png[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    if (reader.Remaining() >= 8 && std::memcmp(reader.Current(), png, 8) == 0)
        return reader.Skip(8) && DecodePng(reader, image, 0);

    CImageFrame frame;
    CImageBitmap& bitmap = frame.bitmap;
    int bitCount = 0;
    if (!ReadDib(reader, 0, true, bitmap, bitCount))
        return false;
    if (bitCount != 32) {
        // The AND mask, bottom row first: a set bit is a transparent pixel.
        const uint64_t stride = (static_cast<uint64_t>(bitmap.width) + 31) / 32 * 4;
        if (stride * bitmap.height > reader.Remaining())
            return false;
        for (int y = 0; y < bitmap.height; ++y) {
            const uint8_t* mask = reader.Current() + stride * y;
            uint32_t* row = bitmap.Row(bitmap.height - 1 - y);
            for (int x = 0; x < bitmap.width; ++x)
                row[x] = (row[x] & 0xFFFFFF) | ((mask[x / 8] >> (7 - x % 8) & 1) ? 0 : 0xFF000000u);
        }
    }
    bitmap.hasAlpha = true;
    image.AddFrame(std::move(frame));
    return true;
}
