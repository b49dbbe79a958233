// GetImage: names to shared images, through files, packages and the theme, with the cache.
#include "images/Image.h"
#include "platform/File.h"
#include "platform/Process.h"

#include <cstdio>
#include <map>
#include <mutex>

namespace {

constexpr size_t kMaxExpandedName = 520;
const std::string kThemePrefix = "THEMEIMG:";

std::mutex g_lock;                          // guards the cache and the sources
std::map<std::string, CImagePtr> g_cache;   // keyed by the name given, ASCII upper case
ImageSources g_sources;

std::string FoldAscii(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// Replaces %NAME% with the variable's value; references to unset variables stay as written.
// Answers false when the result would be longer than the expansion allows.
bool ExpandEnvironment(const std::string& name, std::string& out)
{
    out.clear();
    for (size_t i = 0; i < name.size();) {
        const size_t close = name[i] == '%' ? name.find('%', i + 1) : std::string::npos;
        if (close == std::string::npos) {
            out += name[i++];
            continue;
        }
        const std::string variable = name.substr(i + 1, close - i - 1);
        if (!variable.empty() && plat::HasEnv(variable.c_str())) {
            out += plat::GetEnv(variable.c_str());
            i = close + 1;
        } else {
            out += name.substr(i, close - i);   // keep "%NAME" and look again from the "%"
            i = close;
        }
    }
    if (out.size() > kMaxExpandedName)
        return false;
    for (char& c : out)
        if (c == '\\')
            c = '/';   // names written on Windows
    return true;
}

CImagePtr Decode(const std::vector<uint8_t>& data)
{
    auto image = std::make_shared<CImage>();
    CImageReader reader(data.data(), data.size());
    return image->Load(reader) ? image : nullptr;
}

CImagePtr Remember(const std::string& key, CImagePtr image)
{
    std::lock_guard<std::mutex> hold(g_lock);
    return g_cache.emplace(key, std::move(image)).first->second;   // first one in wins
}

CImagePtr AskTheme(const std::string& name)
{
    std::function<CImagePtr(const std::string&)> theme;
    {
        std::lock_guard<std::mutex> hold(g_lock);
        theme = g_sources.themeImage;
    }
    return theme ? theme(name) : nullptr;
}

}  // namespace

bool ReadImageFile(const std::string& path, std::vector<uint8_t>& out)
{
    plat::FileInfo info;
    if (!plat::GetFileInfo(path, info) || info.isDirectory || info.size > kMaxImageFileSize)
        return false;
    FILE* file = plat::OpenFile(path, "rb");
    if (!file)
        return false;
    out.resize(static_cast<size_t>(info.size));
    const size_t got = out.empty() ? 0 : std::fread(out.data(), 1, out.size(), file);
    plat::CloseFile(file);
    out.resize(got);
    return true;
}

CImagePtr GetImage(const std::string& name)
{
    std::string expanded;
    if (name.empty() || !ExpandEnvironment(name, expanded))
        return nullptr;
    const std::string key = FoldAscii(name);
    {
        std::lock_guard<std::mutex> hold(g_lock);
        if (auto it = g_cache.find(key); it != g_cache.end())
            return it->second;
    }
    const bool themeName = FoldAscii(expanded.substr(0, kThemePrefix.size())) == kThemePrefix;
    const size_t colon = expanded.rfind(':');

    if (expanded.find("qvimglib") != std::string::npos && colon != std::string::npos) {
        std::function<bool(const std::string&, const std::string&, std::vector<uint8_t>&)> read;
        {
            std::lock_guard<std::mutex> hold(g_lock);
            read = g_sources.readPackageFile;
        }
        std::vector<uint8_t> data;
        if (read && read(expanded.substr(0, colon), expanded.substr(colon + 1), data))
            if (CImagePtr image = Decode(data))
                return Remember(key, std::move(image));
    }
    if (!themeName) {
        std::vector<uint8_t> data;
        if (ReadImageFile(plat::ResolveCaseInsensitive(expanded), data))
            if (CImagePtr image = Decode(data))
                return Remember(key, std::move(image));
        return AskTheme(expanded);
    }
    return AskTheme(expanded.substr(colon + 1));
}

void ClearImageCache()
{
    std::map<std::string, CImagePtr> dropped;
    std::lock_guard<std::mutex> hold(g_lock);
    dropped.swap(g_cache);   // released after the lock, in case a release does more
}

void SetImageSources(ImageSources sources)
{
    std::lock_guard<std::mutex> hold(g_lock);
    g_sources = std::move(sources);
}
