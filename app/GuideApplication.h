// The application object of Quilvo Lite: start-up, the run, shut-down, and whether the
// computer is on the Internet.
#pragma once
#include <memory>
#include <string>

#include "app/InternetConnectionWatcher.h"
#include "app/ScriptApplication.h"
#include "platform/Instance.h"
#include "platform/Process.h"

class CGuideApplication : public CScriptApplication {
public:
    explicit CGuideApplication(const std::string& applicationFolder = plat::ExecutableFolder());
    ~CGuideApplication() override;

    // Start-up, then the theme's main script "theme.velasc", which normally enters the message
    // loop through app.run(). False when start-up failed and no script ran.
    bool Initialise() override;
    // The shut-down sequence; saves the settings.
    bool Shutdown() override;

    // False when the user turned detection off ("connection-allow-detection"); otherwise the
    // connection watcher's state, making the watcher when there is none.
    bool IsInternetAvailable() override;
    void StopConnectionWatcher() override { m_pConnectionWatcher.reset(); }
    // Writes the text to the log at level 2.
    void ReportText(const std::string& text) override;

protected:
    // The theme engine, with the objects `system` and `theme`.
    CScriptEngine* CreateScriptEngine() override;

private:
    bool StartUp();
    void RunTheme();
    void LogTimeZone();
    void MigrateHotKeySettings();

    std::unique_ptr<CInternetConnectionWatcher> m_pConnectionWatcher;
    plat::BroadcastListener m_broadcasts;
};
