#include "foundation/TextFold.h"

namespace textfold {

uint32_t DecodeUTF8(std::string_view text, size_t& nPos)
{
    const auto lead = static_cast<unsigned char>(text[nPos]);
    if (lead < 0x80) {
        ++nPos;
        return lead;
    }
    size_t length = 0;
    uint32_t codePoint = 0;
    uint32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, codePoint = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, codePoint = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, codePoint = lead & 0x07, minimum = 0x10000;
    } else {
        ++nPos;
        return kReplacement;
    }
    if (text.size() - nPos < length) {
        ++nPos;
        return kReplacement;
    }
    for (size_t i = 1; i < length; ++i) {
        const auto c = static_cast<unsigned char>(text[nPos + i]);
        if ((c & 0xC0) != 0x80) {
            ++nPos;
            return kReplacement;
        }
        codePoint = (codePoint << 6) | (c & 0x3F);
    }
    if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
        ++nPos;
        return kReplacement;
    }
    nPos += length;
    return codePoint;
}

void AppendUTF8(uint32_t codePoint, std::string& out)
{
    if (codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        codePoint = kReplacement;
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

uint32_t FoldCodePoint(uint32_t c)
{
    const auto inRange = [c](uint32_t first, uint32_t last) { return c >= first && c <= last; };
    // Ranges where capital and small letters alternate; the capital comes first.
    const auto pairFrom = [c](uint32_t first) { return ((c - first) % 2 == 0) ? c + 1 : c; };

    if (c < 0x80)
        return inRange('A', 'Z') ? c + 0x20 : c;
    if (c == 0xB5)
        return 0x3BC;                                  // micro sign: Greek small mu
    if (inRange(0xC0, 0xDE) && c != 0xD7)
        return c + 0x20;
    if (c < 0x100)
        return c;
    if (inRange(0x100, 0x12F) || inRange(0x132, 0x137) || inRange(0x14A, 0x177))
        return pairFrom(0x100);
    if (c == 0x130 || c == 0x131)
        return 'i';
    if (inRange(0x139, 0x148) || inRange(0x179, 0x17E))
        return pairFrom(0x139);
    if (c == 0x178)
        return 0xFF;
    if (c == 0x17F)
        return 's';
    // Greek
    if (c == 0x386)
        return 0x3AC;
    if (inRange(0x388, 0x38A))
        return c + 37;
    if (c == 0x38C)
        return 0x3CC;
    if (inRange(0x38E, 0x38F))
        return c + 63;
    if (inRange(0x391, 0x3AB) && c != 0x3A2)
        return c + 0x20;
    if (c == 0x3C2)
        return 0x3C3;                                  // final sigma
    // Cyrillic
    if (inRange(0x400, 0x40F))
        return c + 0x50;
    if (inRange(0x410, 0x42F))
        return c + 0x20;
    return c;
}

bool IsWordCodePoint(uint32_t c)
{
    if (c < 0x80)
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (c < 0xC0) {
        // Latin-1 signs: only the ordinal indicators, the superscript and fraction digits and
        // the micro sign belong to words.
        switch (c) {
        case 0xAA: case 0xB2: case 0xB3: case 0xB5: case 0xB9: case 0xBA:
        case 0xBC: case 0xBD: case 0xBE:
            return true;
        default:
            return false;
        }
    }
    if (c == 0xD7 || c == 0xF7)
        return false;                                  // multiplication and division signs
    if ((c >= 0x2000 && c <= 0x206F) || (c >= 0x3000 && c <= 0x303F))
        return false;
    return true;
}

std::string FoldText(std::string_view text, std::vector<size_t>* pOffsets)
{
    std::string folded;
    folded.reserve(text.size());
    if (pOffsets) {
        pOffsets->clear();
        pOffsets->reserve(text.size() + 1);
    }
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t start = pos;
        const uint32_t codePoint = DecodeUTF8(text, pos);
        const size_t before = folded.size();
        AppendUTF8(FoldCodePoint(codePoint), folded);
        if (pOffsets)
            pOffsets->insert(pOffsets->end(), folded.size() - before, start);
    }
    if (pOffsets)
        pOffsets->push_back(text.size());
    return folded;
}

bool EqualFolded(std::string_view a, std::string_view b)
{
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (FoldCodePoint(DecodeUTF8(a, i)) != FoldCodePoint(DecodeUTF8(b, j)))
            return false;
    }
    return i == a.size() && j == b.size();
}

}  // namespace textfold
