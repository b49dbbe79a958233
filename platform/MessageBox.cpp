// Message boxes: the headless backend, and the choice of backend.
#include "platform/MessageBox.h"

#include "platform/Process.h"

#include <cstdio>
#include <deque>
#include <iterator>
#include <mutex>
#include <utility>

namespace plat {

namespace {

struct HeadlessState {
    std::mutex lock;
    std::function<void(const std::string&)> logHook;
    std::deque<int> answers;
    std::vector<ShownMessageBox> shown;
    MessageBoxImpl desktop = nullptr;
};

HeadlessState& State()
{
    static HeadlessState* state = new HeadlessState;   // used until the very end of the process
    return *state;
}

}  // namespace

Backend CurrentBackend()
{
    const std::string chosen = GetEnv("QVL_PLATFORM");
    if (chosen == "headless")
        return Backend::Headless;
    if (chosen == "desktop")
        return Backend::Desktop;
    return HasEnv("DISPLAY") || HasEnv("WAYLAND_DISPLAY") ? Backend::Desktop : Backend::Headless;
}

int DefaultAnswer(uint32_t flags)
{
    static const std::vector<int> rows[] = {
        {IDOK}, {IDOK, IDCANCEL}, {IDABORT, IDRETRY, IDIGNORE},
        {IDYES, IDNO, IDCANCEL}, {IDYES, IDNO}, {IDRETRY, IDCANCEL},
    };
    const uint32_t type = flags & 0xF;
    const std::vector<int>& row = type < std::size(rows) ? rows[type] : rows[0];
    const size_t button = (flags >> 8) & 0xF;
    return button < row.size() ? row[button] : row[0];
}

int MessageBox(uintptr_t owner, const std::string& text, const std::string& caption, uint32_t flags)
{
    HeadlessState& s = State();
    MessageBoxImpl desktop;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        desktop = s.desktop;
    }
    if (desktop && CurrentBackend() == Backend::Desktop)
        return desktop(owner, text, caption, flags);

    const std::string line = caption + ": " + text;
    std::fprintf(stderr, "%s\n", line.c_str());
    std::function<void(const std::string&)> hook;
    int answer;
    {
        std::lock_guard<std::mutex> guard(s.lock);
        hook = s.logHook;
        answer = DefaultAnswer(flags);
        if (!s.answers.empty()) {
            answer = s.answers.front();
            s.answers.pop_front();
        }
        s.shown.push_back({text, caption, flags, answer});
    }
    if (hook)
        hook(line);
    return answer;
}

void SetMessageBoxLogHook(std::function<void(const std::string& line)> hook)
{
    std::lock_guard<std::mutex> guard(State().lock);
    State().logHook = std::move(hook);
}

void QueueMessageBoxAnswer(int answer)
{
    std::lock_guard<std::mutex> guard(State().lock);
    State().answers.push_back(answer);
}

std::vector<ShownMessageBox> TakeShownMessageBoxes()
{
    std::lock_guard<std::mutex> guard(State().lock);
    return std::exchange(State().shown, {});
}

void SetDesktopMessageBoxImpl(MessageBoxImpl impl)
{
    std::lock_guard<std::mutex> guard(State().lock);
    State().desktop = impl;
}

}  // namespace plat
