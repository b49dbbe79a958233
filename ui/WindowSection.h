// A window section: the section that owns a top-level window and turns its messages into
// events. So far it makes and destroys the window, keeps its caption, place, visibility,
// timers and notification-area state, and hands timer, destroy, session, power, taskbar,
// hot-key and tray messages to the events below. Its notification-area icon and balloon are
// kept as state only, for the desktop backend to show. The section tree inside the window and
// the painting, layering, fading and placement of windows are not built yet.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "images/Image.h"
#include "platform/MessageQueue.h"
#include "platform/Surface.h"

class CWindowSection {
public:
    enum WindowType { WT_MAIN = 1, WT_TOOLTIP = 2, WT_DIALOG = 3, WT_TOPMOST = 4, WT_SIZABLE = 5 };

    // Joins the list of open windows; the window itself is made by Create.
    CWindowSection(int nWindowType, std::string strName);
    // Leaves the list; destroys the window when it still exists.
    virtual ~CWindowSection();
    CWindowSection(const CWindowSection&) = delete;
    CWindowSection& operator=(const CWindowSection&) = delete;

    // Makes the window at that screen rectangle, owned by the parent window (0 for none), with
    // this section bound to it through the window property "section-ptr". False when the
    // window exists already or cannot be made.
    bool Create(const plat::Rect& rect, plat::HWND hwndParent);
    // Destroys the window (its destroy events run first); the section stays.
    void Close();
    virtual bool CanClose() { return true; }
    // SW_HIDE hides the window; the other show commands show it.
    void Show(int nShowCommand);

    plat::HWND GetHWND() const { return m_hWnd; }
    int GetWindowType() const { return m_nWindowType; }
    const std::string& GetName() const { return m_strName; }
    plat::HWND GetParentWindow() const { return m_hWndParent; }
    bool IsVisible() const { return m_bVisible; }
    // The window's place on the screen, and its client area (left and top 0).
    const plat::Rect& GetWindowRect() const { return m_rcWindow; }
    plat::Rect GetClientRect() const { return {0, 0, m_rcWindow.Width(), m_rcWindow.Height()}; }
    const std::string& GetCaption() const { return m_strCaption; }
    void SetCaption(const std::string& strCaption) { m_strCaption = strCaption; }
    // The cursor kind applied while the mouse is over the window (the script's constants).
    int GetCursor() const { return m_nCursor; }
    void SetCursor(int nCursor) { m_nCursor = nCursor; }

    // Window timers: ids are issued from 1 on; a tick calls OnTimer of the section that started
    // the timer. Starting fails (0) without a window; stopping without one does nothing.
    uintptr_t StartTimer(uint32_t uMilliseconds);
    void StopTimer(uintptr_t uTimerId);

    // The window's own icons, large and small.
    void SetWindowIcon(CImagePtr pIcon, bool bLarge) { (bLarge ? m_pLargeIcon : m_pSmallIcon) = std::move(pIcon); }
    const CImagePtr& GetWindowIcon(bool bLarge) const { return bLarge ? m_pLargeIcon : m_pSmallIcon; }

    // The notification-area icon: adding needs the window; the tip is cut to 127 bytes.
    void SetTrayIcon(CImagePtr pIcon, const std::string& strTip);
    void RemoveTrayIcon();
    // A balloon on the icon, when there is one and neither title nor text is empty; the title
    // is cut to 63 bytes, the text to 255 (always on a character boundary).
    void SetTrayBalloon(const std::string& strTitle, const std::string& strText, uint32_t uTimeout, uint32_t uFlags);
    struct TrayState {
        CImagePtr pIcon;
        std::string strTip;
        std::string strBalloonTitle, strBalloonText;
        uint32_t uBalloonTimeout = 0, uBalloonFlags = 0;
    };
    bool IsTrayIconPresent() const { return m_bTrayIconPresent; }
    const TrayState& GetTrayState() const { return m_tray; }

    // Events; the defaults do what a window does when nobody answers.
    virtual void OnCreate() {}
    // The window is being destroyed (its tray icon was removed just before).
    virtual void OnDestroy() {}
    // The window is gone: its timers and hot keys with it.
    virtual void OnFinalDestroy();
    virtual void OnTimer(uintptr_t uTimerId) {}
    // 1 lets the user's logon end, 0 refuses.
    virtual plat::LRESULT OnQueryEndSession() { return 1; }
    // 1 grants the power request.
    virtual plat::LRESULT OnPowerChange(uint32_t uEvent) { return 1; }
    // The taskbar was made again: icons must be added again.
    virtual void OnTaskBarRestart() {}
    virtual void OnHotKey(int nHotKeyId) {}
    virtual void OnTrayLeftDoubleClick() {}
    virtual void OnTrayMouseMove() {}
    virtual void OnTrayRightClick() {}
    virtual void OnTrayLeftClick() {}
    virtual void OnTrayBalloonClick() {}
    virtual void OnTrayBalloonTimeout() {}
    // Every other message; the default is the system's default window procedure (0).
    virtual plat::LRESULT OnUnhandledMessage(uint32_t uMessage, plat::WPARAM wParam, plat::LPARAM lParam) { return 0; }

    // The window procedure that every window section's window shares.
    static plat::LRESULT WindowProc(plat::HWND hwnd, uint32_t uMessage, plat::WPARAM wParam, plat::LPARAM lParam);

private:
    plat::LRESULT HandleMessage(uint32_t uMessage, plat::WPARAM wParam, plat::LPARAM lParam);
    void HandleTrayCallback(plat::LPARAM lParam);

    const int m_nWindowType;
    const std::string m_strName;
    plat::HWND m_hWnd = 0;
    plat::HWND m_hWndParent = 0;
    plat::Rect m_rcWindow;
    bool m_bVisible = false;
    std::string m_strCaption;
    int m_nCursor = 1;   // the arrow
    bool m_bTrayIconPresent = false;
    TrayState m_tray;
    CImagePtr m_pLargeIcon, m_pSmallIcon;
    uintptr_t m_uLastTimerId = 0;
    // Which section started each running timer; only the window section itself so far.
    std::unordered_map<uintptr_t, CWindowSection*> m_mapTimers;
};

// The open window sections, oldest first.
const std::vector<CWindowSection*>& GetOpenWindows();
// Closes every open window at shut-down: windows that can close are closed and leave the list;
// while one cannot, pending messages are dispatched and it is asked again.
void CloseAllWindows();
