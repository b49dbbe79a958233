// Start-up and shut-down of Quilvo Lite.
#include "app/GuideApplication.h"

#include "app/BuildInfo.h"
#include "drawing/DrawDC.h"
#include "foundation/Exceptions.h"
#include "foundation/Log.h"
#include "listings/CategoryFile.h"
#include "listings/ChannelManager.h"
#include "listings/DateTime.h"
#include "listings/ProgrammeDBManager.h"
#include "listings/Regions.h"
#include "script/theme/Theme.h"
#include "platform/Clock.h"
#include "platform/MessageQueue.h"
#include "script/DrawContextObject.h"
#include "script/GeometryObjects.h"
#include "script/ImageObject.h"
#include "script/SystemObject.h"
#include "script/ThemeObject.h"
#include "ui/WindowSection.h"

CGuideApplication::CGuideApplication(const std::string& applicationFolder)
    : CScriptApplication(applicationFolder),
      m_pConnectionWatcher(std::make_unique<CInternetConnectionWatcher>())
{
}

CGuideApplication::~CGuideApplication()
{
    m_pConnectionWatcher.reset();
}

bool CGuideApplication::Initialise()
{
    // Broadcasts of "QVL_Exit" from other copies reach every window of this thread, or the loop
    // itself while there is none; one that arrives during start-up waits in the queue.
    plat::PostBroadcastsToThreadWindows(m_broadcasts, plat::GetCurrentThreadId());
    if (m_pScriptEngine)
        DefineGuideFunctions(*m_pScriptEngine);
    if (!StartUp())
        return false;
    RunTheme();
    return true;
}

CScriptEngine* CGuideApplication::CreateScriptEngine()
{
    auto* pEngine = new CThemeScriptEngine;
    if (pEngine->Create(*m_pRuntime) && DefineSystemObject(*pEngine) && DefineThemeObject(*pEngine) &&
        DefineGeometryClasses(*pEngine) && DefineImageClass(*pEngine) && DefineDrawContextClass(*pEngine))
        return pEngine;
    delete pEngine;
    return nullptr;
}

// Runs the loaded theme's main script; a working theme returns from it only after app.run().
void CGuideApplication::RunTheme()
{
    if (!m_pScriptEngine) {
        LogWarning("CGuideApplication::RunTheme: there is no script engine to run the theme");
        return;
    }
    try {
        std::string theme;
        if (!GetSettings().GetString("user-selected-theme", theme, "default"))
            GetSettings().SetString("user-selected-theme", theme);
        const std::string themePath = GetFolder("themes-folder") + theme;
        std::string script;
        if (!CTheme::Instance().ReadText("theme.velasc", script)) {
            LogInfo("Couldn't load theme '%s'", theme.c_str());
            return;
        }
        if (!m_pScriptEngine->RunText(script, themePath + "/theme.velasc"))
            ShowMessage("Error, Run failed");
    } catch (CBaseException* e) {
        const std::string text = e->GetText();
        e->Delete();
        LogWarning("%s", text.c_str());
        ShowMessage("Quilvo Lite encountered the following fatal error:\n\n'" + text + "'");
    }
}

void CGuideApplication::ReportText(const std::string& text)
{
    LogDetail("%s", text.c_str());
}

