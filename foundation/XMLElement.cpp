// Helpers of the XML element model: number parsing, trimming and the writers' escaping.
#include "foundation/XMLElement.h"

#include <cstdio>

namespace {

bool IsSpace(unsigned char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsKeptAsIs(unsigned char c)
{
    static constexpr std::string_view kKept = "[] -'()+,./\\:=?;!*#@$_%";
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           kKept.find(static_cast<char>(c)) != std::string_view::npos;
}

// The length of the well-formed UTF-8 sequence at the start of text and its code point, or 0
// when the first byte does not start one.
size_t DecodeUtf8(std::string_view text, uint32_t& codePoint)
{
    const auto first = static_cast<unsigned char>(text[0]);
    const size_t length = first < 0xC2 ? 0 : first < 0xE0 ? 2 : first < 0xF0 ? 3 : first < 0xF5 ? 4 : 0;
    if (length == 0 || length > text.size())
        return 0;
    uint32_t value = first & (0x7Fu >> length);
    for (size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (next & 0x3F);
    }
    const bool overlong = (length == 3 && value < 0x800) || (length == 4 && value < 0x10000);
    if (overlong || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    codePoint = value;
    return length;
}

void AppendReference(uint32_t value, std::string& out)
{
    char reference[16];
    std::snprintf(reference, sizeof reference, "&#%u;", static_cast<unsigned>(value));
    out += reference;
}

}  // namespace

namespace xmlmodel {

uint32_t ParseUnsigned(std::string_view value)
{
    size_t i = 0;
    while (i < value.size() && IsSpace(static_cast<unsigned char>(value[i])))
        ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == '-' || value[i] == '+'))
        negative = value[i++] == '-';
    uint64_t number = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
        number = number * 10 + static_cast<uint64_t>(value[i] - '0');
        if (number > UINT32_MAX)
            return UINT32_MAX;
    }
    const auto result = static_cast<uint32_t>(number);
    return negative ? 0u - result : result;
}

std::string_view TrimSpace(std::string_view text)
{
    while (!text.empty() && IsSpace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && IsSpace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

void AppendEscaped(std::string_view text, bool controlsAsReferences, std::string& out)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        switch (c) {
        case '"': out += "&quot;"; continue;
        case '&': out += "&amp;"; continue;
        case '\'': out += "&apos;"; continue;
        case '<': out += "&lt;"; continue;
        case '>': out += "&gt;"; continue;
        default: break;
        }
        if (IsKeptAsIs(c)) {
            out += static_cast<char>(c);
        } else if (c >= 0x80) {
            // Text is UTF-8: a character is referred to by its code point, and a byte that
            // belongs to no well-formed sequence by its own value.
            uint32_t codePoint = 0;
            const size_t length = DecodeUtf8(text.substr(i), codePoint);
            AppendReference(length ? codePoint : c, out);
            if (length)
                i += length - 1;
        } else if (c > ' ' || controlsAsReferences) {
            AppendReference(c, out);
        }
    }
}

}  // namespace xmlmodel
