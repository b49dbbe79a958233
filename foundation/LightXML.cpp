// The light variant's tolerant parser: one pass over the bytes, tags found by "<" and ">",
// references decoded in text and attribute values, anything unreadable skipped or kept as text.
#include "foundation/LightXML.h"

#include <algorithm>
#include <cstdint>
#include <new>

#include "foundation/FileUtils.h"

namespace LightXML {

namespace {

constexpr size_t kMaxNameLength = 255;
constexpr size_t kMaxValueLength = 4095;
constexpr size_t kMaxReferenceLength = 255;

struct SNamedEntity {
    std::string_view m_name;
    uint32_t m_uValue;
};
constexpr SNamedEntity kBasicEntities[] = {
    {"quot", '"'}, {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"apos", '\''}, {"tab", '\t'},
};
// The Latin-1 entities of HTML 4, for the characters 160 to 255 in order.
constexpr std::string_view kLatin1Entities[96] = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",
    "uml",    "copy",   "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",
    "deg",    "plusmn", "sup2",   "sup3",   "acute",  "micro",  "para",   "middot",
    "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12", "frac34", "iquest",
    "Agrave", "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil",
    "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave", "Iacute", "Icirc",  "Iuml",
    "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",   "times",
    "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",  "szlig",
    "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil",
    "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",
    "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide",
    "oslash", "ugrave", "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml",
};

bool IsSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsNameChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '-' || c == '.' || c == ':' || c == '_';
}

void AppendUtf8(uint32_t c, std::string& out)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The character a reference body (between "&" and ";") names, or 0 when it names none.
uint32_t ReferenceValue(std::string_view body)
{
    if (body.size() > 1 && body[0] == '#') {
        const bool hex = body[1] == 'x' || body[1] == 'X';
        const std::string_view digits = body.substr(hex ? 2 : 1);
        if (digits.empty())
            return 0;
        uint32_t value = 0;
        for (char c : digits) {
            uint32_t digit;
            if (c >= '0' && c <= '9')
                digit = static_cast<uint32_t>(c - '0');
            else if (hex && c >= 'a' && c <= 'f')
                digit = static_cast<uint32_t>(c - 'a' + 10);
            else if (hex && c >= 'A' && c <= 'F')
                digit = static_cast<uint32_t>(c - 'A' + 10);
            else
                return 0;
            value = value * (hex ? 16 : 10) + digit;
            if (value > 0x10FFFF)
                return 0;
        }
        return value >= 0xD800 && value <= 0xDFFF ? 0 : value;
    }
    for (const SNamedEntity& entity : kBasicEntities)
        if (entity.m_name == body)
            return entity.m_uValue;
    for (uint32_t i = 0; i < 96; ++i)
        if (kLatin1Entities[i] == body)
            return 160 + i;
    return 0;
}

// Decodes the reference that starts text (at its "&") into out; returns the bytes it took, or 0
// when text does not start a known reference (the "&" then stays as it is).
size_t DecodeReference(std::string_view text, std::string& out)
{
    const size_t semicolon = text.substr(0, kMaxReferenceLength + 2).find(';');
    if (semicolon == std::string_view::npos)
        return 0;
    const uint32_t value = ReferenceValue(text.substr(1, semicolon - 1));
    if (value == 0)
        return 0;
    AppendUtf8(value, out);
    return semicolon + 1;
}

// Cuts text to at most limit bytes on a character boundary.
std::string CutText(std::string text, size_t limit)
{
    if (text.size() > limit) {
        size_t cut = limit;
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
            --cut;
        text.resize(cut);
    }
    return text;
}

// Text with its references decoded, at most limit bytes.
std::string DecodeValue(std::string_view text, size_t limit)
{
    std::string out;
    for (size_t i = 0; i < text.size() && out.size() <= limit; ++i) {
        const size_t taken = text[i] == '&' ? DecodeReference(text.substr(i), out) : 0;
        if (taken)
            i += taken - 1;
        else
            out += text[i];
    }
    return CutText(std::move(out), limit);
}

class CParser {
public:
    explicit CParser(std::string_view text) : m_text(text) {}

    // Fills root with the elements of the text.
    void Run(CLightElement* root)
    {
        m_pCurrent = root;
        bool lastSpace = false;
        while (m_nPos < m_text.size()) {
            const char c = m_text[m_nPos];
            if (c == '<') {
                FlushText();
                lastSpace = false;
                ReadMarkup();
            } else if (c == '&') {
                const size_t taken = DecodeReference(m_text.substr(m_nPos), m_strText);
                if (!taken)
                    m_strText += c;
                m_nPos += taken ? taken : 1;
                lastSpace = false;
            } else {
                // A run of white space shrinks to its first byte.
                const bool space = IsSpace(c);
                if (!(space && lastSpace))
                    m_strText += c;
                lastSpace = space;
                ++m_nPos;
            }
        }
        FlushText();
    }

private:
    void FlushText()
    {
        if (m_nSkipped == 0)
            m_pCurrent->m_strValue += m_strText;
        m_strText.clear();
    }

