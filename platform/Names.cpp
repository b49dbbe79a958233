// The test that tells our program files from any other file.
#include "platform/Names.h"

namespace plat {

namespace {

std::string_view FileNamePart(std::string_view path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool EndsWithFolded(std::string_view text, std::string_view suffix)
{
    if (text.size() < suffix.size())
        return false;
    text = text.substr(text.size() - suffix.size());
    for (size_t i = 0; i < suffix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != suffix[i])
            return false;
    }
    return true;
}

// "name.so" or "name.so.1", "name.so.1.2": a shared library with or without its version.
bool IsSharedLibraryName(std::string_view name)
{
    size_t end = name.size();
    while (end > 0) {
        size_t dot = name.rfind('.', end - 1);
        if (dot == std::string_view::npos || dot + 1 == end)
            return false;
        const std::string_view part = name.substr(dot + 1, end - dot - 1);
        if (part.find_first_not_of("0123456789") != std::string_view::npos)
            return dot > 0 && EndsWithFolded(name.substr(0, end), ".so");
        end = dot;
    }
    return false;
}

}  // namespace

bool IsExecutableName(std::string_view fileName)
{
    const std::string_view name = FileNamePart(fileName);
    return name == kLauncherName || name == kUpgraderName || name == kCompanionName;
}

bool IsProgramFile(std::string_view fileName)
{
    const std::string_view name = FileNamePart(fileName);
    return IsExecutableName(name) || IsSharedLibraryName(name) || (name.size() > 9 && EndsWithFolded(name, kThemeArchiveExtension));
}

}  // namespace plat
