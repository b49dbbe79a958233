// The window section behind a script `Window`.
#include "app/WindowSectionForJS.h"

#include <variant>

#include "app/ScriptApplication.h"
#include "foundation/Log.h"
#include "platform/Instance.h"
#include "platform/Names.h"
#include "platform/WindowMessages.h"
#include "script/WindowObject.h"
#include "update/CheckForUpdates.h"
#include "update/RequestManager.h"

namespace {

// Posted to itself to hand an update error to the script once the sender has been answered.
constexpr uint32_t kDeliverUpdateError = plat::WM_APP + 2;

CScriptApplication* Application()
{
    return dynamic_cast<CScriptApplication*>(CAppObject::Get());
}

using Argument = std::variant<int32_t, std::string>;

// Calls app.<name>(arguments) without a collection afterwards. False when the function is
// missing or failed, or the script is not running any more; *pbResult is whether it answered
// true.
bool CallApp(const char* pszName, std::initializer_list<Argument> arguments = {}, bool* pbResult = nullptr)
{
    CAppObject* pApp = CAppObject::Get();
    CScriptEngine* pEngine = pApp ? pApp->GetScriptEngine() : nullptr;
    if (!pEngine || !pApp->GetAppObject())
        return false;
    CScriptEngine::CEnter enter(*pEngine);
    JSContext* cx = pEngine->GetContext();
    JS::RootedValueVector argv(cx);
    for (const Argument& argument : arguments) {
        JS::RootedValue value(cx);
        if (const int32_t* pNumber = std::get_if<int32_t>(&argument)) {
            value.setInt32(*pNumber);
        } else if (JSString* text = JSNewText(cx, std::get<std::string>(argument))) {
            value.setString(text);
        } else {
            return false;
        }
        if (!argv.append(value))
            return false;
    }
    JS::RootedObject app(cx, pApp->GetAppObject());
    return pEngine->CallFunction(app, pszName, pbResult, argv);
}

std::string Text(const char* pszText)
{
    return pszText ? pszText : "";
}

void SaveSettings()
{
    if (CScriptApplication* pApp = Application())
        pApp->GetSettings().Save();
}

}  // namespace

CWindowSectionForJS::CWindowSectionForJS(CJSWindow& window)
    : CWindowSection(WT_MAIN, "JSWindows"), m_window(window)
{
}

CWindowSectionForJS::~CWindowSectionForJS()
{
    Close();   // while this class's destroy handling still exists
}

void CWindowSectionForJS::OnDestroy()
{
    CWindowSection::OnDestroy();
    m_window.ForgetTimers();
}

void CWindowSectionForJS::OnTimer(uintptr_t uTimerId)
{
    CWindowSection::OnTimer(uTimerId);
    m_window.CallTimerFunction(uTimerId);
}

void CWindowSectionForJS::OnTaskBarRestart()
{
    LogInfo("CWindowSectionForJS::OnTaskBarRestart");
    if (!CallApp("onTaskBarRestart"))
        LogDetail("CWindowSectionForJS::OnTaskBarRestart: Callback Function app.onTaskBarRestart was not handled");
}

plat::LRESULT CWindowSectionForJS::OnQueryEndSession()
{
    LogInfo("CWindowSectionForJS::OnQueryEndSession");
    bool bAllow = false;
    if (!CallApp("onQueryEndSession", {}, &bAllow)) {
        LogDetail("CWindowSectionForJS::onQueryEndSession: Callback Function app.onQueryEndSession was not handled");
        bAllow = true;
    }
    SaveSettings();
    return bAllow ? 1 : 0;
}

plat::LRESULT CWindowSectionForJS::OnPowerChange(uint32_t uEvent)
{
    CScriptApplication* pApp = Application();
    switch (uEvent) {
    case plat::PBT_APMSUSPEND:
        LogInfo("CWindowSectionForJS::OnPowerChange PBT_APMSUSPEND");
        if (pApp)
            pApp->StopConnectionWatcher();
        SaveSettings();
        break;
    case plat::PBT_APMRESUMESUSPEND:
        LogInfo("CWindowSectionForJS::OnPowerChange PBT_APMRESUMESUSPEND");
        if (pApp)
            pApp->IsInternetAvailable();   // makes the watcher again when detection is allowed
        if (!CallApp("onResumeFromStandby"))
            LogDetail("CWindowSectionForJS::OnPowerChange: Callback Function app.onResumeFromStandby was not handled");
        break;
    case plat::PBT_APMBATTERYLOW:
        LogInfo("CWindowSectionForJS::OnPowerChange PBT_APMBATTERYLOW");
        SaveSettings();
        break;
    default:
        break;
    }
    return 1;
}

