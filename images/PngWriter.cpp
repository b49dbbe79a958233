#include "images/PngWriter.h"
#include "platform/File.h"

#include <png.h>

#include <algorithm>
#include <cstring>

namespace {

// PNG holds straight colours: divide premultiplied ones back out.
std::vector<uint8_t> StraightCopy(const plat::Surface& s, bool premultiplied)
{
    std::vector<uint8_t> out(static_cast<size_t>(s.width) * s.height * 4);
    for (int y = 0; y < s.height; ++y) {
        uint8_t* d = out.data() + static_cast<size_t>(y) * s.width * 4;
        std::memcpy(d, s.Row(y), static_cast<size_t>(s.width) * 4);
        if (!premultiplied)
            continue;
        for (int x = 0; x < s.width; ++x, d += 4)
            if (d[3] != 0 && d[3] != 255)
                for (int k = 0; k < 3; ++k)
                    d[k] = static_cast<uint8_t>(std::min(255, (d[k] * 255 + d[3] / 2) / d[3]));
    }
    return out;
}

png_image Describe(const plat::Surface& s)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(s.width);
    image.height = static_cast<png_uint_32>(s.height);
    image.format = PNG_FORMAT_BGRA;
    return image;
}

}  // namespace

bool EncodePng(const plat::Surface& pixels, bool premultiplied, std::vector<uint8_t>& out)
{
    if (!pixels.IsValid())
        return false;
    const std::vector<uint8_t> straight = StraightCopy(pixels, premultiplied);
    png_image image = Describe(pixels);
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, straight.data(), 0, nullptr))
        return false;
    out.resize(size);
    const bool ok =
        png_image_write_to_memory(&image, out.data(), &size, 0, straight.data(), 0, nullptr) != 0;
    out.resize(ok ? size : 0);
    png_image_free(&image);
    return ok;
}

bool WritePngFile(const std::string& path, const plat::Surface& pixels, bool premultiplied)
{
    std::vector<uint8_t> data;
    return EncodePng(pixels, premultiplied, data) &&
           plat::WriteFileReplacing(path, data.data(), data.size());
}