bool CGuideApplication::StartUp()
{
    if (!m_strConstructionError.empty())
        return false;   // already shown
    try {
        CSettingsStore& settings = GetSettings();
        uint32_t level = 1;
        bool console = false;
        settings.GetUInt("log-verbose-level", level, 1);
        settings.GetBool("log-show-console", console, false);
        InitLogging("Quilvo Lite", "", GetFolder("log-folder") + "QuilvoLite.log", level, console);
        SetMaxLogSize(200);

        LogInfo("Application starting up...");
        LogInfo("Quilvo Lite version %s, build number %s", ProductVersion(), BuildNumber());
        LogInfo("Quilvo Lite was built on %s", BuildDateText().c_str());
        CDateTime::LoadLocaleTexts();
        LogTimeZone();
        MigrateHotKeySettings();

        uint32_t fontAddition = 0;
        settings.GetUInt("gui-font-size-addition", fontAddition, 0);
        KRDC_Startup("...", 0, 0);
        KRDC_SetFontAddition(static_cast<int>(fontAddition));

        std::string theme;
        if (!settings.GetString("user-selected-theme", theme, "default"))
            settings.SetString("user-selected-theme", theme);
        const std::string themePath = GetFolder("themes-folder") + theme;
        try {
            CTheme::Instance().LoadTheme(themePath);
            SetImageSources(ThemeImageSources());
        } catch (CBaseException* e) {
            const std::string text = e->GetText();
            e->Delete();
            LogWarning("%s", text.c_str());
            ShowMessage("Quilvo Lite encountered the following fatal error:\n\n'" + text + "'");
            return false;
        }

        CChannelManager::SetFolderPaths(&GetPaths());
        LoadCategories(GetFolder("app-folder") + "category");
        CRegions().CheckSelectedRegion(settings);

        ProgrammeDBHooks hooks;
        hooks.isUpdating = [this] { return IsUpdating(); };
        hooks.onListingsAbsorbed = [this] { OnListingsProcessFinished(); };
        if (!CProgrammeDBManager::Instance().Start(GetFolder("schedule-folder"), GetFolder("pending-schedules-folder"),
                                                   GetFolder("app-folder"), std::move(hooks))) {
            LogWarning("Couldn't initialise programme database");
            CProgrammeDBManager::Instance().Close();
            return false;
        }
        return true;
    } catch (CBaseException* e) {
        ShowMessage(e->GetText());
        e->Delete();
        return false;
    }
}

void CGuideApplication::LogTimeZone()
{
    plat::TimeZoneInfo zone;
    if (!plat::GetTimeZoneInfo(zone)) {
        LogInfo("Couldn't get time zone information from the OS");
        return;
    }
    LogInfo("Time Zone '%s', daylight saving time '%s', standard bias '%d', daylight saving bias '%d'",
            zone.standardName.c_str(), zone.daylightName.c_str(), zone.standardBias, zone.daylightBias);
}

// The three views' hot keys were once named after movies, sports and soaps; carry them over
// the first time and drop the old names.
void CGuideApplication::MigrateHotKeySettings()
{
    CSettingsStore& settings = GetSettings();
    if (settings.Exists("view-1-hotkey-mods"))
        return;
    struct Move { const char* from; const char* to; uint32_t defaultValue; };
    static const Move moves[] = {
        {"movies-hotkey-mods", "view-1-hotkey-mods", 3}, {"sports-hotkey-mods", "view-2-hotkey-mods", 3},
        {"soaps-hotkey-mods", "view-3-hotkey-mods", 3},  {"movies-hotkey-vk", "view-1-hotkey-vk", 77},
        {"sports-hotkey-vk", "view-2-hotkey-vk", 83},    {"soaps-hotkey-vk", "view-3-hotkey-vk", 79},
    };
    for (const Move& move : moves) {
        uint32_t value = 0;
        settings.GetUInt(move.from, value, move.defaultValue);
        settings.SetUInt(move.to, value);
    }
    for (const Move& move : moves)
        settings.Remove(move.from);
}

bool CGuideApplication::Shutdown()
{
    LogInfo("...application shutting down");
    CloseAllWindows();
    LogInfo("Cleanup listing update");
    DeleteUpdateChecker();
    LogInfo("Shutdown basic systems");
    LogInfo("Shutting down categories");
    LogInfo("Shutting down channels");
    GetSettings().Save();
    LogInfo("Shutting down listings");
    CProgrammeDBManager::Instance().Close();
    LogInfo("Shutting down graphics");
    KRDC_Shutdown();
    LogInfo("Recreating file associations");
    LogInfo("Bye!");
    return true;
}

bool CGuideApplication::IsInternetAvailable()
{
    bool allowed = true;
    if (!GetSettings().GetBool("connection-allow-detection", allowed, true))
        GetSettings().SetBool("connection-allow-detection", true);
    if (!allowed)
        return false;
    if (!m_pConnectionWatcher)
        m_pConnectionWatcher = std::make_unique<CInternetConnectionWatcher>();
    return m_pConnectionWatcher->IsConnected();
}
