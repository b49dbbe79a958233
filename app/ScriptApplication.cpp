// The application object's base.
#include "app/ScriptApplication.h"

#include "app/BuildInfo.h"
#include "app/WindowSectionForJS.h"
#include "foundation/Exceptions.h"
#include "foundation/Log.h"
#include "platform/MessageBox.h"
#include "platform/Names.h"
#include "platform/Process.h"
#include "script/GlobalFunctions.h"
#include "listings/ProgrammeDB.h"
#include "script/ListingsObjects.h"
#include "script/WindowObject.h"
#include "script/XMLHttpRequest.h"
#include "update/CheckForUpdates.h"

namespace {
// Messages that do not count as activity for the idle calls.
constexpr uint32_t kPaintMessage = 0x000F;
constexpr uint32_t kSystemTimerMessage = 0x0118;
}  // namespace

CScriptApplication::CScriptApplication(const std::string& applicationFolder)
    : m_uExitMessage(plat::RegisterWindowMessage(plat::kExitMessageName))
{
    // Makes this thread's message queue now, so nothing posted to it from here on is lost.
    plat::MSG msg;
    plat::PeekMessage(msg, 0, 0, 0, plat::PM_NOREMOVE);
    m_paths.SetApplicationFolder(applicationFolder);
    m_paths.Load(m_paths.GetApplicationFolder() + "paths.dat");
    m_settings.SetFolderPaths(&m_paths);
    try {
        const std::string userSettings = m_paths.GetFolder("user-settings");
        m_paths.Load(userSettings + "user-paths.dat");
        m_settings.Load(userSettings + "settings.dat");
        // Published here, before any thread of ours runs, as setenv is not thread-safe.
        plat::SetEnv("QVIMAGEDIR", m_paths.GetFolder("images-folder"));
    } catch (CBaseException* e) {
        m_strConstructionError = e->GetText();
        e->Delete();
        ShowMessage(m_strConstructionError);
    }
}

CScriptApplication::~CScriptApplication()
{
    DeleteUpdateChecker();
}

bool CScriptApplication::Run()
{
    GetArguments().Clear();
    GetArguments().Parse(plat::ProcessArguments());
    if (!m_pRuntime)
        m_pRuntime = std::make_unique<CScriptRuntime>();
    m_pScriptEngine = CreateScriptEngine();
    if (m_pScriptEngine && !DefineScriptClasses(*m_pScriptEngine))
        LogWarning("CScriptApplication::Run: the script objects could not all be defined");
    Initialise();
    if (m_pScriptEngine) {
        DeleteScriptEngine(m_pScriptEngine);
        m_pScriptEngine = nullptr;
    }
    return Shutdown();
}

CScriptEngine* CScriptApplication::CreateScriptEngine()
{
    auto* pEngine = new CScriptEngine;
    if (pEngine->Create(*m_pRuntime))
        return pEngine;
    delete pEngine;
    return nullptr;
}

void CScriptApplication::DeleteScriptEngine(CScriptEngine* pEngine)
{
    // No fetch may queue work for the engine once it is gone, and no window may call it.
    CXMLHttpRequest::StopAll();
    CJSWindow::DestroyAll();
    delete pEngine;
}

bool CScriptApplication::DefineScriptClasses(CScriptEngine& engine)
{
    return DefineClass(engine, CXMLHttpRequest::ClassRecord()) && CJSWindow::DefineWindowClass(engine) &&
           DefineListingsClasses(engine) &&
           DefineScriptObjects(engine, m_pathsObject, m_settingsObject) && DefineGlobalFunctions(engine);
}

void CScriptApplication::ShowMessage(const std::string& text)
{
    plat::MessageBox(0, text, GetName(), plat::MB_OK);
}

std::string CScriptApplication::GetProductVersionText() const
{
    return ProductVersion();
}

std::string CScriptApplication::GetBuildNumberText() const
{
    return BuildNumber();
}

int CScriptApplication::RunMessageLoop()
{
    bool idle = true;
    uint32_t idleCount = 0;
    plat::MSG msg;
    for (;;) {
        while (idle && !plat::PeekMessage(msg, 0, 0, 0, plat::PM_NOREMOVE))
            idle = OnIdle(idleCount++);
        do {
            if (!plat::GetMessage(msg))
                return int(msg.wParam);
            if (msg.hwnd == 0 && msg.message == m_uExitMessage) {
                // Another copy (the upgrader) asks every running copy to exit.
                LogInfo("CScriptApplication::RunMessageLoop: Received quit message");
                plat::PostQuitMessage(0);
            } else {
                plat::DispatchMessage(msg);
            }
            if (msg.message != kPaintMessage && msg.message != plat::WM_TIMER &&
                msg.message != kSystemTimerMessage) {
                idle = true;
                idleCount = 0;
            }
        } while (plat::PeekMessage(msg, 0, 0, 0, plat::PM_NOREMOVE));
    }
}

CWindowSection* CScriptApplication::CreateWindowSection(CJSWindow& window)
{
    return new CWindowSectionForJS(window);
}

void CScriptApplication::UpdateListings(uint32_t hwnd)
{
    if (CProgrammeDBFlat* pDatabase = GetProgrammeDatabase(); pDatabase && pDatabase->IsAbsorberBusy())
        return;
    LogInfo("QV Checking for updates...");
    DeleteUpdateChecker();
    m_pUpdateChecker = std::make_unique<CCheckForUpdates>(m_absorbTarget, m_settings);
    // The run reports to the main window itself; while the script has named none, the window
    // that asked hears the report instead, so that it is not lost.
    m_pUpdateChecker->SetErrorSink([this, hwnd](int32_t code, const std::string&) {
        if (GetMainWindowHandle() != 0)
            return;
        int32_t record[3] = {code, 0, 0};
        plat::SendMessage(hwnd, MSG_UPDATE_ERROR, plat::WPARAM(record), 0);
    });
    m_pUpdateChecker->StartUpdate();
}

void CScriptApplication::StopUpdating()
{
    if (!m_pUpdateChecker)
        return;
    m_pUpdateChecker->StopUpdate();
    m_pUpdateChecker.reset();
    LogInfo("QV Update listings stopped...");
}

void CScriptApplication::DeleteUpdateChecker()
{
    // Joining the worker answers the reports it sends meanwhile, so neither thread waits forever.
    m_pUpdateChecker.reset();
}

void CScriptApplication::StartUpgraderAndExit()
{
    std::string path = plat::kUpgraderName;
    try {
        path = GetFolder("app-folder") + path;
    } catch (CBaseException* e) {
        LogWarning("QV Upgrading: unable to restart '%s' because: %s", path.c_str(), e->GetText());
        e->Delete();
        return;
    }
    LogInfo("QV Upgrading: starting %s process", path.c_str());
    if (!plat::SpawnDetached(path, {})) {
        // Without an upgrader running, exiting would leave the user with no program at all.
        LogWarning("QV Upgrading: unable to restart '%s' because: %s", path.c_str(),
                   FormatLastError().c_str());
        return;
    }
    LogInfo("QV Upgrading: posting exit message to close current app for upgrading");
    plat::BroadcastMessage(plat::kExitMessageName);
}

std::string CScriptApplication::GetFolder(const std::string& key)
{
    return m_paths.GetFolder(key);
}

bool CScriptApplication::FindFolder(const std::string& key, std::string& path)
{
    return m_paths.FindFolder(key, path);
}
