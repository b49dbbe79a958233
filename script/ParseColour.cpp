#include "script/ParseColour.h"

#include <algorithm>
#include <cctype>
#include <iterator>

#include "foundation/NameHash.h"

namespace {

struct NamedColour {
    const char* pszName;
    uint32_t uRGB;   // 0xRRGGBB as written in CSS
};

// The CSS Color Module Level 3 keywords, sorted.
constexpr NamedColour kNamedColours[] = {
    {"aliceblue", 0xf0f8ff},
    {"antiquewhite", 0xfaebd7},
    {"aqua", 0x00ffff},
    {"aquamarine", 0x7fffd4},
    {"azure", 0xf0ffff},
    {"beige", 0xf5f5dc},
    {"bisque", 0xffe4c4},
    {"black", 0x000000},
    {"blanchedalmond", 0xffebcd},
    {"blue", 0x0000ff},
    {"blueviolet", 0x8a2be2},
    {"brown", 0xa52a2a},
    {"burlywood", 0xdeb887},
    {"cadetblue", 0x5f9ea0},
    {"chartreuse", 0x7fff00},
    {"chocolate", 0xd2691e},
    {"coral", 0xff7f50},
    {"cornflowerblue", 0x6495ed},
    {"cornsilk", 0xfff8dc},
    {"crimson", 0xdc143c},
    {"cyan", 0x00ffff},
    {"darkblue", 0x00008b},
    {"darkcyan", 0x008b8b},
    {"darkgoldenrod", 0xb8860b},
    {"darkgray", 0xa9a9a9},
    {"darkgreen", 0x006400},
    {"darkgrey", 0xa9a9a9},
    {"darkkhaki", 0xbdb76b},
    {"darkmagenta", 0x8b008b},
    {"darkolivegreen", 0x556b2f},
    {"darkorange", 0xff8c00},
    {"darkorchid", 0x9932cc},
    {"darkred", 0x8b0000},
    {"darksalmon", 0xe9967a},
    {"darkseagreen", 0x8fbc8f},
    {"darkslateblue", 0x483d8b},
    {"darkslategray", 0x2f4f4f},
    {"darkslategrey", 0x2f4f4f},
    {"darkturquoise", 0x00ced1},
    {"darkviolet", 0x9400d3},
    {"deeppink", 0xff1493},
    {"deepskyblue", 0x00bfff},
    {"dimgray", 0x696969},
    {"dimgrey", 0x696969},
    {"dodgerblue", 0x1e90ff},
    {"firebrick", 0xb22222},
    {"floralwhite", 0xfffaf0},
    {"forestgreen", 0x228b22},
    {"fuchsia", 0xff00ff},
    {"gainsboro", 0xdcdcdc},
    {"ghostwhite", 0xf8f8ff},
    {"gold", 0xffd700},
    {"goldenrod", 0xdaa520},
    {"gray", 0x808080},
    {"grey", 0x808080},
    {"green", 0x008000},
    {"greenyellow", 0xadff2f},
    {"honeydew", 0xf0fff0},
    {"hotpink", 0xff69b4},
    {"indianred", 0xcd5c5c},
    {"indigo", 0x4b0082},
    {"ivory", 0xfffff0},
    {"khaki", 0xf0e68c},
    {"lavender", 0xe6e6fa},
    {"lavenderblush", 0xfff0f5},
    {"lawngreen", 0x7cfc00},
    {"lemonchiffon", 0xfffacd},
    {"lightblue", 0xadd8e6},
    {"lightcoral", 0xf08080},
    {"lightcyan", 0xe0ffff},
    {"lightgoldenrodyellow", 0xfafad2},
    {"lightgray", 0xd3d3d3},
    {"lightgreen", 0x90ee90},
    {"lightgrey", 0xd3d3d3},
    {"lightpink", 0xffb6c1},
    {"lightsalmon", 0xffa07a},
    {"lightseagreen", 0x20b2aa},
    {"lightskyblue", 0x87cefa},
    {"lightslategray", 0x778899},
    {"lightslategrey", 0x778899},
    {"lightsteelblue", 0xb0c4de},
    {"lightyellow", 0xffffe0},
    {"lime", 0x00ff00},
    {"limegreen", 0x32cd32},
    {"linen", 0xfaf0e6},
    {"magenta", 0xff00ff},
    {"maroon", 0x800000},
    {"mediumaquamarine", 0x66cdaa},
    {"mediumblue", 0x0000cd},
    {"mediumorchid", 0xba55d3},
    {"mediumpurple", 0x9370db},
    {"mediumseagreen", 0x3cb371},
    {"mediumslateblue", 0x7b68ee},
    {"mediumspringgreen", 0x00fa9a},
    {"mediumturquoise", 0x48d1cc},
    {"mediumvioletred", 0xc71585},
    {"midnightblue", 0x191970},
    {"mintcream", 0xf5fffa},
    {"mistyrose", 0xffe4e1},
    {"moccasin", 0xffe4b5},
    {"navajowhite", 0xffdead},
    {"navy", 0x000080},
    {"oldlace", 0xfdf5e6},
    {"olive", 0x808000},
    {"olivedrab", 0x6b8e23},
    {"orange", 0xffa500},
    {"orangered", 0xff4500},
    {"orchid", 0xda70d6},
    {"palegoldenrod", 0xeee8aa},
    {"palegreen", 0x98fb98},
    {"paleturquoise", 0xafeeee},
    {"palevioletred", 0xdb7093},
    {"papayawhip", 0xffefd5},
    {"peachpuff", 0xffdab9},
    {"peru", 0xcd853f},
    {"pink", 0xffc0cb},
    {"plum", 0xdda0dd},
    {"powderblue", 0xb0e0e6},
    {"purple", 0x800080},
    {"red", 0xff0000},
    {"rosybrown", 0xbc8f8f},
    {"royalblue", 0x4169e1},
    {"saddlebrown", 0x8b4513},
    {"salmon", 0xfa8072},
    {"sandybrown", 0xf4a460},
    {"seagreen", 0x2e8b57},
    {"seashell", 0xfff5ee},
    {"sienna", 0xa0522d},
    {"silver", 0xc0c0c0},
    {"skyblue", 0x87ceeb},
    {"slateblue", 0x6a5acd},
    {"slategray", 0x708090},
    {"slategrey", 0x708090},
    {"snow", 0xfffafa},
    {"springgreen", 0x00ff7f},
    {"steelblue", 0x4682b4},
    {"tan", 0xd2b48c},
    {"teal", 0x008080},
    {"thistle", 0xd8bfd8},
    {"tomato", 0xff6347},
    {"turquoise", 0x40e0d0},
    {"violet", 0xee82ee},
    {"wheat", 0xf5deb3},
    {"white", 0xffffff},
    {"whitesmoke", 0xf5f5f5},
    {"yellow", 0xffff00},
    {"yellowgreen", 0x9acd32},
};

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

uint32_t FromRGB(uint32_t uRGB) { return (uRGB >> 16 & 0xFF) | (uRGB & 0xFF00) | (uRGB & 0xFF) << 16; }

uint32_t ParseHash(std::string_view digits)
{
    const size_t nPer = std::min<size_t>(digits.size() / 3, 2);
    uint32_t uColour = 0;
    for (size_t nComponent = 0; nPer > 0 && nComponent < 4 && (nComponent + 1) * nPer <= digits.size(); ++nComponent) {
        uint32_t uValue = 0;
        for (size_t i = 0; i < nPer; ++i)
            uValue = uValue * 16 + static_cast<uint32_t>(std::max(HexDigit(digits[nComponent * nPer + i]), 0));
        uColour |= uValue << (8 * nComponent);
    }
    return uColour;
}

// A decimal number after blanks, kept to its low 8 bits; pos moves past it and the blanks after.
uint32_t ParseComponent(std::string_view text, size_t& pos)
{
    while (pos < text.size() && IsBlank(text[pos]))
        ++pos;
    bool bNegative = false;
    if (pos < text.size() && (text[pos] == '-' || text[pos] == '+'))
        bNegative = text[pos++] == '-';
    uint32_t uValue = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos)
        uValue = uValue * 10 + static_cast<uint32_t>(text[pos] - '0');   // wraps; the low byte is kept
    while (pos < text.size() && IsBlank(text[pos]))
        ++pos;
    return (bNegative ? 0u - uValue : uValue) & 0xFF;
}

}  // namespace

uint32_t ParseColour(std::string_view text, uint32_t defaultColour)
{
    if (text.empty())
        return defaultColour;
    const auto named = std::find_if(std::begin(kNamedColours), std::end(kNamedColours),
                                    [&](const NamedColour& c) { return NamesEqual(c.pszName, text); });
    if (named != std::end(kNamedColours))
        return FromRGB(named->uRGB);
    if (text.front() == '#')
        return ParseHash(text.substr(1));
    if (text.find(',') == std::string_view::npos) {
        if (text.front() < '0' || text.front() > '9')
            return defaultColour;
        uint32_t uColour = 0;
        for (size_t i = 0; i < text.size() && HexDigit(text[i]) >= 0; ++i)
            uColour = uColour * 16 + static_cast<uint32_t>(HexDigit(text[i]));
        return uColour;
    }
    size_t pos = 0;
    uint32_t uColour = 0;
    for (int nComponent = 0; nComponent < 4; ++nComponent) {
        uColour |= ParseComponent(text, pos) << (8 * nComponent);
        if (pos >= text.size() || text[pos] != ',')
            break;
        ++pos;
    }
    return uColour;
}
