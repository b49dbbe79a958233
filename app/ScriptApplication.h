// The application object's base: the folder table, the settings, the name on the program's
// message boxes, the message loop and the upgrade hand-over.
#pragma once
#include <cstdint>
#include <string>

#include "app/ApplicationServices.h"
#include "foundation/FolderPaths.h"
#include "foundation/SettingsStore.h"

class CScriptApplication : public CApplicationServices {
public:
    // Loads the folder table ("paths.dat" in the program's folder, then "user-paths.dat" in the
    // folder "user-settings") and the settings ("settings.dat" there). A folder that can be
    // neither found nor made is shown, and start-up then fails.
    explicit CScriptApplication(const std::string& applicationFolder);
    ~CScriptApplication() override;

    // The whole run: Initialise, then Shutdown, whose answer is the run's.
    bool Run();

    // A message box with the application's name as its caption and an OK button.
    virtual void ShowMessage(const std::string& text);
    // Takes and dispatches messages until WM_QUIT; while the queue is empty it calls OnIdle with
    // 0, 1, 2, ... until that answers false. Any message but paint and timer messages starts
    // the idle calls again from 0. Answers the quit code.
    virtual int RunMessageLoop();
    // Start-up and the run of the theme; the base has neither.
    virtual bool Initialise() { return false; }
    // Idle work; the base has none.
    virtual bool OnIdle(uint32_t count) { return false; }
    virtual bool Shutdown() { return false; }

    void StartUpgraderAndExit() override;
    std::string GetFolder(const std::string& key) override;
    bool FindFolder(const std::string& key, std::string& path) override;

    CFolderPaths& GetPaths() { return m_paths; }
    CSettingsStore& GetSettings() { return m_settings; }
    const std::string& GetName() const { return m_strName; }
    void SetName(const std::string& name) { m_strName = name; }

protected:
    // The text of a failure met while constructing ("" when none); start-up refuses to go on.
    std::string m_strConstructionError;

private:
    std::string m_strName = "No name set";
    CFolderPaths m_paths;
    CSettingsStore m_settings{14};   // declared after the paths, which it uses while saving
    const uint32_t m_uExitMessage;
};
