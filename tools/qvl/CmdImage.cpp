// qvl image FILE [--png OUT.png]: decodes an image file the way the program does and describes
// it; theme authors check their pictures with it.
#include "images/Image.h"
#include "images/PngWriter.h"
#include "tools/qvl/Command.h"

#include <cstdio>

namespace {

const char* AlphaKind(const CImageBitmap& bitmap)
{
    if (bitmap.keyed)
        return "keyed";
    return bitmap.hasAlpha ? "alpha" : "opaque";
}

int Run(const qvl::Arguments& args)
{
    std::string file, png;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--png" && i + 1 < args.size())
            png = args[++i];
        else if (file.empty() && args[i] != "--png")
            file = args[i];
        else
            return qvl::UsageError(*qvl::FindCommand("image"));
    }
    if (file.empty())
        return qvl::UsageError(*qvl::FindCommand("image"));
    const CImagePtr image = GetImage(file);
    if (!image) {
        std::fprintf(stderr, "qvl: %s is not an image that can be decoded\n", file.c_str());
        return qvl::kExitFailure;
    }
    const plat::Size size = image->GetSize();
    std::printf("%s: %d x %d, %d frame%s\n", file.c_str(), size.cx, size.cy,
                image->GetFrameCount(), image->GetFrameCount() == 1 ? "" : "s");
    for (int i = 0; i < image->GetFrameCount(); ++i) {
        const CImageBitmap& bitmap = image->GetFrame(i)->bitmap;
        std::printf("  frame %d: %d x %d, %u ms, %s", i, bitmap.width, bitmap.height,
                    image->GetFrameTime(i), AlphaKind(bitmap));
        if (bitmap.keyed)
            std::printf(" (key colour %06x)", bitmap.keyColour);
        std::printf("\n");
    }
    if (!png.empty()) {
        const CImageBitmap& first = image->GetFrame(0)->bitmap;
        plat::Surface pixels{reinterpret_cast<uint8_t*>(const_cast<uint32_t*>(first.pixels.data())),
                             first.width, first.height, first.width * 4};
        if (!WritePngFile(png, pixels, first.premultiplied)) {
            std::fprintf(stderr, "qvl: cannot write %s\n", png.c_str());
            return qvl::kExitFailure;
        }
    }
    return qvl::kExitOk;
}

const qvl::Command kCommand{
    "image", "FILE [--png OUT.png]",
    "decodes an image and prints its size, frames, frame times and kind of alpha",
    "The file is decoded as the program decodes images (the format comes from its content).\n"
    "With --png the first frame is written as a PNG file.",
    Run};
const qvl::CommandRegistration kRegistration(kCommand);

}  // namespace
