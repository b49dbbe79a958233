// The services that every subsystem reaches through GetApplicationServices(): folders by key,
// the programme database, the main window, the updating flag and the upgrade restart. The
// application object is the one instance; callers never own it.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "platform/MessageQueue.h"

class CProgrammeDBFlat;

class CApplicationServices {
public:
    // Becomes the object that GetApplicationServices answers.
    CApplicationServices();
    // Clears the accessor.
    virtual ~CApplicationServices();
    CApplicationServices(const CApplicationServices&) = delete;
    CApplicationServices& operator=(const CApplicationServices&) = delete;

    // Starts the upgrader and, once it runs, asks every running copy to exit.
    virtual void StartUpgraderAndExit() = 0;
    // Posts to the main window when one is set and still exists; otherwise drops the message.
    virtual void PostToMainWindow(uint32_t message, plat::WPARAM wParam, plat::LPARAM lParam);
    // The folder of a key, created when missing; empty for a key that names no folder. Throws
    // the folder error (CExtraInfoException) when the folder can be neither found nor made.
    virtual std::string GetFolder(const std::string& key) = 0;
    virtual bool FindFolder(const std::string& key, std::string& path) = 0;
    // The programme database; null while it is not open.
    virtual CProgrammeDBFlat* GetProgrammeDatabase();
    // True while the update checker fetches updates; set by the update checker.
    virtual bool IsUpdating() const;
    virtual void SetUpdating(bool updating);
    // Called when the absorber has gone quiet after absorbing listings: logs the new span.
    virtual void OnListingsProcessFinished();

    // The window that the theme script names as its main window; 0 until it does.
    void SetMainWindowHandle(plat::HWND hwnd);
    plat::HWND GetMainWindowHandle() const;

private:
    std::atomic<plat::HWND> m_hMainWindow{0};
    std::atomic<bool> m_bUpdating{false};
};

// The application's services while the application exists, else nullptr.
CApplicationServices* GetApplicationServices();
// The folder of a key through those services; empty when there are none, or, after a warning,
// when the folder is not available.
std::string GetServicesFolder(const char* key);
