// The accessor and the services every application answers alike.
#include "app/ApplicationServices.h"

#include "foundation/Exceptions.h"
#include "foundation/Log.h"
#include "listings/DateTime.h"
#include "listings/ProgrammeDBManager.h"

namespace {
std::atomic<CApplicationServices*> g_services{nullptr};
}

CApplicationServices* GetApplicationServices()
{
    return g_services.load();
}

std::string GetServicesFolder(const char* key)
{
    CApplicationServices* services = GetApplicationServices();
    if (!services)
        return {};
    try {
        return services->GetFolder(key);
    } catch (CBaseException* e) {
        LogWarning("QV Folder %s is not available because %s", key, e->GetText());
        e->Delete();
        return {};
    }
}

CApplicationServices::CApplicationServices()
{
    g_services.store(this);
}

CApplicationServices::~CApplicationServices()
{
    CApplicationServices* self = this;
    g_services.compare_exchange_strong(self, nullptr);
}

void CApplicationServices::PostToMainWindow(uint32_t message, plat::WPARAM wParam, plat::LPARAM lParam)
{
    const plat::HWND hwnd = m_hMainWindow.load();
    if (hwnd && plat::IsWindow(hwnd))
        plat::PostMessage(hwnd, message, wParam, lParam);
}

CProgrammeDBFlat* CApplicationServices::GetProgrammeDatabase()
{
    return CProgrammeDBManager::Instance().GetDatabase();
}

void CApplicationServices::OnListingsProcessFinished()
{
    CProgrammeDBFlat* pDatabase = GetProgrammeDatabase();
    if (!pDatabase)
        return;
    uint32_t uFirst = 0, uLast = 0;
    pDatabase->GetListingsBounds(uFirst, uLast);
    LogInfo("Listings run from %s to %s", CDateTime(uFirst).GetDateTimeText().c_str(),
            CDateTime(uLast).GetDateTimeText().c_str());
}

bool CApplicationServices::IsUpdating() const
{
    return m_bUpdating.load();
}

void CApplicationServices::SetUpdating(bool updating)
{
    m_bUpdating.store(updating);
}

void CApplicationServices::SetMainWindowHandle(plat::HWND hwnd)
{
    m_hMainWindow.store(hwnd);
}

plat::HWND CApplicationServices::GetMainWindowHandle() const
{
    return m_hMainWindow.load();
}
