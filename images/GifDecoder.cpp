// GIF: LZW-coded frames with colour tables, transparency by colour and per-frame delays.
#include "images/Decoders.h"

#include <algorithm>
#include <cstring>

namespace {

struct Palette {
    uint32_t colours[256] = {};
    int count = 0;
};

bool ReadPalette(CImageReader& reader, int count, Palette& palette)
{
    uint8_t rgb[256 * 3];
    if (!reader.Read(rgb, static_cast<size_t>(count) * 3))
        return false;
    for (int i = 0; i < count; ++i)
        palette.colours[i] = MakePixel(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]);
    palette.count = count;
    return true;
}

// A chain of data sub-blocks up to its empty terminator, appended to out (or skipped).
bool ReadSubBlocks(CImageReader& reader, std::vector<uint8_t>* out)
{
    for (;;) {
        uint8_t size = 0;
        if (!reader.Read(&size, 1))
            return false;
        if (size == 0)
            return true;
        if (size > reader.Remaining())
            return false;
        if (out)
            out->insert(out->end(), reader.Current(), reader.Current() + size);
        reader.Skip(size);
    }
}

// Decodes LZW data into colour indexes. False for a code that the table cannot hold yet;
// data that stops early leaves the remaining indexes at 0.
bool DecodeLzw(const std::vector<uint8_t>& data, int minCodeSize, std::vector<uint8_t>& out)
{
    if (minCodeSize < 1 || minCodeSize > 11)
        return false;
    constexpr int kTableSize = 4096;
    const int clear = 1 << minCodeSize, end = clear + 1;
    std::vector<uint16_t> prefix(kTableSize, 0);
    std::vector<uint8_t> suffix(kTableSize, 0), stack(kTableSize + 1);
    for (int i = 0; i < clear; ++i)
        suffix[i] = static_cast<uint8_t>(i);
    int codeSize = minCodeSize + 1, next = clear + 2, old = -1;
    uint8_t first = 0;
    uint32_t bits = 0;
    int bitCount = 0;
    size_t in = 0, at = 0;
    while (at < out.size()) {
        while (bitCount < codeSize) {
            if (in >= data.size())
                return true;
            bits |= static_cast<uint32_t>(data[in++]) << bitCount;
            bitCount += 8;
        }
        int code = static_cast<int>(bits & ((1u << codeSize) - 1));
        bits >>= codeSize;
        bitCount -= codeSize;
        if (code == clear) {
            codeSize = minCodeSize + 1;
            next = clear + 2;
            old = -1;
            continue;
        }
        if (code == end)
            return true;
        if (old < 0) {
            if (code > clear)
                return false;
            out[at++] = static_cast<uint8_t>(code);
            old = first = static_cast<uint8_t>(code);
            continue;
        }
        const int incoming = code;
        int depth = 0;
        if (code > next || (code == next && next >= kTableSize))
            return false;
        if (code == next) {   // the code being defined: the previous string plus its first byte
            stack[depth++] = first;
            code = old;
        }
        while (code > end) {
            if (depth >= kTableSize)
                return false;
            stack[depth++] = suffix[code];
            code = prefix[code];
        }
        if (code >= clear)
            return false;
        first = static_cast<uint8_t>(code);
        stack[depth++] = first;
        if (next < kTableSize) {
            prefix[next] = static_cast<uint16_t>(old);
            suffix[next] = first;
            if (++next == (1 << codeSize) && codeSize < 12)
                ++codeSize;
        }
        while (depth > 0 && at < out.size())
            out[at++] = stack[--depth];
        old = incoming;
    }
    return true;
}

// Row order of interlaced images: every 8th row from 0, every 8th from 4, every 4th from 2,
// every 2nd from 1.
std::vector<int> RowOrder(int height, bool interlaced)
{
    std::vector<int> rows;
    rows.reserve(height);
    if (!interlaced) {
        for (int y = 0; y < height; ++y)
            rows.push_back(y);
        return rows;
    }
    const int starts[4] = {0, 4, 2, 1}, steps[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = starts[pass]; y < height; y += steps[pass])
            rows.push_back(y);
    return rows;
}

}  // namespace

