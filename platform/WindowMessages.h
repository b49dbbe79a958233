// Window message numbers and event codes of the Windows shape that window sections answer:
// creation, session end, power changes, hot keys and the notification-area callback.
#pragma once
#include <cstdint>

namespace plat {

enum : uint32_t {
    WM_CREATE = 0x0001,
    WM_QUERYENDSESSION = 0x0011,
    WM_POWERBROADCAST = 0x0218,
    WM_HOTKEY = 0x0312,
    WM_TRAYCALLBACK = 0x8001,   // the callback message of the window's notification-area icon
};

// Power broadcast events (wParam of WM_POWERBROADCAST).
enum : uint32_t { PBT_APMSUSPEND = 4, PBT_APMRESUMESUSPEND = 7, PBT_APMBATTERYLOW = 9 };

// What happened to the notification-area icon (lParam of the tray callback).
enum : uint32_t {
    WM_MOUSEMOVE = 0x0200, WM_LBUTTONDOWN = 0x0201, WM_LBUTTONDBLCLK = 0x0203, WM_RBUTTONDOWN = 0x0204,
    NIN_BALLOONTIMEOUT = 0x0404, NIN_BALLOONUSERCLICK = 0x0405,
};

// Show commands.
enum : int { SW_HIDE = 0, SW_SHOWNORMAL = 1, SW_SHOW = 5, SW_SHOWNA = 8 };

// The registered message with which the shell announces a new taskbar.
inline constexpr const char* kTaskbarCreatedName = "TaskbarCreated";

}  // namespace plat
