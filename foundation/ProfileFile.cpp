#include "foundation/ProfileFile.h"

#include <climits>
#include <cstdlib>

#include "foundation/FileUtils.h"

namespace {

constexpr size_t kMaxToken = 1022;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string Trim(std::string_view s)
{
    size_t nBegin = 0, nEnd = s.size();
    while (nBegin < nEnd && IsBlank(s[nBegin]))
        ++nBegin;
    while (nEnd > nBegin && IsBlank(s[nEnd - 1]))
        --nEnd;
    return std::string(s.substr(nBegin, nEnd - nBegin));
}

bool AllBlank(std::string_view s)
{
    for (char c : s)
        if (!IsBlank(c))
            return false;
    return true;
}

}  // namespace

bool CProfileFile::Load(const std::string& strPath)
{
    m_sections.clear();
    m_strPath = strPath;
    std::string strText;
    if (!ReadWholeFile(strPath, strText))
        return false;
    Parse(strText);
    return true;
}

void CProfileFile::Parse(std::string_view strText)
{
    enum class State { FindSection, SectionName, Key, Value, Comment };
    State state = State::FindSection;
    CKeyTable* pSection = nullptr;
    std::string strToken, strKey;
    auto afterToken = [&] {
        strToken.clear();
        state = pSection ? State::Key : State::FindSection;
    };

    for (char c : strText) {
        switch (state) {
        case State::FindSection:
            if (c == '[') {
                strToken.clear();
                state = State::SectionName;
            }
            continue;
        case State::SectionName:
            if (c == '\n' || c == ']') {
                CKeyTable& table = m_sections[Trim(strToken)];
                table.clear();
                pSection = &table;
                afterToken();
                continue;
            }
            break;
        case State::Key:
            if (c == '=') {
                strKey = Trim(strToken);
                strToken.clear();
                state = State::Value;
                continue;
            }
            if (c == '[') {
                strToken.clear();
                state = State::SectionName;
                continue;
            }
            if (c == ';' && AllBlank(strToken)) {
                state = State::Comment;
                continue;
            }
            if (c == '\n') {   // a line without "=" names no key
                strToken.clear();
                continue;
            }
            break;
        case State::Value:
            if (c == '\n') {
                (*pSection)[strKey] = Trim(strToken);
                afterToken();
                continue;
            }
            break;
        case State::Comment:
            if (c == '\n')
                afterToken();
            continue;
        }
        strToken += c;
        if (strToken.size() >= kMaxToken)
            afterToken();
    }

    if (state == State::Value)
        (*pSection)[strKey] = Trim(strToken);
    else if (state == State::Key && !AllBlank(strToken))
        (*pSection)[Trim(strToken)] = std::string();
}

bool CProfileFile::GetString(std::string_view strSection, std::string_view strKey,
                             std::string& strOut) const
{
    auto section = m_sections.find(strSection);
    if (section == m_sections.end())
        return false;
    auto key = section->second.find(strKey);
    if (key == section->second.end())
        return false;
    strOut = key->second;
    return true;
}

bool CProfileFile::GetInt(std::string_view strSection, std::string_view strKey, int& nOut) const
{
    std::string strValue;
    if (!GetString(strSection, strKey, strValue))
        return false;
    // As atoi, but a number out of range saturates instead of being undefined.
    long nValue = std::strtol(strValue.c_str(), nullptr, 10);
    nOut = nValue > INT_MAX ? INT_MAX : nValue < INT_MIN ? INT_MIN : static_cast<int>(nValue);
    return true;
}

bool CProfileFile::GetBool(std::string_view strSection, std::string_view strKey, bool& bOut) const
{
    int nValue = 0;
    if (!GetInt(strSection, strKey, nValue))
        return false;
    bOut = nValue != 0;
    return true;
}
