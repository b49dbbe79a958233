// Member names of packages: "\" and "/" both separate folders, and a name never reaches
// outside its package.
#pragma once
#include <algorithm>
#include <string>
#include <string_view>

inline std::string ToForwardSlashes(std::string strName)
{
    std::replace(strName.begin(), strName.end(), '\\', '/');
    return strName;
}

// A relative name with "/" separators that stays inside its package: not empty, no leading
// "/", no drive ("C:"), no ".." folder and no zero byte.
inline bool IsConfinedName(std::string_view name)
{
    if (name.empty() || name.front() == '/' || name.find('\0') != std::string_view::npos)
        return false;
    if (name.size() >= 2 && name[1] == ':')
        return false;
    size_t start = 0;
    while (start <= name.size()) {
        const size_t end = std::min(name.find('/', start), name.size());
        if (name.substr(start, end - start) == "..")
            return false;
        start = end + 1;
    }
    return true;
}