void CWindowSectionForJS::OnHotKey(int nHotKeyId)
{
    CScriptEngine* pEngine = m_window.GetEngine();
    if (!pEngine)
        return;
    CScriptEngine::CEnter enter(*pEngine);
    JS::RootedValueArray<1> argv(pEngine->GetContext());
    argv[0].setInt32(nHotKeyId);
    m_window.CallWindowFunction("onHotKey", argv);
}

void CWindowSectionForJS::CallWindowFunction(const char* pszName)
{
    m_window.CallWindowFunction(pszName, JS::HandleValueArray::empty());
}

void CWindowSectionForJS::OnTrayLeftDoubleClick() { CallWindowFunction("onTrayLeftDoubleClick"); }
void CWindowSectionForJS::OnTrayMouseMove() { CallWindowFunction("onTrayMouseMove"); }
void CWindowSectionForJS::OnTrayRightClick() { CallWindowFunction("onTrayRightClick"); }
void CWindowSectionForJS::OnTrayLeftClick() { CallWindowFunction("onTrayLeftClick"); }
void CWindowSectionForJS::OnTrayBalloonClick() { CallWindowFunction("onTrayBalloonClick"); }
void CWindowSectionForJS::OnTrayBalloonTimeout() { CallWindowFunction("onTrayBalloonTimeout"); }

plat::LRESULT CWindowSectionForJS::OnUnhandledMessage(uint32_t uMessage, plat::WPARAM wParam, plat::LPARAM lParam)
{
    static const uint32_t uExitMessage = plat::RegisterWindowMessage(plat::kExitMessageName);
    if (uMessage == uExitMessage) {
        // Every script window gets it; the quit message is posted once however often it is asked.
        LogInfo("CWindowSectionForJS::OnUnhandledMessage: Received quit message");
        plat::PostQuitMessage(0);
        return 0;
    }
    switch (uMessage) {
    case MSG_UPDATE_ERROR: {
        // The update worker waits in its send until this returns. The script hears the report
        // from the queue instead, so that it may stop or restart the update from its callback:
        // deleting the run joins the worker, which must not be waiting for us then.
        LogInfo("CWindowSectionForJS::OnUnhandledMessage: Received update error");
        if (const auto* pRecord = reinterpret_cast<const int32_t*>(wParam))
            plat::PostMessage(GetHWND(), kDeliverUpdateError, plat::WPARAM(uint32_t(pRecord[0])), 0);
        return 1;
    }
    case kDeliverUpdateError: {
        const int32_t nCode = int32_t(uint32_t(wParam));
        if (!CallApp("onGotUpdateError", {nCode, ConnectionErrorText(nCode)}))
            LogDetail("CWindowSectionForJS::OnUnhandledMessage: Callback Function app.onGotUpdateError was not handled");
        return 0;
    }
    case MSG_ERROR_MESSAGE: {
        LogInfo("CWindowSectionForJS::OnUnhandledMessage: Received error message");
        const auto* pRecord = reinterpret_cast<const CErrorMessageRecord*>(wParam);
        if (!CallApp("onGotErrorMessage", {Text(pRecord ? pRecord->pszText : nullptr)}))
            LogDetail("CWindowSectionForJS::OnUnhandledMessage: Callback Function app.onGotErrorMessage was not handled");
        return 1;
    }
    case MSG_BALLOON_MESSAGE: {
        LogInfo("CWindowSectionForJS::OnUnhandledMessage: Received got balloon message");
        const auto* pRecord = reinterpret_cast<const CBalloonMessageRecord*>(wParam);
        if (!CallApp("onGotBalloonMessage", {Text(pRecord ? pRecord->pszText : nullptr),
                                             Text(pRecord ? pRecord->pszAddress : nullptr)}))
            LogDetail("CWindowSectionForJS::OnUnhandledMessage: Callback Function app.onGotMessage was not handled");
        return 1;
    }
    default:
        return CWindowSection::OnUnhandledMessage(uMessage, wParam, lParam);
    }
}
