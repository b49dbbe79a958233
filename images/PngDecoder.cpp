// PNG through libpng, and MNG frame sequences whose frames are embedded PNG streams.
#include "images/Decoders.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <memory>

namespace {

// What the libpng callbacks reach; lives on the heap so nothing of it sits in a frame that a
// longjmp abandons.
struct PngRead {
    CImageReader* reader = nullptr;
    CImageFrame frame;
    std::vector<png_bytep> rows;
};

void ReadData(png_structp png, png_bytep out, size_t length)
{
    auto* state = static_cast<PngRead*>(png_get_io_ptr(png));
    if (!state->reader->Read(out, length))
        png_error(png, "truncated");
}

void OnError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// Everything between setjmp and the end runs only libpng calls and plain stores, so a longjmp
// out of libpng skips no destructor.
bool ReadPng(png_structp png, png_infop info, PngRead& state)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_read_fn(png, &state, ReadData);
    png_set_sig_bytes(png, 8);
    png_set_user_limits(png, kMaxImageSide, kMaxImageSide);
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
#endif
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (!ImageSizeAllowed(width, height))
        return false;
    const int colourType = png_get_color_type(png, info);
    const bool transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;

    png_set_bgr(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_palette_to_rgb(png);
    png_set_expand_gray_1_2_4_to_8(png);
    if (transparency)
        png_set_tRNS_to_alpha(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_packing(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<size_t>(width) * 4)
        return false;

    CImageBitmap& bitmap = state.frame.bitmap;
    if (!bitmap.Allocate(static_cast<int>(width), static_cast<int>(height)))
        return false;
    bitmap.hasAlpha = (colourType & PNG_COLOR_MASK_ALPHA) != 0 || transparency;
    state.rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y)
        state.rows[y] = reinterpret_cast<png_bytep>(bitmap.Row(static_cast<int>(y)));
    png_read_image(png, state.rows.data());
    png_read_end(png, nullptr);   // leaves the reader after IEND, where an MNG stream goes on
    return true;
}

}  // namespace

bool DecodePng(CImageReader& reader, CImage& image, uint32_t time)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    auto state = std::make_unique<PngRead>();
    state->reader = &reader;
    const bool ok = info && ReadPng(png, info, *state);
    png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    if (!ok || image.PixelCount() + state->frame.bitmap.pixels.size() > kMaxImagePixels)
        return false;
    state->frame.time = time;
    image.AddFrame(std::move(state->frame));
    return true;
}

bool DecodeMng(CImageReader& reader, CImage& image)
{
    uint32_t ticksPerSecond = 1000;
    uint32_t delay = 100;
    for (;;) {
        uint8_t head[8];
        if (!reader.Read(head, sizeof head))
            return false;   // ended before MEND
        const uint32_t length = Be32(head);
        // The length is unsigned and must leave room for its data and CRC in what is left.
        if (static_cast<uint64_t>(length) + 4 > reader.Remaining())
            return false;
        const uint8_t* data = reader.Current();
        if (std::memcmp(head + 4, "MEND", 4) == 0)
            return image.GetFrameCount() > 0;
        if (std::memcmp(head + 4, "IHDR", 4) == 0) {
            reader.Skip(-8);   // the embedded PNG stream starts at this chunk
            if (!DecodePng(reader, image, delay ? delay : 1000))
                return false;
            continue;
        }
        if (std::memcmp(head + 4, "MHDR", 4) == 0 && length >= 12) {
            const uint32_t width = Be32(data), height = Be32(data + 4);
            if (!ImageSizeAllowed(width, height))
                return false;
            image.SetSize(static_cast<int>(width), static_cast<int>(height));
            ticksPerSecond = Be32(data + 8) ? Be32(data + 8) : 1000;
        } else if (std::memcmp(head + 4, "FRAM", 4) == 0 && length > 6) {
            // Framing mode, a zero-terminated name, four change flags, then the delay when
            // the first flag asks for a change.
            uint32_t at = 1;
            while (at < length && data[at] != 0)
                ++at;
            const uint64_t flags = at + 1, delayAt = flags + 4;
            if (delayAt + 4 <= length && data[flags] != 0)
                delay = static_cast<uint32_t>(
                    std::min<uint64_t>(uint64_t{Be32(data + delayAt)} * 1000 / ticksPerSecond,
                                       UINT32_MAX));
        }
        reader.Skip(static_cast<int64_t>(length) + 4);
    }
}
