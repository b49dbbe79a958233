// Loading and ordering the update file list.
#include "update/FileList.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <functional>

#include "app/ApplicationServices.h"
#include "foundation/CompressedFile.h"
#include "foundation/Exceptions.h"
#include "foundation/FileStore.h"
#include "foundation/LightXML.h"
#include "foundation/Log.h"
#include "foundation/NameHash.h"
#include "platform/Names.h"

namespace {

constexpr uint32_t kPiece = 32768;

std::string Attribute(const CLightElement* e, const char* name)
{
    const char* value = e->GetAttribute(name);
    return value ? value : "";
}

bool StartsWithFolded(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && NamesEqual(text.substr(0, prefix.size()), prefix);
}

std::string_view Extension(std::string_view name)
{
    const size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : name.substr(dot + 1);
}

void ThrowIfNotGzip(const std::string& path)
{
    CFileStore file(path, storeRead);
    unsigned char magic[2] = {0, 0};
    if (file.GetLength() < 2 || (file.Read(magic, 2), magic[0] != 0x1F || magic[1] != 0x8B))
        throw new CCompressedFileException(3, "'" + path + "' is not a gzip file");
}

}  // namespace

std::string CFileListEntry::InstalledPath() const
{
    CApplicationServices* services = GetApplicationServices();
    if (!services)
        return {};
    std::string folder;
    if (!services->FindFolder(m_strExtractFolder.empty() ? "app-folder" : m_strExtractFolder, folder))
        return {};
    return folder + m_strExtractName;
}

bool IsSafeHashname(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos &&
           !StartsWithFolded(name, "check.dat") && !StartsWithFolded(name, "filelist.dat");
}

bool IsSafeRelativePath(std::string_view path)
{
    if (path.empty() || path.find('\0') != std::string_view::npos)
        return false;
    for (size_t start = 0; start <= path.size();) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos)
            end = path.size();
        const std::string_view part = path.substr(start, end - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        start = end + 1;
    }
    return true;
}

CFileList::LoadResult CFileList::Load(const std::string& path)
{
    Clear();
    std::string xml;
    try {
        ThrowIfNotGzip(path);
        CCompressedFile file(path, storeRead);
        std::string piece(kPiece, '\0');
        while (uint32_t n = file.Read(piece.data(), kPiece)) {
            if (xml.size() + n > kMaxFileListBytes)
                throw new CCompressedFileException(3, "'" + path + "' holds too large a file list");
            xml.append(piece.data(), n);
        }
    } catch (CBaseException* e) {
        LogWarning("QV Failed to load file list %s because %s", path.c_str(), e->GetText());
        e->Delete();
        return LoadResult::failed;
    }

    LightXML::CElementPtr root(LightXML::ParseText(xml.data(), xml.size()));
    const CLightElement* files = root ? root->FindPath("files") : nullptr;
    if (!files)
        return LoadResult::loaded;
    for (const CLightElement* e : files->GetChildren()) {
        CFileListEntry entry;
        entry.m_strHashname = Attribute(e, "hashname");
        entry.m_strExtractName = Attribute(e, "extractname");
        std::replace(entry.m_strExtractName.begin(), entry.m_strExtractName.end(), '\\', '/');
        entry.m_strExtractFolder = Attribute(e, "extractfolder");
        if (!IsSafeHashname(entry.m_strHashname) || !IsSafeRelativePath(entry.m_strExtractName)) {
            LogWarning("QV Refusing file list %s: entry '%s' for '%s' would leave its folder",
                       path.c_str(), entry.m_strHashname.c_str(), entry.m_strExtractName.c_str());
            Clear();
            return LoadResult::unsafe;
        }
        e->GetAttributeInt("bytes", entry.m_nBytes);
        e->GetAttributeInt("ft-high", entry.m_nFTHigh);
        e->GetAttributeInt("ft-low", entry.m_nFTLow);
        e->GetAttributeInt("CRC", entry.m_uCRC);
        entry.m_bValid = true;
        m_entries.push_back(std::move(entry));
    }
    return LoadResult::loaded;
}

const CFileListEntry* CFileList::FindByHashname(std::string_view hashname) const
{
    for (const CFileListEntry& e : m_entries)
        if (NamesEqual(e.m_strHashname, hashname))
            return &e;
    return nullptr;
}

const CFileListEntry* CFileList::FindByExtract(std::string_view name, std::string_view folder) const
{
    for (const CFileListEntry& e : m_entries)
        if (NamesEqual(e.m_strExtractName, name) && NamesEqual(e.m_strExtractFolder, folder))
            return &e;
    return nullptr;
}

std::vector<CFileListEntry> OrderForDownload(std::vector<CFileListEntry> chosen)
{
    using Row = std::function<bool(std::string_view)>;
    const auto named = [](const char* wanted) -> Row {
        return [wanted](std::string_view name) { return NamesEqual(name, wanted); };
    };
    const auto extension = [](const char* wanted) -> Row {
        return [wanted](std::string_view name) { return NamesEqual(Extension(name), wanted); };
    };
    const std::array<Row, 9> rows = {
        named(plat::kUpgraderName),
        named(plat::kLauncherName),
        [](std::string_view name) {
            return plat::IsProgramFile(name) && !plat::IsExecutableName(name) &&
                   !NamesEqual(Extension(name), "qvltheme");
        },
        [](std::string_view name) { return plat::IsExecutableName(name); },
        extension("qvltheme"),
        extension("qvl"),
        extension("h"),
        named("channels"),
        named("keywords"),
    };

    std::vector<CFileListEntry> ordered;
    ordered.reserve(chosen.size());
    for (const Row& row : rows) {
        auto moved = std::stable_partition(chosen.begin(), chosen.end(), [&](const CFileListEntry& e) {
            return !row(e.m_strExtractName);
        });
        std::move(moved, chosen.end(), std::back_inserter(ordered));
        chosen.erase(moved, chosen.end());
    }
    auto listings = std::stable_partition(chosen.begin(), chosen.end(), [](const CFileListEntry& e) {
        return !NamesEqual(Extension(e.m_strExtractName), "up");
    });
    const auto number = [](const CFileListEntry& e) {
        const size_t dash = e.m_strExtractName.find('-');
        return dash == std::string::npos ? 0L : std::strtol(e.m_strExtractName.c_str() + dash + 1, nullptr, 10);
    };
    std::stable_sort(listings, chosen.end(), [&](const CFileListEntry& a, const CFileListEntry& b) {
        return number(a) < number(b);
    });
    std::move(chosen.begin(), chosen.end(), std::back_inserter(ordered));
    return ordered;
}
