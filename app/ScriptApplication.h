// The application object's base: the folder table, the settings, the name on the program's
// message boxes, the script runtime and engine with the objects the theme script sees, the
// message loop and the upgrade hand-over. It is the native object of the script object `app`.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "app/ApplicationServices.h"
#include "foundation/FolderPaths.h"
#include "foundation/SettingsStore.h"
#include "script/AppObject.h"
#include "script/PathsObject.h"
#include "script/SettingsObject.h"
#include "update/AbsorbIntoDatabase.h"

class CCheckForUpdates;

class CScriptApplication : public CAppObject, public CApplicationServices {
public:
    // Loads the folder table ("paths.dat" in the program's folder, then "user-paths.dat" in the
    // folder "user-settings") and the settings ("settings.dat" there). A folder that can be
    // neither found nor made is shown, and start-up then fails.
    explicit CScriptApplication(const std::string& applicationFolder);
    ~CScriptApplication() override;

    // The whole run: the command line, the script engine with the application's classes and
    // objects, Initialise, the engine's deletion, then Shutdown, whose answer is the run's.
    bool Run();

    // A message box with the application's name as its caption and an OK button.
    virtual void ShowMessage(const std::string& text);
    // Takes and dispatches messages until WM_QUIT; while the queue is empty it calls OnIdle with
    // 0, 1, 2, ... until that answers false. Any message but paint and timer messages starts
    // the idle calls again from 0. Answers the quit code.
    int RunMessageLoop() override;
    // Start-up and the run of the theme; the base has neither.
    virtual bool Initialise() { return false; }
    // Idle work: app.onIdle(count), followed by a collection.
    virtual bool OnIdle(uint32_t count) { return CallOnIdle(count); }
    virtual bool Shutdown() { return false; }
    // Where debugOut and the script objects' notes go; the base drops them.
    void ReportText(const std::string&) override {}

    // Starts a new update run (deleting the previous one) unless the absorber is busy; its
    // failures reach the window as MSG_UPDATE_ERROR, as they reach the main window.
    void UpdateListings(uint32_t hwnd) override;
    // Cancels and deletes the update run, if there is one.
    void StopUpdating() override;
    // Deletes the update run at shut-down.
    void DeleteUpdateChecker();
    // Stops the Internet connection watcher (the computer is suspending); the base has none.
    virtual void StopConnectionWatcher() {}
    CWindowSection* CreateWindowSection(CJSWindow& window) override;

    void StartUpgraderAndExit() override;
    std::string GetFolder(const std::string& key) override;
    bool FindFolder(const std::string& key, std::string& path) override;

    void SetMainWindowHandle(uint32_t hwnd) override { CApplicationServices::SetMainWindowHandle(hwnd); }
    bool IsUpdating() const override { return CApplicationServices::IsUpdating(); }
    std::string GetProductVersionText() const override;
    std::string GetBuildNumberText() const override;

    CFolderPaths& GetPaths() override { return m_paths; }
    CSettingsStore& GetSettings() { return m_settings; }

protected:
    // The engine of the run: a plain engine over the runtime; null when it cannot be made.
    virtual CScriptEngine* CreateScriptEngine();
    virtual void DeleteScriptEngine(CScriptEngine* pEngine);

    // The text of a failure met while constructing ("" when none); start-up refuses to go on.
    std::string m_strConstructionError;
    // The script runtime, made when the run starts, so that an application that never runs
    // never starts the script library.
    std::unique_ptr<CScriptRuntime> m_pRuntime;

private:
    bool DefineScriptClasses(CScriptEngine& engine);

    CFolderPaths m_paths;
    CSettingsStore m_settings{14};   // declared after the paths, which it uses while saving
    CPathsObject m_pathsObject{m_paths};
    CSettingsObject m_settingsObject{m_settings};
    const uint32_t m_uExitMessage;
    // The update run reads the line-up and queues listings for the absorber through this; a
    // folder table it installs is read again at once, from its worker thread.
    CDatabaseAbsorbTarget m_absorbTarget{[this] { m_paths.Reload(); }};
    std::unique_ptr<CCheckForUpdates> m_pUpdateChecker;
};
