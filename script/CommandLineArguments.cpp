#include "script/CommandLineArguments.h"

#include <cctype>

namespace {

std::string Unquote(const std::string& text)
{
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"')
        return text.substr(1, text.size() - 2);
    return text;
}

}  // namespace

void CCommandLineArguments::Parse(const std::vector<std::string>& arguments)
{
    for (size_t i = 1; i < arguments.size(); ++i) {
        std::string token = arguments[i];
        if (!token.empty() && (token[0] == '-' || token[0] == '/'))
            token.erase(0, 1);
        size_t split = std::string::npos;
        bool quoted = false;
        for (size_t c = 0; c < token.size() && split == std::string::npos; ++c) {
            if (token[c] == '"')
                quoted = !quoted;
            else if (token[c] == '=' && !quoted)
                split = c;
        }
        const std::string name = Unquote(token.substr(0, split));
        const std::string value = split == std::string::npos ? std::string() : Unquote(token.substr(split + 1));
        m_mapValues[Key(name)].push_back(value);
    }
}

bool CCommandLineArguments::Exists(const std::string& name) const
{
    return m_mapValues.count(Key(name)) != 0;
}

std::string CCommandLineArguments::GetValue(const std::string& name) const
{
    const auto it = m_mapValues.find(Key(name));
    return it == m_mapValues.end() ? std::string() : it->second.front();
}

std::string CCommandLineArguments::Key(const std::string& name)
{
    std::string key = name;
    for (char& c : key)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return key;
}
