#include "drawing/DrawLibrary.h"

#include <agg_gamma_functions.h>

namespace {

// Above this the integer glyph outlines of the engine lose precision; nobody reads such text.
constexpr int kMaxPixelHeight = 2048;
// Pixel heights drawn with FreeType's hinted monochrome glyphs for crisp small text.
constexpr int kMonoLow = 10;
constexpr int kMonoHigh = 13;
constexpr double kGlyphGamma = 1.7;
constexpr unsigned kMaxFaces = 32;

std::string FoldAscii(const char* s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

}  // namespace

CDrawLibrary& CDrawLibrary::Get()
{
    static CDrawLibrary library;
    return library;
}

CDrawLibrary::FontKey CDrawLibrary::KeyOf(const SchemeFont& record, int pixelHeight)
{
    return {FoldAscii(record.szFaceName), record.nSize,      record.nWeight,
            record.bUnderline != 0,       record.bItalic != 0, record.bVertical != 0,
            pixelHeight};
}

void CDrawLibrary::SetFontAddition(int points)
{
    m_fonts.clear();
    m_fontAddition = points;
}

CFontPtr CDrawLibrary::FindOrCreateFont(const SchemeFont& record, int dpiY, bool printing)
{
    // The record may come from anywhere: make sure its name is terminated.
    SchemeFont safe = record;
    safe.szFaceName[sizeof safe.szFaceName - 1] = 0;

    const int64_t points = static_cast<int64_t>(safe.nSize) + (printing ? 0 : m_fontAddition);
    const int pixelHeight = points < INT32_MIN || points > INT32_MAX
                                ? -1
                                : MulDiv(static_cast<int>(points), dpiY, 72);
    if (pixelHeight < 1 || pixelHeight > kMaxPixelHeight)
        return nullptr;

    const FontKey key = KeyOf(safe, pixelHeight);
    if (auto it = m_fonts.find(key); it != m_fonts.end())
        return it->second;

    auto font = std::make_shared<CCreatedFont>();
    font->serial = m_nextSerial++;
    font->record = safe;
    font->pixelHeight = pixelHeight;
    font->mono = pixelHeight >= kMonoLow && pixelHeight <= kMonoHigh;
    if (!plat::FindFont(safe.szFaceName, safe.nWeight, safe.bItalic != 0, font->face) ||
        !plat::GetFontMetrics(font->face, pixelHeight, font->metrics) || !Bind(*font))
        return nullptr;
    font->ascent = font->metrics.ascent;
    font->lineHeight = font->metrics.ascent + font->metrics.descent + font->metrics.externalLeading;
    m_fonts.emplace(key, font);
    return font;
}

GlyphCache* CDrawLibrary::Bind(const CCreatedFont& font)
{
    if (!m_engine) {
        m_engine = std::make_unique<FontEngine>(kMaxFaces);
        m_glyphs = std::make_unique<GlyphCache>(*m_engine, kMaxFaces);
        m_engine->gamma(agg::gamma_power(kGlyphGamma));
        m_boundSerial = 0;
    }
    if (m_boundSerial == font.serial)
        return m_glyphs.get();
    m_boundSerial = 0;
    const auto rendering = font.mono ? agg::glyph_ren_native_mono : agg::glyph_ren_agg_gray8;
    if (!m_engine->load_font(font.face.path.c_str(), font.face.index, rendering))
        return nullptr;
    m_engine->hinting(true);
    m_engine->flip_y(true);   // FreeType's y axis points up, our rows run down
    if (!m_engine->height(font.pixelHeight))
        return nullptr;
    m_boundSerial = font.serial;
    return m_glyphs.get();
}

std::shared_ptr<PixelBuffer> CDrawLibrary::AcquireBuffer(size_t bytes)
{
    if (m_buffer && m_buffer.use_count() > 1)
        return std::make_shared<PixelBuffer>(bytes);
    if (!m_buffer)
        m_buffer = std::make_shared<PixelBuffer>();
    if (m_buffer->size() < bytes)
        m_buffer->resize(bytes);
    return m_buffer;
}

void CDrawLibrary::Shutdown()
{
    m_fonts.clear();
    m_glyphs.reset();
    m_engine.reset();
    m_boundSerial = 0;
    m_buffer.reset();
}
