// The decoders behind CImage::Load. Each reads from the reader's position, appends frames to the
// image and answers false when the data is not what it expects; none trusts a size, count,
// offset or index of the data before checking it.
#pragma once
#include "images/Image.h"

// PNG through libpng, the 8-byte signature already read (inside MNG: the reader at an IHDR
// chunk). The frame gets the time given.
bool DecodePng(CImageReader& reader, CImage& image, uint32_t time);
// MNG frame sequences, after the signature.
bool DecodeMng(CImageReader& reader, CImage& image);
bool DecodeGif(CImageReader& reader, CImage& image);
bool DecodeJpeg(CImageReader& reader, CImage& image);
// Windows bitmaps, with or without the 14-byte file header.
bool DecodeBmp(CImageReader& reader, CImage& image);
bool DecodeIcon(CImageReader& reader, CImage& image);
bool DecodePcx(CImageReader& reader, CImage& image);

// Reads a device-independent bitmap (information header, colour masks, colour table, pixels)
// and renders it into a 32-bit frame. pixelOffset, when not 0, is where the pixels start,
// counted from the reader's position on entry. For icons the header's height is twice the
// picture's. The alpha bytes are those of 32-bit data, 255 otherwise.
bool ReadDib(CImageReader& reader, uint64_t pixelOffset, bool icon, CImageBitmap& out,
             int& bitCount);

// Little-endian and big-endian fields of a byte block.
inline uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t Le32(const uint8_t* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline uint32_t Be32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

// True when a picture of this size may be decoded.
inline bool ImageSizeAllowed(int64_t width, int64_t height)
{
    return width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide &&
           static_cast<uint64_t>(width) * static_cast<uint64_t>(height) <= kMaxImagePixels;
}
