#include "listings/MarkerTemplate.h"

#include <charconv>
#include <string_view>

#include "foundation/KRXML.h"
#include "foundation/Log.h"

namespace {

// The text as the content of a JavaScript string literal in either kind of quotes.
void AppendScriptString(std::string_view text, std::string& out)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\'': out += "\\'"; break;
        case '`': out += "\\`"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\0': out += "\\x00"; break;
        default:
            // U+2028 and U+2029 end a line inside older string literals.
            if (c == '\xE2' && i + 2 < text.size() && text[i + 1] == '\x80' &&
                (text[i + 2] == '\xA8' || text[i + 2] == '\xA9')) {
                out += text[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
                i += 2;
            } else {
                out += c;
            }
        }
    }
}

bool ToInt(const std::string& text, long long& out)
{
    const char* end = text.data() + text.size();
    return !text.empty() && std::from_chars(text.data(), end, out).ptr == end;
}

}  // namespace

std::string CMarkerTemplate::Substitute(const std::string& strCode, const CMarker& marker)
{
    static constexpr std::string_view kPrefix = "$Marker";
    std::string out;
    size_t from = 0;
    for (size_t at = strCode.find(kPrefix); at != std::string::npos; at = strCode.find(kPrefix, from)) {
        out.append(strCode, from, at - from);
        const std::string_view rest = std::string_view(strCode).substr(at + kPrefix.size());
        from = at + kPrefix.size();
        if (rest.starts_with("Name")) {
            AppendScriptString(marker.m_strName, out);
            from += 4;
        } else if (rest.starts_with("TypeID")) {
            out += std::to_string(marker.m_nTypeID);
            from += 6;
        } else if (rest.starts_with("Blob")) {
            AppendScriptString(marker.m_blob.value_or(""), out);
            from += 4;
        } else if (rest.starts_with("Icon")) {
            AppendScriptString(marker.m_icon.value_or(""), out);
            from += 4;
        } else {
            out += kPrefix;
        }
    }
    out.append(strCode, from);
    return out;
}

std::string CMarkerTemplate::GetOptionValue(const std::string& strName) const
{
    for (const Option& option : m_options) {
        if (option.m_strName != strName)
            continue;
        const std::string& value = option.m_strValue.empty() ? option.m_strDefault : option.m_strValue;
        long long n = 0, limit = 0;
        if (option.m_strType != "int" || !ToInt(value, n))
            return value;
        if (ToInt(option.m_strMin, limit) && n < limit)
            n = limit;
        if (ToInt(option.m_strMax, limit) && n > limit)
            n = limit;
        return std::to_string(n);
    }
    return "";
}

bool CMarkerTemplate::SetOptionValue(const std::string& strName, const std::string& strValue)
{
    for (Option& option : m_options)
        if (option.m_strName == strName) {
            option.m_strValue = strValue;
            return true;
        }
    return false;
}

std::string CMarkerTemplate::GetOptionsFile() const
{
    const size_t slash = m_strFile.rfind('/');
    const size_t dot = m_strFile.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? m_strFile.substr(0, dot) : m_strFile) + ".options";
}

void CMarkerTemplate::LoadOptions()
{
    const std::string path = GetOptionsFile();
    KRXML::CElement* parsed = nullptr;
    try {
        if (!KRXML::ParseFile(path, true, parsed))
            return;   // no user values yet
    } catch (CBaseException* e) {
        LogWarning("Error parsing marker options XML in file '%s' because: %s\n", path.c_str(), e->GetText());
        e->Delete();
        return;
    }
    KRXML::CElementPtr root(parsed);
    const KRXML::CElement* options = root->FindChild("options");
    if (!options)
        return;
    for (const KRXML::CElement* option : options->GetChildren()) {
        const char* name = option->GetAttribute("name");
        const char* value = option->GetAttribute("value");
        if (option->m_strName == "option" && name && value)
            SetOptionValue(name, value);
    }
}

bool CMarkerTemplate::SaveOptions() const
{
    KRXML::CElementPtr root(new KRXML::CElement);
    KRXML::CElement* options = root->AddChild("options");
    for (const Option& option : m_options) {
        if (option.m_strValue.empty())
            continue;
        KRXML::CElement* element = options->AddChild("option");
        element->SetAttribute("name", option.m_strName);
        element->SetAttribute("value", option.m_strValue);
    }
    return KRXML::SaveFile(root.get(), GetOptionsFile(), xmlIndented);
}
