// The light XML document variant: a small tolerant parser that never reports malformed input,
// over the same element model as KRXML. The updating code reads its server list, error texts and
// file lists with it. Bytes are stored as they come; references decode to UTF-8.
#pragma once
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/XMLElement.h"

using CLightElement = TXMLElement<int>;

namespace LightXML {

using CElementIterator = TXMLElementIterator<CLightElement>;
using CAttributeIterator = TXMLAttributeIterator<CLightElement>;
using CElementPtr = std::unique_ptr<CLightElement, TXMLRelease<CLightElement>>;

// Parses text into a new root (an element with an empty name holding the top-level elements).
// What cannot be read as tags is skipped or kept as text; elements nested deeper than
// kMaxXMLDepth are left out. nullptr only when memory runs out.
CLightElement* ParseText(const char* text, size_t length);
// nullptr when the file cannot be read; otherwise ParseText.
CLightElement* ParseFile(const std::string& path);

// Writes the element's children in the style, without an XML declaration. True when the file
// was written.
bool SaveFile(const CLightElement* element, const std::string& path, XMLStyle style);

// As KRXML::EscapeText, except that control characters become "&#n;" instead of being dropped.
std::string EscapeText(std::string_view text);

}  // namespace LightXML
