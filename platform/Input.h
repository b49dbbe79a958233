// The mouse cursor's position and the system-wide hot keys.
//
// Headless: the cursor is where the test put it; hot keys are a table of this process, and a
// test "presses" one with PressHotKey, which posts WM_HOTKEY to the window that registered it,
// as the system does.
#pragma once
#include <cstdint>

#include "platform/MessageQueue.h"
#include "platform/Surface.h"

namespace plat {

Point GetCursorPos();   // screen coordinates
void SetCursorPos(int x, int y);

// Hot-key modifier bits of the system.
enum : uint32_t { MOD_ALT = 0x1, MOD_CONTROL = 0x2, MOD_SHIFT = 0x4 };

// Registers the key with the modifiers for the window under that id; registering an id the
// window already has replaces its key. False with the last error EEXIST when another
// registration holds the same key and modifiers, EBADF when there is no such window.
bool RegisterHotKey(HWND hwnd, int id, uint32_t modifiers, uint32_t key);
// False with the last error EINVAL when the window has no hot key of that id.
bool UnregisterHotKey(HWND hwnd, int id);
// Forgets every hot key of the window (when it is destroyed).
void UnregisterHotKeys(HWND hwnd);
// Posts WM_HOTKEY (wParam the id, lParam the modifiers in the low and the key in the high word)
// to the window that registered the key with exactly those modifiers; false when none did.
bool PressHotKey(uint32_t modifiers, uint32_t key);

}  // namespace plat
