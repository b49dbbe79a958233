// Images of the interface: shared, possibly multi-frame 32-bit pictures with alpha and a display
// time per frame, decoded from PNG, MNG, GIF, JPEG, BMP, icon and PCX data, and found by name
// through a process-wide cache.
#pragma once
#include "drawing/DrawDC.h"
#include "platform/Surface.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Decoders refuse pictures beyond these, before allocating anything.
inline constexpr int kMaxImageSide = 16384;
inline constexpr uint64_t kMaxImagePixels = 64ull * 1024 * 1024;   // per frame and per image

// One frame's pixels: rows top to bottom; each pixel a 32-bit value whose bytes in memory are
// blue, green, red, alpha. Colours are straight (not multiplied by alpha) unless premultiplied
// is set. A frame without alpha has every alpha byte at 255.
struct CImageBitmap {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    bool hasAlpha = false;
    bool keyed = false;            // GIF transparency: pixels of the key colour are not drawn
    uint32_t keyColour = 0;        // red in the lowest byte, then green, blue
    bool premultiplied = false;

    bool Allocate(int w, int h);   // false for sizes beyond the limits
    uint32_t* Row(int y) { return pixels.data() + static_cast<size_t>(y) * width; }
    const uint32_t* Row(int y) const { return pixels.data() + static_cast<size_t>(y) * width; }
};

// Pixel values in memory order blue, green, red, alpha.
inline uint32_t MakePixel(unsigned r, unsigned g, unsigned b, unsigned a = 255)
{
    return (b & 0xFF) | (g & 0xFF) << 8 | (r & 0xFF) << 16 | (a & 0xFF) << 24;
}
// A pixel's colour as a colour value (red in the lowest byte), without alpha.
inline uint32_t PixelColour(uint32_t pixel)
{
    return (pixel >> 16 & 0xFF) | (pixel & 0xFF00) | (pixel & 0xFF) << 16;
}

struct CImageFrame {
    CImageBitmap bitmap;
    uint32_t time = 0;   // milliseconds to show it; 0 for no time
};

// The decoders' input: a block of bytes read from the front. Files are read into memory
// whole (at most kMaxImageFileSize bytes).
class CImageReader {
public:
    CImageReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool Read(void* out, size_t count);   // exactly count bytes, or false (nothing consumed)
    bool Skip(int64_t count);             // a negative count steps back; false outside the data
    void Rewind() { m_pos = 0; }
    size_t GetSize() const { return m_size; }
    size_t GetPosition() const { return m_pos; }
    size_t Remaining() const { return m_size - m_pos; }
    const uint8_t* Current() const { return m_data + m_pos; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

inline constexpr uint64_t kMaxImageFileSize = 64ull * 1024 * 1024;
// Reads a whole image file; false when it is missing, unreadable or too large.
bool ReadImageFile(const std::string& path, std::vector<uint8_t>& out);

class CImage;
using CImagePtr = std::shared_ptr<CImage>;

class CImage final : public IDrawableImage {
public:
    // Replaces the content with the decoded data; the format is told by its first bytes. On
    // failure the image is left empty.
    bool Load(CImageReader& reader);

    int GetFrameCount() const { return static_cast<int>(m_frames.size()); }
    uint32_t GetFrameTime(int index) const;   // 0 for an index out of range
    plat::Size GetSize() const override { return m_size; }
    const CImageFrame* GetFrame(int index) const;

    // Draws a frame into a target surface, at its own size when the rectangle has the frame's
    // size (or no width and height), else resized into the rectangle. clipToAlpha copies only
    // the pixels whose alpha is not 0; a constant alpha of 1 to 254 blends the frame that much
    // (0 and 255 mean none). False for a frame that does not exist.
    bool DrawFrame(int index, plat::Surface& target, const plat::Rect& rect, bool clipToAlpha,
                   int constantAlpha) const;

    // A new single-frame image with part of the first frame (limited to the image); none when
    // nothing is left.
    CImagePtr Crop(int x, int y, int width, int height) const;
    // Colour components of the first frame become component * alpha / 255, rounded; once.
    void PremultiplyAlpha();
    // An image from an icon's premultiplied pixels.
    static CImagePtr FromIcon(const plat::Surface& icon);
    // A surface over the first frame, for painting into it; EndDraw marks the frame as holding
    // the premultiplied pixels with alpha that drawing leaves.
    plat::Surface BeginDraw();
    void EndDraw(const plat::Surface& surface);

    bool GetDrawFrame(int frame, DrawImageFrame& out) const override;

    // Used by the decoders.
    void SetSize(int width, int height) { m_size = {width, height}; }
    void AddFrame(CImageFrame frame) { m_frames.push_back(std::move(frame)); }
    std::vector<CImageFrame>& Frames() { return m_frames; }
    uint64_t PixelCount() const;   // all frames together

private:
    plat::Size m_size;
    std::vector<CImageFrame> m_frames;
};

// The image of a name: a file path; "THEMEIMG:name" for an image of the current theme; a name
// holding "qvimglib", "package:file", for a file inside a package. %NAME% environment
// references are expanded first. Decoded images are cached under the name given (without
// regard to case) and shared. None when no source has it.
CImagePtr GetImage(const std::string& name);
void ClearImageCache();   // thread-safe

// Where GetImage looks beyond plain files. The theme loader sets these; until then package and
// theme names find nothing.
struct ImageSources {
    // Reads a named file of a package (a folder or an archive) into memory.
    std::function<bool(const std::string& package, const std::string& file,
                       std::vector<uint8_t>& data)> readPackageFile;
    // An image of the current theme by name (the theme keeps its own cache).
    std::function<CImagePtr(const std::string& name)> themeImage;
};
void SetImageSources(ImageSources sources);