bool DecodeGif(CImageReader& reader, CImage& image)
{
    uint8_t header[13];
    if (!reader.Read(header, sizeof header) ||
        (std::memcmp(header, "GIF87a", 6) != 0 && std::memcmp(header, "GIF89a", 6) != 0))
        return false;
    const int screenW = Le16(header + 6), screenH = Le16(header + 8);
    if (!ImageSizeAllowed(screenW, screenH))
        return false;
    image.SetSize(screenW, screenH);
    Palette global;
    const bool hasGlobal = (header[10] & 0x80) != 0;
    if (hasGlobal && !ReadPalette(reader, 2 << (header[10] & 7), global))
        return false;

    // Graphic control settings stay in force until the next graphic control extension.
    bool transparent = false, sawControl = false;
    int transparentIndex = 0, delay = 0;
    for (;;) {
        uint8_t kind = 0;
        if (!reader.Read(&kind, 1))
            return false;   // ended before the trailer
        if (kind == ';')
            return image.GetFrameCount() > 0;
        if (kind == '!') {
            uint8_t label = 0;
            std::vector<uint8_t> data;
            if (!reader.Read(&label, 1) || !ReadSubBlocks(reader, label == 0xF9 ? &data : nullptr))
                return false;
            if (label == 0xF9 && data.size() >= 4) {
                transparent = (data[0] & 1) != 0;
                delay = Le16(&data[1]);
                transparentIndex = data[3];
                sawControl = true;
            }
            continue;
        }
        if (kind != ',')
            return false;

        uint8_t d[9];
        if (!reader.Read(d, sizeof d))
            return false;
        const int left = Le16(d), top = Le16(d + 2), w = Le16(d + 4), h = Le16(d + 6);
        Palette local;
        const Palette* table = hasGlobal ? &global : nullptr;
        if (d[8] & 0x80) {
            if (!ReadPalette(reader, 2 << (d[8] & 7), local))
                return false;
            table = &local;
        }
        uint8_t minCodeSize = 0;
        std::vector<uint8_t> data;
        if (!reader.Read(&minCodeSize, 1) || !ReadSubBlocks(reader, &data))
            return false;
        // No colour table to map indexes with, a picture too large, or one wholly outside the
        // logical screen: malformed.
        if (!table || !ImageSizeAllowed(w, h) || left >= screenW || top >= screenH ||
            image.PixelCount() + static_cast<uint64_t>(screenW) * screenH > kMaxImagePixels)
            return false;
        std::vector<uint8_t> indexes(static_cast<size_t>(w) * h, 0);
        if (!DecodeLzw(data, minCodeSize, indexes))
            return false;

        const bool keyed = transparent && transparentIndex < table->count;
        const uint32_t key = keyed ? PixelColour(table->colours[transparentIndex]) : 0;
        const auto colourOf = [&](uint8_t index) {
            return index < table->count ? table->colours[index] : MakePixel(0, 0, 0);
        };
        CImageFrame frame;
        CImageBitmap& bitmap = frame.bitmap;
        const std::vector<int> rows = RowOrder(h, (d[8] & 0x40) != 0);
        const bool fullScreen = w == screenW && h == screenH;
        if (fullScreen) {
            bitmap.Allocate(w, h);
            for (int i = 0; i < h; ++i) {
                uint32_t* row = bitmap.Row(rows[i]);
                for (int x = 0; x < w; ++x)
                    row[x] = colourOf(indexes[static_cast<size_t>(i) * w + x]);
            }
        } else {
            // Over a copy of the previous frame (or, for the first, a transparent screen), at
            // its position, clipped to the screen; pixels of the key colour let it show.
            if (image.GetFrameCount() > 0)
                bitmap = image.Frames().back().bitmap;
            else
                bitmap.Allocate(screenW, screenH);
            for (int i = 0; i < h; ++i) {
                const int y = top + rows[i];
                if (y >= screenH)
                    continue;
                uint32_t* row = bitmap.Row(y);
                for (int x = 0; x < w && left + x < screenW; ++x) {
                    const uint32_t colour = colourOf(indexes[static_cast<size_t>(i) * w + x]);
                    if (!keyed || PixelColour(colour) != key)
                        row[left + x] = colour;
                }
            }
        }
        bitmap.keyed = keyed;
        bitmap.keyColour = key;
        bitmap.premultiplied = false;
        bool anyAlpha = false;
        for (uint32_t& p : bitmap.pixels) {
            if (keyed)
                p = (p & 0xFFFFFF) | (PixelColour(p) == key ? 0u : 0xFF000000u);
            anyAlpha = anyAlpha || (p >> 24) != 255;
        }
        bitmap.hasAlpha = anyAlpha;
        frame.time = sawControl ? static_cast<uint32_t>(delay) * 10 : 0;
        image.AddFrame(std::move(frame));
    }
}
