// Reading the update file list.
#include "upgrader/FileList.h"

#include <algorithm>

#include "foundation/CompressedFile.h"
#include "foundation/LightXML.h"
#include "foundation/NameHash.h"
#include "foundation/Store.h"

namespace {

constexpr uint32_t kPiece = 32768;
// A list names a few hundred files; anything near this is not a list.
constexpr size_t kMaxListSize = 16u << 20;

std::string Attribute(const CLightElement* element, const char* name)
{
    const char* value = element->GetAttribute(name);
    return value ? value : "";
}

uint32_t Number(const CLightElement* element, const char* name)
{
    uint32_t value = 0;
    element->GetAttributeInt(name, value);
    return value;
}

}  // namespace

bool IsConfinedRelativePath(const std::string& strPath)
{
    if (strPath.empty() || strPath.front() == '/' || strPath.find('\0') != std::string::npos)
        return false;
    size_t start = 0;
    while (start <= strPath.size()) {
        size_t end = strPath.find('/', start);
        if (end == std::string::npos)
            end = strPath.size();
        const std::string part = strPath.substr(start, end - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        start = end + 1;
    }
    return true;
}

bool CFileListEntry::GetInstalledPath(const std::string& strFolder, std::string& strPath) const
{
    if (strFolder.empty() || strFolder.back() != '/' || !IsConfinedRelativePath(m_strExtractName))
        return false;
    strPath = strFolder + m_strExtractName;
    return true;
}

bool CFileList::Load(const std::string& strPath)
{
    m_entries.clear();
    std::string text;
    {
        CCompressedFile file(strPath, storeRead);
        std::string piece(kPiece, '\0');
        while (uint32_t got = file.Read(piece.data(), kPiece)) {
            if (text.size() + got > kMaxListSize)
                return false;
            text.append(piece, 0, got);
        }
    }
    LightXML::CElementPtr root(LightXML::ParseText(text.data(), text.size()));
    CLightElement* files = root ? root->FindChild("files") : nullptr;
    if (!files)
        return false;
    LightXML::CElementIterator children(files);
    while (const CLightElement* child = children.Next()) {
        CFileListEntry entry;
        entry.m_strHashName = Attribute(child, "hashname");
        entry.m_strExtractName = Attribute(child, "extractname");
        std::replace(entry.m_strExtractName.begin(), entry.m_strExtractName.end(), '\\', '/');
        entry.m_strExtractFolder = Attribute(child, "extractfolder");
        entry.m_uBytes = Number(child, "bytes");
        entry.m_uTimeHigh = Number(child, "ft-high");
        entry.m_uTimeLow = Number(child, "ft-low");
        entry.m_uCRC = Number(child, "CRC");
        m_entries.push_back(std::move(entry));
    }
    return true;
}

const CFileListEntry* CFileList::FindByHashName(const std::string& strName) const
{
    for (const CFileListEntry& entry : m_entries)
        if (NamesEqual(entry.m_strHashName, strName))
            return &entry;
    return nullptr;
}
