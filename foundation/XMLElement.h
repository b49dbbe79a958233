// The element model of both XML variants: reference-counted elements with ordered children and
// case-insensitive attributes, reached by paths of element names separated by "|".
// KRXML::CElement counts references atomically, CLightElement plainly; otherwise they are alike.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/NameHash.h"

// How SaveFile lays a document out.
enum XMLStyle {
    xmlCompact,         // nothing between elements
    xmlIndented,        // one element per line, indented by tabs, "\r\n" line ends
    xmlAttributeLines,  // as xmlIndented, with the second and later attributes on lines of their own
};

// Nested input deeper than this is refused (KRXML) or cut (light variant).
inline constexpr int kMaxXMLDepth = 256;
// Paths longer than this find nothing.
inline constexpr size_t kMaxXMLPathLength = 1023;

// An attribute; the table keeps them by bucket (NameBucket of the name), and within a bucket
// from the newest to the oldest.
struct CXMLAttribute {
    std::string m_strName;
    std::string m_strValue;
    uint32_t m_uBucket = 0;
};

namespace xmlmodel {

// The value as an unsigned 32-bit number the way C's strtoul reads it on a 32-bit system: a
// leading minus negates, values past the range give 4294967295.
uint32_t ParseUnsigned(std::string_view value);
// Appends text with the XML writer's escaping; controlsAsReferences writes characters at or
// below the blank that are not kept as they are as references instead of dropping them.
void AppendEscaped(std::string_view text, bool controlsAsReferences, std::string& out);
std::string_view TrimSpace(std::string_view text);

}  // namespace xmlmodel

template <class Count>
class TXMLElement {
public:
    TXMLElement() = default;
    explicit TXMLElement(std::string_view name) : m_strName(name) {}
    TXMLElement(const TXMLElement&) = delete;
    TXMLElement& operator=(const TXMLElement&) = delete;

    // A new element holds one reference; whoever keeps a pointer holds one.
    void AddRef() { ++m_nRefs; }
    void Release()
    {
        if (--m_nRefs == 0)
            delete this;
    }

    // Appends a new child with that name; the element keeps the reference.
    TXMLElement* AddChild(std::string_view name)
    {
        m_children.reserve(m_children.size() + 1);
        auto* child = new TXMLElement(name);
        child->m_pParent = this;
        m_children.push_back(child);
        return child;
    }

    // The first child of that name, letter case included.
    TXMLElement* FindChild(std::string_view name) const
    {
        for (TXMLElement* child : m_children)
            if (child->m_strName == name)
                return child;
        return nullptr;
    }

    // Follows "|"-separated names from here; an empty path yields this element.
    TXMLElement* FindPath(std::string_view path) const
    {
        return const_cast<TXMLElement*>(this)->Walk(path, false);
    }
    // As FindPath, creating the elements that are missing.
    TXMLElement* FindOrCreatePath(std::string_view path) { return Walk(path, true); }

    // Removes the element the path leads to from its parent.
    bool RemovePath(std::string_view path)
    {
        TXMLElement* found = FindPath(path);
        return found && found->m_pParent && found->m_pParent->RemoveChild(found);
    }

    // Removes a child and releases the element's reference to it.
    bool RemoveChild(TXMLElement* child)
    {
        auto it = std::find(m_children.begin(), m_children.end(), child);
        if (it == m_children.end())
            return false;
        m_children.erase(it);
        child->m_pParent = nullptr;
        child->Release();
        return true;
    }

    TXMLElement* GetParent() const { return m_pParent; }
    const std::vector<TXMLElement*>& GetChildren() const { return m_children; }
    const std::vector<CXMLAttribute>& GetAttributes() const { return m_attributes; }

    // The value, or nullptr when absent. Valid until an attribute of the element is set.
    const char* GetAttribute(std::string_view name) const
    {
        const CXMLAttribute* found = Find(name, NameBucket(name));
        return found ? found->m_strValue.c_str() : nullptr;
    }

    // Replaces the value of an attribute of that name in any letter case, or adds it.
    void SetAttribute(std::string_view name, std::string_view value)
    {
        const uint32_t bucket = NameBucket(name);
        if (CXMLAttribute* found = Find(name, bucket)) {
            found->m_strValue = value;
            return;
        }
        auto head = std::lower_bound(m_attributes.begin(), m_attributes.end(), bucket,
                                     [](const CXMLAttribute& a, uint32_t b) { return a.m_uBucket < b; });
        m_attributes.insert(head, CXMLAttribute{std::string(name), std::string(value), bucket});
    }

    bool GetAttributeInt(std::string_view name, uint32_t& out) const
    {
        const char* value = GetAttribute(name);
        if (!value)
            return false;
        out = xmlmodel::ParseUnsigned(value);
        return true;
    }
    bool GetAttributeInt(std::string_view name, int32_t& out) const
    {
        uint32_t value = 0;
        if (!GetAttributeInt(name, value))
            return false;
        out = static_cast<int32_t>(value);
        return true;
    }
    // Stored as unsigned decimal text: -1 is written as 4294967295.
    void SetAttributeInt(std::string_view name, uint32_t value)
    {
        SetAttribute(name, std::to_string(value));
    }

    bool GetAttributeBool(std::string_view name, bool& out) const
    {
        uint32_t value = 0;
        if (!GetAttributeInt(name, value))
            return false;
        out = value != 0;
        return true;
    }
    void SetAttributeBool(std::string_view name, bool value) { SetAttribute(name, value ? "1" : "0"); }

