// Face lookup through fontconfig and text metrics through FreeType.
#include "platform/Fonts.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <tuple>

namespace plat {
namespace {

std::mutex g_lock;   // guards the fontconfig configuration, the cache and the FreeType library

std::string FoldAscii(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

FcConfig* Config()
{
    static FcConfig* config = FcInitLoadConfigAndFonts();
    return config;
}

bool Match(const std::string& faceName, int weight, bool italic, FontFace& out)
{
    FcPattern* pattern = FcPatternCreate();
    if (!pattern)
        return false;
    if (!faceName.empty())
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(faceName.c_str()));
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("sans-serif"));
    FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(std::clamp(weight, 1, 1000)));
    FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(Config(), pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);

    bool found = false;
    FcResult result = FcResultNoMatch;
    if (FcPattern* match = FcFontMatch(Config(), pattern, &result)) {
        FcChar8* file = nullptr;
        int index = 0, faceWeight = FC_WEIGHT_REGULAR, slant = FC_SLANT_ROMAN;
        if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
            FcPatternGetInteger(match, FC_INDEX, 0, &index);
            FcPatternGetInteger(match, FC_WEIGHT, 0, &faceWeight);
            FcPatternGetInteger(match, FC_SLANT, 0, &slant);
            out.path = reinterpret_cast<const char*>(file);
            out.index = index;
            out.bold = faceWeight >= FC_WEIGHT_DEMIBOLD;
            out.italic = slant != FC_SLANT_ROMAN;
            found = true;
        }
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pattern);
    return found;
}

FT_Library Library()
{
    static FT_Library library = [] {
        FT_Library lib = nullptr;
        return FT_Init_FreeType(&lib) == 0 ? lib : nullptr;
    }();
    return library;
}

int Scale(long units, int pixelHeight, int unitsPerEm, bool roundUp)
{
    const double v = static_cast<double>(units) * pixelHeight / unitsPerEm;
    return static_cast<int>(roundUp ? std::ceil(v - 1e-6) : std::lround(v));
}

}  // namespace

bool FindFont(const std::string& faceName, int weight, bool italic, FontFace& out)
{
    using Key = std::tuple<std::string, int, bool>;
    static std::map<Key, FontFace> cache;
    std::lock_guard<std::mutex> hold(g_lock);
    Key key{FoldAscii(faceName), weight, italic};
    auto it = cache.find(key);
    if (it == cache.end()) {
        FontFace face;
        if (!Config() || !Match(faceName, weight, italic, face))
            return false;
        it = cache.emplace(key, face).first;
    }
    out = it->second;
    return true;
}

bool GetFontMetrics(const FontFace& face, int pixelHeight, FontMetrics& out)
{
    if (pixelHeight <= 0)
        return false;
    std::lock_guard<std::mutex> hold(g_lock);
    FT_Face ft = nullptr;
    if (!Library() || FT_New_Face(Library(), face.path.c_str(), face.index, &ft) != 0)
        return false;
    const int em = ft->units_per_EM;
    if (em <= 0) {
        FT_Done_Face(ft);
        return false;
    }
    // A Windows text-metric record of a TrueType font takes its cell from the OS/2 table's
    // Windows ascent and descent, and its external leading from whatever part of the
    // horizontal header's line gap that cell does not already cover.
    long ascent = ft->ascender, descent = -ft->descender, leading = ft->height - ascent - descent;
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
    auto* hhea = static_cast<TT_HoriHeader*>(FT_Get_Sfnt_Table(ft, FT_SFNT_HHEA));
    if (os2 && os2->version != 0xFFFF && (os2->usWinAscent || os2->usWinDescent)) {
        ascent = os2->usWinAscent;
        descent = os2->usWinDescent;
        if (hhea)
            leading = hhea->Line_Gap - ((ascent + descent) - (hhea->Ascender - hhea->Descender));
    }
    out.ascent = Scale(ascent, pixelHeight, em, true);
    out.descent = Scale(descent, pixelHeight, em, true);
    out.externalLeading = std::max(0, Scale(leading, pixelHeight, em, false));
    // FreeType gives the underline's centre; the metric is its top edge.
    const long underlineTop = -ft->underline_position - ft->underline_thickness / 2;
    out.underlinePosition = std::max(1, Scale(underlineTop, pixelHeight, em, false));
    out.underlineThickness = std::max(1, Scale(ft->underline_thickness, pixelHeight, em, false));
    FT_Done_Face(ft);
    return true;
}

}  // namespace plat
