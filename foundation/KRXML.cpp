// Parsing with expat into the element model, and the file functions of the full variant.
#include "foundation/KRXML.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <new>

#include <expat.h>

#include "foundation/FileUtils.h"

namespace KRXML {

namespace {

// Builds the tree from expat's events. Handlers run inside expat's C code, so nothing may be
// thrown out of them: failures stop the parser and are remembered here.
struct CTreeBuilder {
    XML_Parser m_parser = nullptr;
    CElement* m_pCurrent = nullptr;
    int m_nDepth = 0;
    const char* m_pszAbort = nullptr;   // our own reason for stopping the parser

    void Abort(const char* reason)
    {
        m_pszAbort = reason;
        XML_StopParser(m_parser, XML_FALSE);
    }

    static void XMLCALL OnStart(void* data, const XML_Char* name, const XML_Char** attributes)
    {
        auto* self = static_cast<CTreeBuilder*>(data);
        if (self->m_nDepth >= kMaxXMLDepth) {
            self->Abort("elements nested too deeply");
            return;
        }
        try {
            CElement* child = self->m_pCurrent->AddChild(name);
            for (size_t i = 0; attributes[i]; i += 2)
                child->SetAttribute(attributes[i], attributes[i + 1]);
            self->m_pCurrent = child;
            ++self->m_nDepth;
        } catch (const std::bad_alloc&) {
            self->Abort("out of memory");
        }
    }

    static void XMLCALL OnEnd(void* data, const XML_Char* name)
    {
        auto* self = static_cast<CTreeBuilder*>(data);
        CElement* parent = self->m_pCurrent->GetParent();
        if (parent && self->m_pCurrent->m_strName == name) {
            self->m_pCurrent = parent;
            --self->m_nDepth;
        }
    }

    static void XMLCALL OnText(void* data, const XML_Char* text, int length)
    {
        auto* self = static_cast<CTreeBuilder*>(data);
        try {
            self->m_pCurrent->m_strValue.append(text, static_cast<size_t>(length));
        } catch (const std::bad_alloc&) {
            self->Abort("out of memory");
        }
    }
};

// Runs expat over the text; an empty result means success, otherwise the error message.
std::string Parse(const char* text, size_t length, CElement* root)
{
    XML_Parser parser = XML_ParserCreate(nullptr);
    if (!parser)
        return "XML Parse error at line 0, column 0: out of memory";
    CTreeBuilder builder;
    builder.m_parser = parser;
    builder.m_pCurrent = root;
    XML_SetUserData(parser, &builder);
    XML_SetElementHandler(parser, CTreeBuilder::OnStart, CTreeBuilder::OnEnd);
    XML_SetCharacterDataHandler(parser, CTreeBuilder::OnText);

    // expat takes an int length: hand very large texts over in pieces.
    constexpr size_t kPiece = INT_MAX / 2;
    XML_Status status = XML_STATUS_OK;
    do {
        const size_t piece = length < kPiece ? length : kPiece;
        length -= piece;
        status = XML_Parse(parser, text, static_cast<int>(piece), length == 0);
        text += piece;
    } while (status == XML_STATUS_OK && length > 0);

    std::string message;
    if (status != XML_STATUS_OK) {
        const char* reason = builder.m_pszAbort ? builder.m_pszAbort
                                                : XML_ErrorString(XML_GetErrorCode(parser));
        char prefix[96];
        std::snprintf(prefix, sizeof prefix, "XML Parse error at line %d, column %d: ",
                      static_cast<int>(XML_GetCurrentLineNumber(parser)),
                      static_cast<int>(XML_GetCurrentColumnNumber(parser)));
        message = prefix;
        message += reason ? reason : "unknown error";
    }
    XML_ParserFree(parser);
    return message;
}

}  // namespace

const char* CException::GetText() const
{
    return m_strText.c_str();
}

bool ParseText(const char* text, ptrdiff_t length, bool bThrow, CElement*& out)
{
    out = nullptr;
    if (!text)
        text = "";
    const size_t size = length < 0 ? std::strlen(text) : static_cast<size_t>(length);
    CElementPtr root(new CElement());
    std::string message = Parse(text, size, root.get());
    if (message.empty()) {
        out = root.release();
        return true;
    }
    if (bThrow)
        throw new CException(std::move(message));
    return false;
}

bool ParseFile(const std::string& path, bool bThrow, CElement*& out)
{
    out = nullptr;
    std::string text;
    if (!ReadWholeFile(path, text))
        return false;
    return ParseText(text.data(), static_cast<ptrdiff_t>(text.size()), bThrow, out);
}

bool SaveFile(const CElement* element, const std::string& path, XMLStyle style)
{
    std::string text;
    return element->WriteChildren(text, style, false) && WriteTextFile(path, text);
}

std::string EscapeText(std::string_view text)
{
    std::string out;
    xmlmodel::AppendEscaped(text, false, out);
    return out;
}

}  // namespace KRXML