    bool StartsWith(std::string_view prefix) const
    {
        return m_text.substr(m_nPos, prefix.size()) == prefix;
    }

    // At a "<": a comment, a CDATA section or a tag.
    void ReadMarkup()
    {
        if (StartsWith("<!--")) {
            const size_t end = m_text.find("-->", m_nPos + 4);
            m_nPos = end == std::string_view::npos ? m_text.size() : end + 3;
            return;
        }
        if (StartsWith("<![CDATA[")) {
            const size_t start = m_nPos + 9;
            const size_t end = m_text.find("]]>", start);
            m_strText += m_text.substr(start, end == std::string_view::npos ? end : end - start);
            m_nPos = end == std::string_view::npos ? m_text.size() : end + 3;
            return;
        }

        // The tag runs to the next ">" or "<" outside double quotes.
        std::string tag;
        bool quoted = false;
        bool lastSpace = false;
        size_t i = m_nPos + 1;
        for (; i < m_text.size(); ++i) {
            const char c = m_text[i];
            if (c == '"')
                quoted = !quoted;
            else if (!quoted && (c == '>' || c == '<'))
                break;
            const bool space = IsSpace(c);
            if (!(space && lastSpace))
                tag += c;
            lastSpace = space;
        }
        m_nPos = i < m_text.size() && m_text[i] == '>' ? i + 1 : i;
        HandleTag(tag);
    }

    void HandleTag(std::string_view tag)
    {
        const bool selfClosing = !tag.empty() && tag.back() == '/';
        if (selfClosing)
            tag.remove_suffix(1);
        size_t i = 0;
        while (i < tag.size() && IsSpace(tag[i]))
            ++i;
        const bool endTag = i < tag.size() && tag[i] == '/';
        if (endTag)
            ++i;
        const size_t nameStart = i;
        while (i < tag.size() && !IsSpace(tag[i]))
            ++i;
        const std::string_view name = tag.substr(nameStart, std::min(i - nameStart, kMaxNameLength));

        if (endTag) {
            if (m_nSkipped > 0) {
                --m_nSkipped;
            } else if (CLightElement* parent = m_pCurrent->GetParent();
                       parent && name == m_pCurrent->m_strName) {
                m_pCurrent = parent;
                --m_nDepth;
            }
            return;
        }
        if (name.empty())
            return;
        for (char c : name)
            if (!IsNameChar(c))
                return;
        if (m_nSkipped > 0 || m_nDepth >= kMaxXMLDepth) {
            if (!selfClosing)
                ++m_nSkipped;
            return;
        }

        CLightElement* element = m_pCurrent->AddChild(name);
        ReadAttributes(tag.substr(i), element);
        if (!selfClosing) {
            m_pCurrent = element;
            ++m_nDepth;
        }
    }

    // name, optional blanks, "=", optional blanks, then a value in quotes or up to a blank.
    static void ReadAttributes(std::string_view text, CLightElement* element)
    {
        size_t i = 0;
        auto skipSpace = [&] {
            while (i < text.size() && IsSpace(text[i]))
                ++i;
        };
        while (true) {
            skipSpace();
            if (i >= text.size())
                return;
            const size_t nameStart = i;
            while (i < text.size() && !IsSpace(text[i]) && text[i] != '=')
                ++i;
            const std::string_view name = text.substr(nameStart, i - nameStart);
            skipSpace();
            std::string_view value;
            if (i < text.size() && text[i] == '=') {
                ++i;
                skipSpace();
                if (i < text.size() && (text[i] == '"' || text[i] == '\'')) {
                    const char quote = text[i++];
                    const size_t end = std::min(text.find(quote, i), text.size());
                    value = text.substr(i, end - i);
                    i = end + 1;
                } else {
                    const size_t start = i;
                    while (i < text.size() && !IsSpace(text[i]))
                        ++i;
                    value = text.substr(start, i - start);
                }
            }
            if (!name.empty())
                element->SetAttribute(CutText(std::string(name), kMaxValueLength),
                                      DecodeValue(value, kMaxValueLength));
        }
    }

    std::string_view m_text;
    size_t m_nPos = 0;
    std::string m_strText;              // text collected since the last markup
    CLightElement* m_pCurrent = nullptr;
    int m_nDepth = 0;
    int m_nSkipped = 0;                 // open elements left out for being nested too deeply
};

}  // namespace

CLightElement* ParseText(const char* text, size_t length)
{
    try {
        CElementPtr root(new CLightElement());
        CParser(std::string_view(text ? text : "", text ? length : 0)).Run(root.get());
        return root.release();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

CLightElement* ParseFile(const std::string& path)
{
    std::string text;
    if (!ReadWholeFile(path, text))
        return nullptr;
    return ParseText(text.data(), text.size());
}

bool SaveFile(const CLightElement* element, const std::string& path, XMLStyle style)
{
    std::string text;
    return element->WriteChildren(text, style, true) && WriteTextFile(path, text);
}

std::string EscapeText(std::string_view text)
{
    std::string out;
    xmlmodel::AppendEscaped(text, true, out);
    return out;
}

}  // namespace LightXML
