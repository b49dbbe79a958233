// The full XML document variant: documents parsed with expat, malformed input reported with its
// line and column. Most of the system's own files (settings, folders, regions, channels,
// markers, schemes) are read and written with it.
#pragma once
#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "foundation/Exceptions.h"
#include "foundation/XMLElement.h"

namespace KRXML {

using CElement = TXMLElement<std::atomic<int>>;
using CElementIterator = TXMLElementIterator<CElement>;
using CAttributeIterator = TXMLAttributeIterator<CElement>;
using CElementPtr = std::unique_ptr<CElement, TXMLRelease<CElement>>;

// A malformed document. The code is always 3 ("Data format error"); the text is the parser's.
class CException : public CBaseException {
public:
    explicit CException(std::string strText) : CBaseException(3), m_strText(std::move(strText)) {}
    const char* GetText() const override;

    std::string m_strText;
};

// Parses a document into a new root: an element with an empty name whose only child is the
// document's top element. A length of -1 reads up to the terminating zero. On malformed input,
// or nesting deeper than kMaxXMLDepth, out is cleared and the result is false; with bThrow a
// CException "XML Parse error at line %d, column %d: %s" is thrown instead.
bool ParseText(const char* text, ptrdiff_t length, bool bThrow, CElement*& out);
// False, with out cleared and no message, when the file cannot be read; otherwise ParseText.
bool ParseFile(const std::string& path, bool bThrow, CElement*& out);

// Writes the element's children (saving a root writes the document) in the style, without an
// XML declaration. True when the file was written.
bool SaveFile(const CElement* element, const std::string& path, XMLStyle style);

// The writer's escaping: markup characters become entities, other characters outside letters,
// digits and "[] -'()+,./\:=?;!*#@$_%" become "&#n;" with their code point, and control
// characters (tab and line breaks among them) are dropped.
std::string EscapeText(std::string_view text);

}  // namespace KRXML
