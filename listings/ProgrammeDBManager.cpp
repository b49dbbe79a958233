// The programme database manager and the start-up pass over the pending folder.
#include "listings/ProgrammeDBManager.h"

#include <algorithm>
#include <tuple>

#include "foundation/Exceptions.h"
#include "foundation/Log.h"
#include "foundation/NameHash.h"
#include "listings/ChannelManager.h"
#include "listings/UniqueList.h"
#include "platform/File.h"

CProgrammeDBManager& CProgrammeDBManager::Instance()
{
    static CProgrammeDBManager manager;
    return manager;
}

bool CProgrammeDBManager::Start(const std::string& strScheduleFolder, const std::string& strPendingFolder,
                                const std::string& strApplicationFolder, ProgrammeDBHooks hooks)
{
    LogInfo("Starting the programme database");
    std::lock_guard lock(m_lock);
    m_strScheduleFolder = strScheduleFolder;
    m_strPendingFolder = strPendingFolder;
    m_strApplicationFolder = strApplicationFolder;
    bool bStarted = true;
    try {
        m_keywords.Load(m_strApplicationFolder + "keywords");
        if (!m_pDatabase) {
            LogInfo("Loading programmes DB");
            m_pDatabase = std::make_unique<CProgrammeDBFlat>(m_strScheduleFolder, m_strPendingFolder, std::move(hooks));
        }
        AbsorbPendingFiles();
    } catch (CBaseException* e) {
        LogWarning("Fatal error when trying to open listings; %s", e->GetText());
        e->Delete();
        if (!m_pDatabase)
            m_pDatabase = std::make_unique<CProgrammeDBFlat>(m_strScheduleFolder, m_strPendingFolder, std::move(hooks));
        bStarted = false;
    }
    return bStarted;
}

void CProgrammeDBManager::Close()
{
    LogInfo("Programme database closing down");
    std::unique_ptr<CProgrammeDBFlat> pDatabase;
    {
        std::lock_guard lock(m_lock);
        m_keywords.Clear();
        pDatabase = std::move(m_pDatabase);
    }
    CChannelManager::Drop();
    if (pDatabase) {
        pDatabase->Close();
        pDatabase.reset();
    }
    CUniqueProgrammeList::ReleaseShared();
    CUniquePersonList::ReleaseShared();
    LogInfo("Programme database closed");
}

void CProgrammeDBManager::ReloadKeywords()
{
    std::lock_guard lock(m_lock);
    m_keywords.Load(m_strApplicationFolder + "keywords");
}

CProgrammeDBFlat* CProgrammeDBManager::GetDatabase() const
{
    std::lock_guard lock(m_lock);
    return m_pDatabase.get();
}

void CProgrammeDBManager::AbsorbPendingFiles()
{
    LogInfo("Absorbing any listings files found");
    std::vector<std::string> names;
    for (const plat::FileInfo& info : plat::FindFiles(m_strPendingFolder + "*.*"))
        if (!info.isDirectory)
            names.push_back(info.name);
    if (names.empty()) {
        LogInfo("No listings files found to absorb");
        return;
    }
    LogInfo("%d listings files found to absorb", int(names.size()));
    for (const std::string& name : OrderPendingFiles(std::move(names)))
        m_pDatabase->AbsorbFile(m_strPendingFolder + name);
}

namespace {

std::string FileName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Extension(const std::string& path)
{
    const std::string name = FileName(path);
    const size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

// The decimal number from the fourth character on; 0 when there are no digits there.
uint64_t PlanNumber(const std::string& path)
{
    const std::string name = FileName(path);
    uint64_t n = 0;
    for (size_t i = 3; i < name.size() && name[i] >= '0' && name[i] <= '9' && n < UINT32_MAX; ++i)
        n = n * 10 + unsigned(name[i] - '0');
    return n;
}

}  // namespace

std::vector<std::string> OrderPendingFiles(std::vector<std::string> names)
{
    // Names sort "5-10.up" before "5-9.up"; updates of one channel must go in update-id order.
    auto key = [](const std::string& name) {
        uint32_t uChannel = 0, uUpdate = 0;
        const bool bUpdate = ParseUpdateFileName(name, uChannel, uUpdate);
        return std::make_tuple(!bUpdate, uChannel, uUpdate, FileName(name));
    };
    std::stable_sort(names.begin(), names.end(),
                     [&](const std::string& a, const std::string& b) { return key(a) < key(b); });
    std::vector<std::string> ordered;
    ordered.reserve(names.size());
    while (!names.empty()) {
        // Some file is always eligible: any other than "pln", or the "pln" of the smallest number.
        size_t pick = names.size();
        for (size_t i = 0; i < names.size() && pick == names.size(); ++i) {
            if (!NamesEqual(Extension(names[i]), "pln")) {
                pick = i;
                continue;
            }
            const uint64_t n = PlanNumber(names[i]);
            const bool bSmallerLeft = std::any_of(names.begin(), names.end(), [&](const std::string& other) {
                return &other != &names[i] && PlanNumber(other) < n;
            });
            if (!bSmallerLeft)
                pick = i;
        }
        ordered.push_back(std::move(names[pick]));
        names.erase(names.begin() + ptrdiff_t(pick));
    }
    return ordered;
}
