// The unique person and programme lists.
#include "listings/UniqueList.h"

#include <algorithm>

#include "foundation/Exceptions.h"
#include "foundation/FileUtils.h"
#include "foundation/Log.h"
#include "platform/File.h"

void CUniqueList::Add(const std::string& strText)
{
    if (strText.empty())
        return;
    std::lock_guard lock(m_lock);
    m_entries.insert(strText);
}

bool CUniqueList::Contains(const std::string& strText) const
{
    std::lock_guard lock(m_lock);
    return m_entries.count(strText) != 0;
}

size_t CUniqueList::GetCount() const
{
    std::lock_guard lock(m_lock);
    return m_entries.size();
}

std::vector<std::string> CUniqueList::GetEntries() const
{
    std::lock_guard lock(m_lock);
    return {m_entries.begin(), m_entries.end()};
}

void CUniqueList::AddAll(std::vector<std::string> entries)
{
    std::lock_guard lock(m_lock);
    for (std::string& entry : entries)
        if (!entry.empty())
            m_entries.insert(std::move(entry));
}

namespace {

// Lines each ended by CR LF; false for a NUL byte, a bare CR or LF, or an unended last line.
bool ParseLines(const std::string& text, std::vector<std::string>& lines)
{
    size_t from = 0;
    while (from < text.size()) {
        const size_t cr = text.find_first_of(std::string("\r\n\0", 3), from);
        if (cr == std::string::npos || text[cr] != '\r' || cr + 1 >= text.size() || text[cr + 1] != '\n')
            return false;
        lines.push_back(text.substr(from, cr - from));
        from = cr + 2;
    }
    return true;
}

}  // namespace

void CUniqueList::Load()
{
    LogInfo("%s::Load %s", m_pszClass, m_strPath.c_str());
    // Entries of an older file join the list's own and move into its file at once, so that
    // the older file can go without a window in which a crash would lose them.
    const bool bOlder = LoadOlderFile();
    const bool bOwn = LoadOwnFile();
    if (bOlder && bOwn && Save())
        DeleteOlderFile();
}

bool CUniqueList::LoadOwnFile()
{
    if (!plat::FileExists(m_strPath))
        return true;
    std::string text;
    std::vector<std::string> lines;
    if (!ReadWholeFile(m_strPath, text)) {
        // Unreadable for now (permissions, another user): keep the file for a later run.
        LogWarning("Cannot load the unique %s list file %s\n", m_pszNoun, m_strPath.c_str());
        return false;
    }
    if (!ParseLines(text, lines)) {
        LogWarning("Cannot load the unique %s list file %s\n", m_pszNoun, m_strPath.c_str());
        plat::DeleteFile(m_strPath);
        return true;
    }
    AddAll(std::move(lines));
    return true;
}

bool CUniqueList::Save() const
{
    std::string text;
    {
        std::lock_guard lock(m_lock);
        for (const std::string& entry : m_entries)
            text.append(entry).append("\r\n");
    }
    if (WriteTextFile(m_strPath, text))
        return true;
    LogWarning("Cannot save the unique %s list file %s\n", m_pszNoun, m_strPath.c_str());
    return false;
}

namespace {

// One shared list per kind, under one lock per kind.
template <class List>
struct SharedList {
    std::mutex lock;
    std::shared_ptr<List> pList;

    std::shared_ptr<List> Get(const std::string& strFolder)
    {
        std::lock_guard guard(lock);
        if (!pList) {
            pList = std::make_shared<List>(strFolder);
            pList->Load();
        }
        return pList;
    }
    void Drop()
    {
        std::lock_guard guard(lock);
        pList.reset();
    }
    void Release()
    {
        std::lock_guard guard(lock);
        if (pList)
            pList->Save();
        pList.reset();
    }
};

SharedList<CUniquePersonList>& SharedPeople()
{
    static SharedList<CUniquePersonList> shared;
    return shared;
}

SharedList<CUniqueProgrammeList>& SharedProgrammes()
{
    static SharedList<CUniqueProgrammeList> shared;
    return shared;
}

}  // namespace

CUniquePersonList::CUniquePersonList(const std::string& strScheduleFolder)
    : CUniqueList(strScheduleFolder + "people.uq", "CUniquePersonList", "person")
{
}

std::shared_ptr<CUniquePersonList> CUniquePersonList::GetShared(const std::string& strScheduleFolder)
{
    return SharedPeople().Get(strScheduleFolder);
}

void CUniquePersonList::DropShared()
{
    SharedPeople().Drop();
}

void CUniquePersonList::ReleaseShared()
{
    SharedPeople().Release();
}

CUniqueProgrammeList::CUniqueProgrammeList(const std::string& strScheduleFolder)
    : CUniqueList(strScheduleFolder + "programmes.uq", "CUniqueProgrammeList", "programme"),
      m_strOlderPath(strScheduleFolder + "programs.uq")
{
}

std::shared_ptr<CUniqueProgrammeList> CUniqueProgrammeList::GetShared(const std::string& strScheduleFolder)
{
    return SharedProgrammes().Get(strScheduleFolder);
}

void CUniqueProgrammeList::DropShared()
{
    SharedProgrammes().Drop();
}

void CUniqueProgrammeList::ReleaseShared()
{
    SharedProgrammes().Release();
}

void CUniqueProgrammeList::DeleteOlderFile()
{
    plat::DeleteFile(m_strOlderPath);
}

bool CUniqueProgrammeList::LoadOlderFile()
{
    if (!plat::FileExists(m_strOlderPath))
        return false;
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(m_strOlderPath, bytes)) {
        LogWarning("Cannot load the unique programme list file %s\n", m_strOlderPath.c_str());
        return false;
    }
    // A count, then that many texts (a byte count and the bytes); anything short is damaged.
    auto u32 = [&](size_t at) {
        return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
               uint32_t(bytes[at + 3]) << 24;
    };
    std::vector<std::string> titles;
    bool bDamaged = bytes.size() < 4;
    size_t at = 4;
    const uint32_t nCount = bDamaged ? 0 : u32(0);
    for (uint32_t i = 0; i < nCount && !bDamaged; ++i) {
        if (bytes.size() - at < 4) {
            bDamaged = true;
            break;
        }
        const int32_t nLength = int32_t(u32(at));
        at += 4;
        const size_t n = nLength < 0 ? 0 : size_t(nLength);
        if (n > bytes.size() - at) {
            bDamaged = true;
            break;
        }
        titles.emplace_back(reinterpret_cast<const char*>(bytes.data() + at), n);
        at += n;
    }
    if (bDamaged) {
        LogWarning("Cannot load the unique programme list file %s\n", m_strOlderPath.c_str());
        plat::DeleteFile(m_strOlderPath);
        return false;
    }
    AddAll(std::move(titles));
    return true;
}
