// Small image files made in memory for the image tests, the benchmarks and the fuzz corpora.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// A picture in straight RGBA, row by row from the top.
struct Picture {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
    Picture(int w, int h) : width(w), height(h), rgba(static_cast<size_t>(w) * h * 4, 255) {}
    uint8_t* At(int x, int y) { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
    const uint8_t* At(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
};
// A test pattern: colour bands with a circle whose alpha fades towards its edge.
Picture Pattern(int width, int height, bool alpha);

Bytes MakePng(const Picture& picture);
Bytes MakeJpeg(const Picture& picture, int components);   // 1 grey, 3 colour, 4 CMYK

// A GIF image block: colour indexes, optionally its own table and a graphic control block.
struct GifImage {
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<uint8_t> indexes;
    std::vector<uint32_t> localTable;   // 0xRRGGBB; empty: the global table
    bool control = true;                // write a graphic control extension first
    int delay = 0;                      // hundredths of a second
    int transparentIndex = -1;
};
Bytes MakeGif(int width, int height, const std::vector<uint32_t>& globalTable,
              const std::vector<GifImage>& images, bool trailer = true);
// LZW data of colour indexes with the code size kept constant (a clear code before it grows).
Bytes GifLzw(const std::vector<uint8_t>& indexes, int minCodeSize);

// An MNG stream: frames of PNG pictures, each after an optional FRAM delay (in ticks).
struct MngFrame {
    Picture picture;
    int framDelay = -1;   // -1: no FRAM chunk before it
};
Bytes MakeMng(int width, int height, uint32_t ticksPerSecond, const std::vector<MngFrame>& frames,
              bool end = true);

// Windows bitmaps: a bitmap information header and what follows it.
Bytes BitmapInfo(int width, int height, int bitCount, uint32_t compression, uint32_t colours,
                 uint32_t imageSize = 0);
Bytes WithFileHeader(const Bytes& dib, uint32_t pixelOffsetFromDib);
void Append(Bytes& out, const Bytes& more);
void Put16(Bytes& out, uint32_t v);
void Put32(Bytes& out, uint32_t v);
void PutBe32(Bytes& out, uint32_t v);
