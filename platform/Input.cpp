// The cursor position and the hot-key table.
#include "platform/Input.h"

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <vector>

#include "platform/Error.h"
#include "platform/WindowMessages.h"

namespace plat {

namespace {

struct HotKey {
    HWND hwnd;
    int id;
    uint32_t modifiers;
    uint32_t key;
};

struct InputState {
    std::mutex lock;
    Point cursor;
    std::vector<HotKey> hotKeys;
};

InputState& State()
{
    static InputState* state = new InputState;   // threads may use it after static destruction
    return *state;
}

}  // namespace

Point GetCursorPos()
{
    std::lock_guard<std::mutex> guard(State().lock);
    return State().cursor;
}

void SetCursorPos(int x, int y)
{
    std::lock_guard<std::mutex> guard(State().lock);
    State().cursor = {x, y};
}

bool RegisterHotKey(HWND hwnd, int id, uint32_t modifiers, uint32_t key)
{
    if (!IsWindow(hwnd)) {
        SetLastError(EBADF);
        return false;
    }
    InputState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    for (const HotKey& h : s.hotKeys) {
        if (h.modifiers == modifiers && h.key == key && !(h.hwnd == hwnd && h.id == id)) {
            SetLastError(EEXIST);
            return false;
        }
    }
    std::erase_if(s.hotKeys, [&](const HotKey& h) { return h.hwnd == hwnd && h.id == id; });
    s.hotKeys.push_back({hwnd, id, modifiers, key});
    return true;
}

bool UnregisterHotKey(HWND hwnd, int id)
{
    InputState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    if (std::erase_if(s.hotKeys, [&](const HotKey& h) { return h.hwnd == hwnd && h.id == id; }) == 0) {
        SetLastError(EINVAL);
        return false;
    }
    return true;
}

void UnregisterHotKeys(HWND hwnd)
{
    InputState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    std::erase_if(s.hotKeys, [&](const HotKey& h) { return h.hwnd == hwnd; });
}

bool PressHotKey(uint32_t modifiers, uint32_t key)
{
    HotKey found{};
    {
        InputState& s = State();
        std::lock_guard<std::mutex> guard(s.lock);
        auto it = std::find_if(s.hotKeys.begin(), s.hotKeys.end(),
                               [&](const HotKey& h) { return h.modifiers == modifiers && h.key == key; });
        if (it == s.hotKeys.end())
            return false;
        found = *it;
    }
    const LPARAM keys = LPARAM((modifiers & 0xFFFF) | ((key & 0xFFFF) << 16));
    return PostMessage(found.hwnd, WM_HOTKEY, WPARAM(found.id), keys);
}

}  // namespace plat
