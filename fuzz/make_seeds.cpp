// Writes a small seed corpus for the image fuzz targets: one valid file of each format and
// variant the decoders know, made with the test fixtures.
#include "tests/images/Fixtures.h"

#include <cstdio>
#include <string>

namespace {

void Write(const std::string& folder, const std::string& name, const Bytes& data)
{
    if (FILE* f = std::fopen((folder + "/" + name).c_str(), "wb")) {
        std::fwrite(data.data(), 1, data.size(), f);
        std::fclose(f);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds FOLDER\n");
        return 2;
    }
    const std::string out = argv[1];
    const std::vector<uint32_t> colours = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    Write(out, "alpha.png", MakePng(Pattern(12, 9, true)));
    Write(out, "opaque.png", MakePng(Pattern(9, 5, false)));
    Write(out, "grey.jpg", MakeJpeg(Pattern(16, 16, false), 1));
    Write(out, "colour.jpg", MakeJpeg(Pattern(16, 8, false), 3));
    Write(out, "animated.gif",
          MakeGif(4, 4, colours,
                  {{0, 0, 4, 4, std::vector<uint8_t>(16, 0), {}, true, 10, -1},
                   {1, 1, 3, 2, {2, 3, 2, 2, 3, 2}, {0x102030, 0x405060, 0x708090, 0xA0B0C0}, true, 5, 3}}));
    Write(out, "frames.mng",
          MakeMng(6, 4, 100, {{Pattern(6, 4, false), 5}, {Pattern(6, 4, true), -1}}));
    Bytes bmp8 = BitmapInfo(3, 2, 8, 0, 2);
    Append(bmp8, {0, 0, 255, 0, 255, 0, 0, 0, 1, 0, 1, 0, 0, 1, 0, 0});
    Write(out, "palette.bmp", WithFileHeader(bmp8, 48));
    Write(out, "bare.dib", bmp8);
    Bytes rle = BitmapInfo(4, 2, 8, 1, 2, 12);
    Append(rle, {0, 0, 255, 0, 255, 0, 0, 0, 3, 1, 0, 0, 0, 2, 1, 0, 0, 3, 0, 1, 0, 0});
    Write(out, "rle.bmp", WithFileHeader(rle, 48));
    Bytes fields = BitmapInfo(2, 2, 16, 3, 0);
    Append(fields, {0, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8});
    Write(out, "fields.bmp", WithFileHeader(fields, 52));
    Bytes icon = {0, 0, 1, 0, 1, 0, 2, 2, 0, 0, 1, 0, 24, 0, 64, 0, 0, 0, 22, 0, 0, 0};
    Append(icon, BitmapInfo(2, 4, 24, 0, 0));
    Append(icon, {255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 255, 255, 255, 255, 0, 0});
    Append(icon, {0x40, 0, 0, 0, 0x80, 0, 0, 0});
    Write(out, "mask.ico", icon);
    Bytes pcx(128, 0);
    pcx[0] = 10, pcx[1] = 5, pcx[2] = 1, pcx[3] = 8, pcx[8] = 3, pcx[10] = 1, pcx[65] = 1, pcx[66] = 4;
    Append(pcx, {0xC4, 7, 1, 2, 0xC2, 3, 12});
    for (int i = 0; i < 256; ++i)
        Append(pcx, {static_cast<uint8_t>(i), static_cast<uint8_t>(i), 9});
    Write(out, "indexed.pcx", pcx);
    return 0;
}
