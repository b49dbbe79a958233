// Feeds arbitrary bytes, as a downloaded file, to the readers of the listings service's files
// and of theme archives: the first byte picks "channels", "category", "keywords", a
// ".qvltheme" archive or "region.dat"; the rest is the file. Nothing may crash, leak or read
// out of bounds, and what is read stays within the limits.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/DeploymentKeys.h"
#include "listings/CategoryFile.h"
#include "listings/ChannelManager.h"
#include "listings/KeywordList.h"
#include "listings/Regions.h"
#include "platform/File.h"
#include "script/theme/FileSource.h"
#include "script/theme/Theme.h"

namespace {

// A folder of this process's own, made once.
const std::string& Folder()
{
    static const std::string folder = [] {
        std::string path = plat::CreateTempFile(plat::TempFolder(), "qvl-fuzz-lineup-");
        plat::DeleteFile(path);
        plat::CreateDirectory(path);
        plat::CreateDirectory(path + "/theme");
        return path + "/";
    }();
    return folder;
}

void Write(const std::string& strPath, const uint8_t* data, size_t size)
{
    if (!plat::WriteFileReplacing(strPath, data, size))
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::string& folder = Folder();
    const uint8_t* file = data + 1;
    const size_t fileSize = size - 1;
    switch (data[0] % 5) {
    case 0: {
        Write(folder + "channels", file, fileSize);
        CChannelManager manager({folder, folder + "images/", ""});
        manager.Load();
        for (const CChannelPtr& pChannel : manager.GetChannels())
            if (pChannel->GetName().size() > fileSize || pChannel->GetShortName().size() > fileSize)
                std::abort();
        break;
    }
    case 1: {
        Write(folder + "category", file, fileSize);
        CCategoryList list;
        LoadCategories(folder + "category", list);
        if (list.GetSortedCategories().size() > fileSize / 16)
            std::abort();
        break;
    }
    case 2: {
        Write(folder + "keywords", file, fileSize);
        CKeywordList keywords;
        keywords.Load(folder + "keywords");
        if (keywords.GetCount() > fileSize / 4)
            std::abort();
        break;
    }
    case 3: {
        Write(folder + "fuzz.qvltheme", file, fileSize);
        CArchiveFileSource archive(folder + "fuzz.qvltheme", true, kThemeArchiveKey);
        std::vector<std::string> names;
        archive.ListFiles(names);
        uint64_t total = 0;
        for (const std::string& name : names) {
            std::vector<uint8_t> bytes;
            if (!archive.LoadFile(name, bytes) || bytes.size() > kMaxPackageEntrySize)
                std::abort();
            total += bytes.size();
        }
        if (total > kMaxPackageSize)
            std::abort();
        break;
    }
    default: {
        Write(folder + "theme/theme.velasc", file, 0);
        Write(folder + "theme/region.dat", file, fileSize);
        CTheme theme;
        theme.LoadTheme(folder + "theme");
        CRegions regions(theme);
        if (regions.LoadRegionXML())
            for (const CRegions::Region& region : regions.GetRegions()) {
                std::vector<CRegions::Channel> channels;
                if (!regions.GetRegionChannels(region.uID, true, channels))
                    std::abort();
            }
        break;
    }
    }
    return 0;
}
