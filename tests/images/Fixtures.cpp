#include "Fixtures.h"

#include <cstdio>
#include <jpeglib.h>
#include <png.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

void Put16(Bytes& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(Bytes& out, uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void PutBe32(Bytes& out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

void Append(Bytes& out, const Bytes& more)
{
    out.insert(out.end(), more.begin(), more.end());
}

Picture Pattern(int width, int height, bool alpha)
{
    Picture p(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* px = p.At(x, y);
            px[0] = static_cast<uint8_t>(x * 255 / std::max(1, width - 1));
            px[1] = static_cast<uint8_t>(y * 255 / std::max(1, height - 1));
            px[2] = static_cast<uint8_t>((x / 8 + y / 8) % 2 ? 200 : 40);
            if (alpha) {
                const double dx = x - width / 2.0, dy = y - height / 2.0;
                const double r = std::sqrt(dx * dx + dy * dy) / (std::min(width, height) / 2.0);
                px[3] = static_cast<uint8_t>(r >= 1 ? 0 : std::lround(255 * (1 - r)));
            }
        }
    return p;
}

Bytes MakePng(const Picture& picture)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(picture.width);
    image.height = static_cast<png_uint_32>(picture.height);
    // Opaque pictures are written without an alpha channel.
    std::vector<uint8_t> pixels;
    bool opaque = true;
    for (size_t i = 3; i < picture.rgba.size(); i += 4)
        opaque = opaque && picture.rgba[i] == 255;
    for (size_t i = 0; i < picture.rgba.size(); ++i)
        if (!opaque || i % 4 != 3)
            pixels.push_back(picture.rgba[i]);
    image.format = opaque ? PNG_FORMAT_RGB : PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr);
    Bytes out(size);
    png_image_write_to_memory(&image, out.data(), &size, 0, pixels.data(), 0, nullptr);
    out.resize(size);
    return out;
}

Bytes MakeJpeg(const Picture& picture, int components)
{
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(picture.width);
    info.image_height = static_cast<JDIMENSION>(picture.height);
    info.input_components = components;
    info.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 3 ? JCS_RGB : JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(picture.width) * components);
    while (info.next_scanline < info.image_height) {
        const uint8_t* src = picture.rgba.data() +
                             static_cast<size_t>(info.next_scanline) * picture.width * 4;
        for (int x = 0; x < picture.width; ++x)
            for (int k = 0; k < components; ++k)
                row[static_cast<size_t>(x) * components + k] =
                    components == 1 ? src[4 * x + 1] : src[4 * x + (k < 3 ? k : 0)];
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

Bytes GifLzw(const std::vector<uint8_t>& indexes, int minCodeSize)
{
    const int clear = 1 << minCodeSize, end = clear + 1;
    const int codeSize = minCodeSize + 1;
    Bytes out;
    uint32_t bits = 0;
    int count = 0;
    const auto emit = [&](int code) {
        bits |= static_cast<uint32_t>(code) << count;
        count += codeSize;
        while (count >= 8) {
            out.push_back(static_cast<uint8_t>(bits));
            bits >>= 8;
            count -= 8;
        }
    };
    // After a clear code each literal but the first adds a table entry; clear again before
    // the table would need a wider code.
    int next = clear + 2;
    bool first = true;
    emit(clear);
    for (uint8_t index : indexes) {
        if (!first && next + 1 >= (1 << codeSize)) {
            emit(clear);
            next = clear + 2;
            first = true;
        }
        emit(index);
        if (!first)
            ++next;
        first = false;
    }
    emit(end);
    if (count > 0)
        out.push_back(static_cast<uint8_t>(bits));
    return out;
}

namespace {

void PutTable(Bytes& out, const std::vector<uint32_t>& table)
{
    for (uint32_t c : table) {
        out.push_back(static_cast<uint8_t>(c >> 16));
        out.push_back(static_cast<uint8_t>(c >> 8));
        out.push_back(static_cast<uint8_t>(c));
    }
}

// The table size field for a table of n entries (n a power of two from 2 to 256).
int TableBits(size_t n)
{
    int bits = 0;
    while ((2u << bits) < n)
        ++bits;
    return bits;
}

void PutSubBlocks(Bytes& out, const Bytes& data)
{
    for (size_t i = 0; i < data.size(); i += 255) {
        const size_t n = std::min<size_t>(255, data.size() - i);
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), data.begin() + static_cast<long>(i), data.begin() + static_cast<long>(i + n));
    }
    out.push_back(0);
}

void PutChunk(Bytes& out, const char* type, const Bytes& data)
{
    PutBe32(out, static_cast<uint32_t>(data.size()));
    out.insert(out.end(), type, type + 4);
    Append(out, data);
    PutBe32(out, 0);   // the MNG reader does not check chunk CRCs
}

}  // namespace