    // Appends the children of this element (not the element itself) in the style. False when
    // the tree is nested deeper than kMaxXMLDepth.
    bool WriteChildren(std::string& out, XMLStyle style, bool controlsAsReferences,
                       int depth = 0) const
    {
        if (depth >= kMaxXMLDepth)
            return false;
        for (const TXMLElement* child : m_children)
            if (!child->Write(out, style, controlsAsReferences, depth))
                return false;
        return true;
    }

    std::string m_strValue;   // the text content, as parsed or set
    std::string m_strName;    // the tag name

private:
    ~TXMLElement()
    {
        for (TXMLElement* child : m_children) {
            child->m_pParent = nullptr;
            child->Release();
        }
    }

    TXMLElement* Walk(std::string_view path, bool create)
    {
        if (path.size() > kMaxXMLPathLength)
            return nullptr;
        TXMLElement* at = this;
        while (at && !path.empty()) {
            const size_t bar = path.find('|');
            const std::string_view part = path.substr(0, bar);
            path = bar == std::string_view::npos ? std::string_view() : path.substr(bar + 1);
            if (part.empty())
                continue;
            TXMLElement* next = at->FindChild(part);
            at = next ? next : create ? at->AddChild(part) : nullptr;
        }
        return at;
    }

    CXMLAttribute* Find(std::string_view name, uint32_t bucket)
    {
        auto it = std::lower_bound(m_attributes.begin(), m_attributes.end(), bucket,
                                   [](const CXMLAttribute& a, uint32_t b) { return a.m_uBucket < b; });
        for (; it != m_attributes.end() && it->m_uBucket == bucket; ++it)
            if (NamesEqual(it->m_strName, name))
                return &*it;
        return nullptr;
    }
    const CXMLAttribute* Find(std::string_view name, uint32_t bucket) const
    {
        return const_cast<TXMLElement*>(this)->Find(name, bucket);
    }

    bool Write(std::string& out, XMLStyle style, bool controlsAsReferences, int depth) const
    {
        const bool lines = style != xmlCompact;
        const bool hasChildren = !m_children.empty();
        std::string text;
        xmlmodel::AppendEscaped(xmlmodel::TrimSpace(m_strValue), controlsAsReferences, text);

        if (lines)
            out.append(depth, '\t');
        out += '<';
        out += m_strName;
        const int attributeDepth = hasChildren ? depth + 1 : depth;
        for (size_t i = 0; i < m_attributes.size(); ++i) {
            if (style != xmlAttributeLines) {
                out += ' ';
            } else {
                out += '\t';
                if (i > 0) {
                    out += "\r\n";
                    out.append(attributeDepth + 1, '\t');
                }
            }
            out += m_attributes[i].m_strName;
            out += "=\"";
            xmlmodel::AppendEscaped(xmlmodel::TrimSpace(m_attributes[i].m_strValue),
                                    controlsAsReferences, out);
            out += '"';
        }

        if (text.empty() && !hasChildren) {
            out += " />";
            if (lines)
                out += "\r\n";
            return true;
        }
        out += '>';
        out += text;
        if (hasChildren) {
            if (lines)
                out += "\r\n";
            if (!WriteChildren(out, style, controlsAsReferences, depth + 1))
                return false;
            if (lines)
                out.append(depth, '\t');
        }
        out += "</";
        out += m_strName;
        out += '>';
        if (lines)
            out += "\r\n";
        return true;
    }

    Count m_nRefs{1};
    std::vector<TXMLElement*> m_children;      // each holds a reference
    std::vector<CXMLAttribute> m_attributes;   // the attribute table in table order
    TXMLElement* m_pParent = nullptr;          // not a reference; none for a root
};

// Walks an element's children in order, holding a reference to the element.
template <class Element>
class TXMLElementIterator {
public:
    explicit TXMLElementIterator(Element* element) : m_pElement(element) { m_pElement->AddRef(); }
    ~TXMLElementIterator() { m_pElement->Release(); }
    TXMLElementIterator(const TXMLElementIterator&) = delete;
    TXMLElementIterator& operator=(const TXMLElementIterator&) = delete;

    // The next child, or nullptr after the last.
    Element* Next()
    {
        const auto& children = m_pElement->GetChildren();
        return m_nIndex < children.size() ? children[m_nIndex++] : nullptr;
    }

private:
    Element* m_pElement;
    size_t m_nIndex = 0;
};

// Walks an element's attributes in table order, holding a reference to the element.
template <class Element>
class TXMLAttributeIterator {
public:
    explicit TXMLAttributeIterator(Element* element) : m_pElement(element) { m_pElement->AddRef(); }
    ~TXMLAttributeIterator() { m_pElement->Release(); }
    TXMLAttributeIterator(const TXMLAttributeIterator&) = delete;
    TXMLAttributeIterator& operator=(const TXMLAttributeIterator&) = delete;

    // The next attribute, or nullptr after the last.
    const CXMLAttribute* Next()
    {
        const auto& attributes = m_pElement->GetAttributes();
        return m_nIndex < attributes.size() ? &attributes[m_nIndex++] : nullptr;
    }

private:
    Element* m_pElement;
    size_t m_nIndex = 0;
};

// Releases an element when it goes out of scope: KRXML::CElementPtr root(parsed);
template <class Element>
struct TXMLRelease {
    void operator()(Element* element) const { element->Release(); }
};
