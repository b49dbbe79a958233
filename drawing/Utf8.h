// Decoding UTF-8 text into code points for glyph lookup.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

inline constexpr uint32_t kReplacementCharacter = 0xFFFD;

// Decodes the code point at text[i] and moves i past it. A malformed or cut sequence gives
// U+FFFD and moves one byte on, so every position it leaves lies on a character boundary of
// well-formed text and no byte is read twice.
inline uint32_t DecodeUtf8(std::string_view text, size_t& i)
{
    const auto byte = [&](size_t k) { return static_cast<uint8_t>(text[k]); };
    const uint8_t lead = byte(i);
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    int extra = 0;
    uint32_t cp = 0, minimum = 0;
    if ((lead & 0xE0) == 0xC0) { extra = 1; cp = lead & 0x1F; minimum = 0x80; }
    else if ((lead & 0xF0) == 0xE0) { extra = 2; cp = lead & 0x0F; minimum = 0x800; }
    else if ((lead & 0xF8) == 0xF0) { extra = 3; cp = lead & 0x07; minimum = 0x10000; }
    else { ++i; return kReplacementCharacter; }
    if (i + extra >= text.size()) {
        ++i;
        return kReplacementCharacter;
    }
    for (int k = 1; k <= extra; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            ++i;
            return kReplacementCharacter;
        }
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return kReplacementCharacter;
    }
    i += extra + 1;
    return cp;
}
