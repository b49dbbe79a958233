// Feeds arbitrary bytes to both XML parsers. The light parser must take anything; a document
// KRXML accepts must survive its own writer in every style. Attributes that share a bucket come
// back in reverse order from each save and parse, so the text repeats after two rounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/KRXML.h"
#include "foundation/LightXML.h"

namespace {

std::string Write(const KRXML::CElement* root, XMLStyle style)
{
    std::string out;
    if (!root->WriteChildren(out, style, false))
        std::abort();
    return out;
}

// Parses text that must be well-formed and writes it again.
std::string Rewrite(const std::string& text, XMLStyle style)
{
    KRXML::CElement* parsed = nullptr;
    if (!KRXML::ParseText(text.data(), static_cast<ptrdiff_t>(text.size()), false, parsed))
        std::abort();
    return Write(KRXML::CElementPtr(parsed).get(), style);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto* text = reinterpret_cast<const char*>(data);

    LightXML::CElementPtr light(LightXML::ParseText(text, size));
    std::string written;
    for (XMLStyle style : {xmlCompact, xmlIndented, xmlAttributeLines})
        light->WriteChildren(written, style, true);

    KRXML::CElement* parsed = nullptr;
    if (!KRXML::ParseText(text, static_cast<ptrdiff_t>(size), false, parsed))
        return 0;
    KRXML::CElementPtr root(parsed);
    for (XMLStyle style : {xmlCompact, xmlIndented, xmlAttributeLines}) {
        const std::string first = Write(root.get(), style);
        if (Rewrite(Rewrite(first, style), style) != first)
            std::abort();
    }
    return 0;
}
