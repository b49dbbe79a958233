// The drawing library's process-wide state: what start-up stored, the font-size addition, the
// shared pixel buffer, the created fonts and the FreeType font engine with its glyph cache. One
// lock guards all of it; every member function except Get expects the caller to hold it.
#pragma once
#include "drawing/SchemeFont.h"
#include "platform/Fonts.h"

#include <agg_font_cache_manager.h>
#include <agg_font_freetype.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

using FontEngine = agg::font_engine_freetype_int32;
using GlyphCache = agg::font_cache_manager<FontEngine>;

// A font made from a record for one pixel height.
struct CCreatedFont {
    uint64_t serial = 0;        // tells fonts apart for the engine
    SchemeFont record;
    int pixelHeight = 0;
    bool mono = false;          // hinted one-bit glyphs instead of 8-bit coverage
    plat::FontFace face;
    plat::FontMetrics metrics;
    int ascent = 0;
    int lineHeight = 0;         // cell height plus external leading
};
using CFontPtr = std::shared_ptr<const CCreatedFont>;

using PixelBuffer = std::vector<uint8_t>;

// value * numerator / denominator computed in 64 bits and rounded half away from zero, as the
// Windows MulDiv; -1 for a zero denominator or a result beyond 32 bits.
inline int MulDiv(int value, int numerator, int denominator)
{
    if (denominator == 0)
        return -1;
    const int64_t product = static_cast<int64_t>(value) * numerator;
    const int64_t d = denominator < 0 ? -static_cast<int64_t>(denominator) : denominator;
    const int64_t p = denominator < 0 ? -product : product;
    const int64_t q = p >= 0 ? (p + d / 2) / d : -((-p + d / 2) / d);
    return q < INT32_MIN || q > INT32_MAX ? -1 : static_cast<int>(q);
}

class CDrawLibrary {
public:
    static CDrawLibrary& Get();
    std::mutex& Lock() { return m_lock; }

    std::string m_ellipsis = "...";
    intptr_t m_reserved = 0;
    uintptr_t m_window = 0;

    int FontAddition() const { return m_fontAddition; }
    void SetFontAddition(int points);   // drops the created fonts

    // The font for a record at a resolution, created on first use; none when it cannot be made.
    CFontPtr FindOrCreateFont(const SchemeFont& record, int dpiY, bool printing);
    // Binds a font to the engine; answers the glyph cache to take its glyphs from, or none.
    GlyphCache* Bind(const CCreatedFont& font);

    // A cleared-on-demand pixel buffer of at least the size given. The shared buffer only grows;
    // while an earlier context still holds it, a context gets a buffer of its own.
    std::shared_ptr<PixelBuffer> AcquireBuffer(size_t bytes);

    void Shutdown();   // frees fonts, the engine and its glyph cache, and the shared buffer

private:
    using FontKey = std::tuple<std::string, int, int, int, int, int, int>;
    static FontKey KeyOf(const SchemeFont& record, int pixelHeight);

    std::mutex m_lock;
    int m_fontAddition = 0;
    uint64_t m_nextSerial = 1;
    std::map<FontKey, CFontPtr> m_fonts;
    std::unique_ptr<FontEngine> m_engine;
    std::unique_ptr<GlyphCache> m_glyphs;
    uint64_t m_boundSerial = 0;
    std::shared_ptr<PixelBuffer> m_buffer;
};
