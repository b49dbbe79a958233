// The window section behind a script `Window`. Besides the window's own events (its script
// timers, tray clicks and hot keys, which call the window object's functions) it answers the
// events that concern the whole program by calling functions of the script object `app`: the
// taskbar restarting, the end of the user's logon, power changes, the exit message and the
// reports that other threads send to the main window.
#pragma once
#include <cstdint>

#include "ui/WindowSection.h"

class CJSWindow;

// Messages that other threads send to the main window, with wParam pointing to their record
// (lParam 0), which lives only while the send lasts. MSG_UPDATE_ERROR (1054) comes from update/CheckForUpdates.h.
inline constexpr uint32_t MSG_ERROR_MESSAGE = 1055;
inline constexpr uint32_t MSG_BALLOON_MESSAGE = 1056;

struct CErrorMessageRecord {
    int32_t nReserved = 0;
    const char* pszText = nullptr;
};
struct CBalloonMessageRecord {
    int32_t nReserved = 0;
    const char* pszText = nullptr;
    const char* pszAddress = nullptr;   // the web address that goes with the message
};

class CWindowSectionForJS : public CWindowSection {
public:
    explicit CWindowSectionForJS(CJSWindow& window);
    ~CWindowSectionForJS() override;

    void OnDestroy() override;
    void OnTimer(uintptr_t uTimerId) override;
    plat::LRESULT OnQueryEndSession() override;
    plat::LRESULT OnPowerChange(uint32_t uEvent) override;
    void OnTaskBarRestart() override;
    void OnHotKey(int nHotKeyId) override;
    void OnTrayLeftDoubleClick() override;
    void OnTrayMouseMove() override;
    void OnTrayRightClick() override;
    void OnTrayLeftClick() override;
    void OnTrayBalloonClick() override;
    void OnTrayBalloonTimeout() override;
    plat::LRESULT OnUnhandledMessage(uint32_t uMessage, plat::WPARAM wParam, plat::LPARAM lParam) override;

    const std::string& GetTooltipText() const { return m_strTooltip; }

private:
    void CallWindowFunction(const char* pszName);

    CJSWindow& m_window;
    std::string m_strTooltip = "Hello, I'm a test tooltip";
};
