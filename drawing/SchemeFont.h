// The font record that schemes hand to the drawing library: the face name, the size in points,
// the weight and three style flags. Field order and sizes are fixed.
#pragma once
#include <cstdint>
#include <cstring>
#include <string_view>

struct SchemeFont {
    char szFaceName[128] = {};   // zero-terminated; longer names are cut at 127 bytes or less,
                                 // on a character boundary
    int32_t nSize = 0;           // points
    int32_t nWeight = 400;       // 400 normal, 700 bold
    uint8_t bUnderline = 0;
    uint8_t bItalic = 0;
    uint8_t bVertical = 0;

    void SetFaceName(std::string_view name)
    {
        size_t n = name.size() < sizeof szFaceName ? name.size() : sizeof szFaceName - 1;
        while (n < name.size() && n > 0 && (static_cast<uint8_t>(name[n]) & 0xC0) == 0x80)
            --n;   // cut on a character boundary
        std::memcpy(szFaceName, name.data(), n);
        szFaceName[n] = 0;
    }
};
