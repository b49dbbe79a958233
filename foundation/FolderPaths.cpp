// The folder table and the XDG mapping of the folders that paths may name.
#include "foundation/FolderPaths.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "foundation/Exceptions.h"
#include "foundation/FileUtils.h"
#include "foundation/KRXML.h"
#include "platform/File.h"
#include "platform/Process.h"

namespace {

// Where the folder error sends the user.
constexpr const char* kSupportSite = "https://quilvolite.net/support";
// The longest path the system accepts (PATH_MAX).
constexpr size_t kMaxPathLength = 4096;

std::string WithSlash(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

// An absolute folder from an environment variable, or "" when it is unset or relative.
std::string AbsoluteFromEnv(const char* name)
{
    std::string value = plat::GetEnv(name);
    return !value.empty() && value[0] == '/' ? WithSlash(value) : std::string();
}

// $XDG_DATA_HOME, else ~/.local/share/, else "" when there is no home.
std::string UserDataFolder()
{
    std::string folder = AbsoluteFromEnv("XDG_DATA_HOME");
    if (folder.empty()) {
        std::string home = AbsoluteFromEnv("HOME");
        if (!home.empty())
            folder = home + ".local/share/";
    }
    return folder;
}

// The videos folder that xdg-user-dirs records in user-dirs.dirs (XDG_VIDEOS_DIR="$HOME/..."
// or an absolute path), else ~/Videos/, else "" when there is no home.
std::string UserVideosFolder()
{
    std::string home = AbsoluteFromEnv("HOME");
    if (home.empty())
        return std::string();
    std::string config = AbsoluteFromEnv("XDG_CONFIG_HOME");
    if (config.empty())
        config = home + ".config/";
    std::string folder = home + "Videos/";
    if (FILE* f = plat::OpenFile(config + "user-dirs.dirs", "rb")) {
        char line[1024];
        while (std::fgets(line, sizeof line, f)) {
            const char* key = "XDG_VIDEOS_DIR=\"";
            const char* value = std::strstr(line, key);
            if (value != line)
                continue;
            value += std::strlen(key);
            const char* end = std::strchr(value, '"');
            if (!end)
                continue;
            std::string text(value, end);
            if (text.compare(0, 5, "$HOME") == 0)
                folder = WithSlash(home + (text.size() > 6 ? text.substr(6) : std::string()));
            else if (!text.empty() && text[0] == '/')
                folder = WithSlash(text);
        }
        plat::CloseFile(f);
    }
    return folder;
}

}  // namespace

void CFolderPaths::SetApplicationFolder(const std::string& folder)
{
    m_strApplicationFolder = folder;
    std::replace(m_strApplicationFolder.begin(), m_strApplicationFolder.end(), '\\', '/');
    m_strApplicationFolder = WithSlash(m_strApplicationFolder);

    std::string userData = UserDataFolder();
    std::string videos = UserVideosFolder();
    plat::SetEnv("APP", m_strApplicationFolder);
    plat::SetEnv("USER_APPDATA", userData.empty() ? m_strApplicationFolder : userData);
    plat::SetEnv("APPDATA", m_strApplicationFolder);
    plat::SetEnv("CSIDL_MYVIDEO", videos.empty() ? m_strApplicationFolder + "My Videos/" : videos);
}

bool CFolderPaths::ExpandPath(const std::string& text, std::string& out)
{
    out.clear();
    size_t pos = 0;
    while (pos < text.size()) {
        size_t open = text.find('%', pos);
        size_t close = open == std::string::npos ? open : text.find('%', open + 1);
        if (close == std::string::npos) {
            out.append(text, pos, std::string::npos);
            break;
        }
        out.append(text, pos, open - pos);
        std::string name = text.substr(open + 1, close - open - 1);
        if (!name.empty() && plat::HasEnv(name.c_str())) {
            out += plat::GetEnv(name.c_str());
            pos = close + 1;
        } else {
            // Not a variable: keep the "%" and look again from the second one.
            out.append(text, open, close - open);
            pos = close;
        }
        if (out.size() > kMaxPathLength)
            return false;
    }
    std::replace(out.begin(), out.end(), '\\', '/');
    // Variables end in "/", so "%APP%/x" would double it.
    out.erase(std::unique(out.begin(), out.end(), [](char a, char b) { return a == '/' && b == '/'; }),
              out.end());
    return out.size() <= kMaxPathLength;
}

bool CFolderPaths::Load(const std::string& path)
{
    Entries entries;
    if (!ReadTable(path, entries))
        return false;
    std::lock_guard<std::mutex> guard(m_lock);
    for (auto& [name, entry] : entries)
        m_entries.insert_or_assign(name, std::move(entry));
    return true;
}

bool CFolderPaths::Reload()
{
    Entries entries;
    if (!ReadTable(m_strApplicationFolder + "paths.dat", entries))
        return false;
    // The user's table lies in a folder that the program's table names.
    const auto settings = entries.find("user-settings");
    if (settings != entries.end() && settings->second.type == kFolderType) {
        Entries user;
        if (ReadTable(settings->second.path + "user-paths.dat", user))
            for (auto& [name, entry] : user)
                entries.insert_or_assign(name, std::move(entry));
    }
    std::lock_guard<std::mutex> guard(m_lock);
    m_entries.swap(entries);
    return true;
}

bool CFolderPaths::ReadTable(const std::string& path, Entries& entries)
{
    KRXML::CElement* parsed = nullptr;
    if (!KRXML::ParseFile(path, false, parsed))
        return false;
    KRXML::CElementPtr root(parsed);
    KRXML::CElement* paths = root->FindChild("paths");
    if (!paths)
        return false;
    KRXML::CElementIterator children(paths);
    while (KRXML::CElement* child = children.Next()) {
        const char* name = child->GetAttribute("name");
        const char* text = child->GetAttribute("path");
        std::string expanded;
        if (!name || !text || !ExpandPath(text, expanded))
            continue;
        int32_t type = 0;
        child->GetAttributeInt("type", type);
        if (type == kFolderType)
            expanded = WithSlash(expanded);
        entries.insert_or_assign(name, Entry{name, expanded, type});
    }
    return true;
}

std::string CFolderPaths::GetFolder(const std::string& key) const
{
    std::string folder;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto found = m_entries.find(key);
        if (found == m_entries.end() || found->second.type != kFolderType)
            return std::string();
        folder = found->second.path;
    }
    // Created on demand, and again when it was removed while the program runs.
    if (plat::IsDirectory(folder) || CreateFolderChain(folder))
        return folder;
    throw new CExtraInfoException(
        2, "Sorry, Quilvo was unable to find folder [" + key + "]->'" + folder +
               "', cannot continue.\nPlease ensure that the folder drive is accessible or contact "
               "support at " + kSupportSite + ".");
}

bool CFolderPaths::FindFolder(const std::string& key, std::string& path) const
{
    path = GetFolder(key);
    return !path.empty();
}

std::vector<std::pair<std::string, std::string>> CFolderPaths::ListFolders() const
{
    std::vector<std::pair<std::string, std::string>> folders;
    std::lock_guard<std::mutex> guard(m_lock);
    for (const auto& [key, entry] : m_entries)
        if (entry.type == kFolderType)
            folders.emplace_back(entry.name, entry.path);
    std::sort(folders.begin(), folders.end());
    return folders;
}
