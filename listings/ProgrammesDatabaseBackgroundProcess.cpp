// The background absorber's queue and worker thread.
#include "listings/ProgrammesDatabaseBackgroundProcess.h"

#include <new>

#include "foundation/Exceptions.h"
#include "foundation/Log.h"
#include "foundation/NameHash.h"
#include "listings/ProgrammeDB.h"
#include "listings/UniqueList.h"
#include "listings/UpdateFile.h"
#include "platform/Clock.h"
#include "platform/File.h"

namespace {

constexpr uint32_t kCutOffSeconds = 1440 * 60;

std::string FileName(const std::string& strPath)
{
    const size_t slash = strPath.find_last_of('/');
    return slash == std::string::npos ? strPath : strPath.substr(slash + 1);
}

bool HasPrefix(const std::string& strName, const char* pszPrefix)
{
    const std::string prefix(pszPrefix);
    return strName.size() >= prefix.size() && NamesEqual(strName.substr(0, prefix.size()), prefix);
}

bool HasUpdateExtension(const std::string& strName)
{
    const size_t dot = strName.find_last_of('.');
    return dot != std::string::npos && NamesEqual(strName.substr(dot + 1), "up");
}

}  // namespace

void CProgrammesDatabaseBackgroundProcess::AbsorbNewFile(const std::string& strPath)
{
    LogInfo("CProgrammesDatabaseBackgroundProcess::AbsorbNewFile -  %s", strPath.c_str());
    std::lock_guard threadLock(m_threadLock);
    if (m_abort.IsSet()) {
        LogInfo("PDB BP - Thread got abort flag 2");
        return;
    }
    {
        std::lock_guard lock(m_lock);
        m_queue.push_back(strPath);
    }
    if (!m_pThread)
        m_pThread = std::make_unique<plat::Thread>([this] { Run(); });
    m_work.Set();
}

void CProgrammesDatabaseBackgroundProcess::Close()
{
    std::lock_guard threadLock(m_threadLock);
    m_abort.Set();
    if (!m_pThread)
        return;
    LogInfo("PDB BP - Closing");
    LogInfo("PDB BP - waiting to close thread");
    m_pThread->Join();
    m_pThread.reset();
    LogInfo("PDB BP - Closed");
}

bool CProgrammesDatabaseBackgroundProcess::IsQueued(const std::string& strPath) const
{
    std::lock_guard lock(m_lock);
    if (!m_strInHand.empty() && NamesEqual(m_strInHand, strPath))
        return true;
    for (const std::string& queued : m_queue)
        if (NamesEqual(queued, strPath))
            return true;
    return false;
}

bool CProgrammesDatabaseBackgroundProcess::IsBusy() const
{
    std::lock_guard lock(m_lock);
    return !m_queue.empty() || !m_strInHand.empty();
}

bool CProgrammesDatabaseBackgroundProcess::Aborted() const
{
    if (!m_abort.IsSet())
        return false;
    LogInfo("PDB BP - Thread got abort flag 2");
    return true;
}

bool CProgrammesDatabaseBackgroundProcess::GetNextFile(std::string& strPath)
{
    std::lock_guard lock(m_lock);
    m_strInHand.clear();
    if (m_abort.IsSet()) {
        LogInfo("PDB BP - GetNextFile got abort flag");
        return false;
    }
    if (m_queue.empty())
        return false;
    strPath = m_strInHand = std::move(m_queue.front());
    m_queue.pop_front();
    return true;
}

void CProgrammesDatabaseBackgroundProcess::Run()
{
    LogInfo("PDB BP - Running");
    const std::string& folder = m_database.GetScheduleFolder();
    std::shared_ptr<CUniqueProgrammeList> pProgrammes;
    std::shared_ptr<CUniquePersonList> pPeople;
    bool bWasEmpty = true;
    try {
        pProgrammes = CUniqueProgrammeList::GetShared(folder);
        pPeople = CUniquePersonList::GetShared(folder);
        bWasEmpty = m_database.IsListingsEmpty();
    } catch (CBaseException* e) {
        // Nothing can be absorbed; the files stay for the next run's start-up pass.
        LogWarning("PDB BP - Could not start because %s", e->GetText());
        e->Delete();
        return;
    } catch (const std::bad_alloc&) {
        LogWarning("PDB BP - Could not start because %s", "Out of memory");
        return;
    }

    while (!Aborted()) {
        const int nEvent = plat::WaitAny({&m_abort, &m_work}, m_uQuietPeriod);
        if (nEvent == 0) {
            LogInfo("PDB BP - Thread got abort flag");
            break;
        }
        if (nEvent == plat::kWaitTimeout) {
            if (m_nProcessed > 0 && !bWasEmpty) {
                LogInfo("PDB BP - ListingsProcessFinished");
                m_database.NotifyListingsAbsorbed();
            }
            m_nProcessed = 0;
            continue;
        }
        bool bAbsorbed = false;
        std::string path;
        while (GetNextFile(path)) {
            ++m_nProcessed;
            bAbsorbed = true;
            LogInfo("CProgrammesDatabaseBackgroundProcess::Run Processing file - %s", path.c_str());
            ProcessFile(path, *pProgrammes, *pPeople);
        }
        if (bAbsorbed) {
            pProgrammes->Save();
            pPeople->Save();
            CUniqueProgrammeList::DropShared();
            CUniquePersonList::DropShared();
        }
    }
    LogInfo("PDB BP - Run finished");
}

void CProgrammesDatabaseBackgroundProcess::ProcessFile(const std::string& strPath, CUniqueProgrammeList& programmes,
                                                       CUniquePersonList& people)
{
    const uint32_t uNow = uint32_t(plat::NowUnix());
    const uint32_t uCutOff = uNow - kCutOffSeconds;
    const std::string name = FileName(strPath);
    try {
        if (HasPrefix(name, "QVFCDF")) {
            m_database.AbsorbChannelPlans({}, uNow, 0, nullptr, nullptr, uCutOff);
            plat::DeleteFile(strPath);
            FinishFile(strPath, "absorbed");
            return;
        }
        if (!HasUpdateExtension(name)) {
            FinishFile(strPath, "not an update file, left in place");
            return;
        }
        const uint32_t uUpdateID = UpdateIDFromFileName(name);
        const ListingsPlan plan = ReadUpdateFile(strPath);
        m_database.AbsorbChannelPlans(plan, uNow, uUpdateID, &programmes, &people, uCutOff);
        plat::DeleteFile(strPath);
        FinishFile(strPath, "absorbed");
    } catch (CBaseException* e) {
        const std::string reason = e->GetText();
        e->Delete();
        LogWarning("Failed to load file %s because %s, file has been deleted", strPath.c_str(), reason.c_str());
        plat::DeleteFile(strPath);
        FinishFile(strPath, reason);
    } catch (const std::bad_alloc&) {
        LogWarning("Failed to load file %s because %s, file has been deleted", strPath.c_str(), "Out of memory");
        plat::DeleteFile(strPath);
        FinishFile(strPath, "Out of memory");
    }
}

void CProgrammesDatabaseBackgroundProcess::FinishFile(const std::string& strPath, const std::string& strResult)
{
    {
        std::lock_guard lock(m_lock);
        m_strInHand.clear();
    }
    m_database.NotifyFileProcessed(strPath, strResult);
}