Bytes MakeGif(int width, int height, const std::vector<uint32_t>& globalTable,
              const std::vector<GifImage>& images, bool trailer)
{
    Bytes out = {'G', 'I', 'F', '8', '9', 'a'};
    Put16(out, width);
    Put16(out, height);
    out.push_back(globalTable.empty() ? 0 : static_cast<uint8_t>(0x80 | TableBits(globalTable.size())));
    out.push_back(0);
    out.push_back(0);
    PutTable(out, globalTable);
    for (const GifImage& image : images) {
        if (image.control) {
            out.insert(out.end(), {0x21, 0xF9, 4});
            out.push_back(image.transparentIndex >= 0 ? 1 : 0);
            Put16(out, image.delay);
            out.push_back(static_cast<uint8_t>(image.transparentIndex >= 0 ? image.transparentIndex : 0));
            out.push_back(0);
        }
        out.push_back(',');
        Put16(out, image.left);
        Put16(out, image.top);
        Put16(out, image.width);
        Put16(out, image.height);
        out.push_back(image.localTable.empty() ? 0 : static_cast<uint8_t>(0x80 | TableBits(image.localTable.size())));
        PutTable(out, image.localTable);
        const int minCodeSize = 8;
        out.push_back(minCodeSize);
        PutSubBlocks(out, GifLzw(image.indexes, minCodeSize));
    }
    if (trailer)
        out.push_back(';');
    return out;
}

Bytes MakeMng(int width, int height, uint32_t ticksPerSecond, const std::vector<MngFrame>& frames,
              bool end)
{
    Bytes out = {0x8A, 'M', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes header;
    PutBe32(header, width);
    PutBe32(header, height);
    PutBe32(header, ticksPerSecond);
    for (int i = 0; i < 4; ++i)
        PutBe32(header, 0);
    PutChunk(out, "MHDR", header);
    PutChunk(out, "BACK", {0, 0, 0, 0, 0, 0});
    for (const MngFrame& frame : frames) {
        if (frame.framDelay >= 0) {
            Bytes fram = {1, 0, 2, 0, 0, 0};   // mode, empty name, change the delay for good
            PutBe32(fram, static_cast<uint32_t>(frame.framDelay));
            PutChunk(out, "FRAM", fram);
        }
        const Bytes png = MakePng(frame.picture);
        out.insert(out.end(), png.begin() + 8, png.end());   // without its signature
    }
    if (end)
        PutChunk(out, "MEND", {});
    return out;
}

Bytes BitmapInfo(int width, int height, int bitCount, uint32_t compression, uint32_t colours,
                 uint32_t imageSize)
{
    Bytes out;
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(width));
    Put32(out, static_cast<uint32_t>(height));
    Put16(out, 1);
    Put16(out, bitCount);
    Put32(out, compression);
    Put32(out, imageSize);
    Put32(out, 2835);
    Put32(out, 2835);
    Put32(out, colours);
    Put32(out, 0);
    return out;
}

Bytes WithFileHeader(const Bytes& dib, uint32_t pixelOffsetFromDib)
{
    Bytes out = {'B', 'M'};
    Put32(out, static_cast<uint32_t>(14 + dib.size()));
    Put32(out, 0);
    Put32(out, 14 + pixelOffsetFromDib);
    Append(out, dib);
    return out;
}
