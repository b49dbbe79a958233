// Feeds arbitrary bytes to the image decoders: through CImage::Load (the format told by the first
// bytes) or, built with QVL_FUZZ_DECODER, straight into one decoder. Whatever decodes must have
// frames whose pixels match their sizes and that can be drawn, resized and cropped.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "images/Decoders.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CImage image;
    CImageReader reader(data, size);
#ifdef QVL_FUZZ_DECODER
    const bool ok = QVL_FUZZ_DECODER(reader, image);
#else
    const bool ok = image.Load(reader);
#endif
    if (!ok)
        return 0;
    std::vector<uint32_t> pixels(32 * 32, 0xFF808080u);
    plat::Surface target{reinterpret_cast<uint8_t*>(pixels.data()), 32, 32, 32 * 4};
    for (int i = 0; i < image.GetFrameCount(); ++i) {
        const CImageBitmap& bitmap = image.GetFrame(i)->bitmap;
        if (bitmap.width <= 0 || bitmap.height <= 0 ||
            bitmap.pixels.size() != static_cast<size_t>(bitmap.width) * bitmap.height)
            std::abort();
        image.DrawFrame(i, target, {-3, -3, 29, 29}, (i & 1) != 0, 100);
        image.DrawFrame(i, target, {5, 5, 5 + bitmap.width, 5 + bitmap.height}, false, 0);
    }
    image.Crop(1, 1, 5, 5);
    return 0;
}
