// The message queue of the Windows shape, independent of any display: per-thread queues of
// posted and sent messages, quit, timers, and a table of windows with their window procedures
// and properties. Display backends add their input and paint messages through the same queues.
#pragma once
#include <cstdint>
#include <string>

#include "platform/Instance.h"

namespace plat {

using HWND = uint32_t;      // a small integer window handle; 0 is no window
using WPARAM = uintptr_t;
using LPARAM = intptr_t;
using LRESULT = intptr_t;
using WNDPROC = LRESULT (*)(HWND hwnd, uint32_t message, WPARAM wParam, LPARAM lParam);

struct MSG {
    HWND hwnd = 0;
    uint32_t message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    uint32_t time = 0;   // the queue's tick count when the message was posted or made
};

enum : uint32_t {
    WM_NULL = 0x0000, WM_DESTROY = 0x0002, WM_CLOSE = 0x0010, WM_QUIT = 0x0012,
    WM_TIMER = 0x0113, WM_USER = 0x0400, WM_APP = 0x8000,
};
enum : uint32_t { PM_NOREMOVE = 0x0, PM_REMOVE = 0x1 };
inline constexpr uint32_t kMinimumTimerInterval = 10;   // milliseconds

// Windows. The calling thread owns the windows it creates: their messages are queued to it and
// their procedures run on it. Destroying a window kills its timers; messages still queued for
// it are then dropped by DispatchMessage. A thread's windows are destroyed when it ends.
HWND CreateWindowRecord(WNDPROC proc);
bool DestroyWindowRecord(HWND hwnd);
bool IsWindow(HWND hwnd);
uint32_t GetWindowThreadId(HWND hwnd);   // 0 for no such window
bool SetWindowProc(HWND hwnd, WNDPROC proc);
bool SetProp(HWND hwnd, const std::string& name, uintptr_t value);
uintptr_t GetProp(HWND hwnd, const std::string& name);   // 0 when absent
uintptr_t RemoveProp(HWND hwnd, const std::string& name);

// Posting. A thread's queue is made when it first uses one; posting to another thread of this
// process makes its queue if it has none yet. PostMessage with hwnd 0 posts to the calling
// thread. False with the last error set when there is no such window or thread.
bool PostThreadMessage(uint32_t threadId, uint32_t message, WPARAM wParam, LPARAM lParam);
bool PostMessage(HWND hwnd, uint32_t message, WPARAM wParam, LPARAM lParam);
// Asks the calling thread's message loop to end: GetMessage returns false with WM_QUIT and
// wParam = exitCode once the messages posted before have been retrieved.
void PostQuitMessage(int exitCode);

// Calls the window procedure and returns its result. For a window of another thread, the
// message is handed to that thread, which handles it the next time it looks at its queue (in
// GetMessage, PeekMessage, or while it is itself waiting in SendMessage or joining a thread);
// the caller waits and meanwhile handles the messages sent to it, so two threads that send to
// each other do not deadlock. Returns 0 for no window or when the owner ends first.
LRESULT SendMessage(HWND hwnd, uint32_t message, WPARAM wParam, LPARAM lParam);

// Retrieval, in the Windows order: sent messages are handled first (they are never returned),
// then posted messages in order, then WM_QUIT, then due timers. hwndFilter 0 takes any window;
// minFilter = maxFilter = 0 takes any message number.
bool GetMessage(MSG& msg, HWND hwndFilter = 0, uint32_t minFilter = 0, uint32_t maxFilter = 0);
bool PeekMessage(MSG& msg, HWND hwndFilter, uint32_t minFilter, uint32_t maxFilter, uint32_t removeFlags);
LRESULT DispatchMessage(const MSG& msg);

// Timers: WM_TIMER with wParam = id for the window (or, with hwnd 0, for the calling thread:
// the id is then chosen when 0 is given). Intervals below kMinimumTimerInterval are raised to
// it. A timer's message is made only when nothing else is queued, and a timer never has more
// than one waiting; the next one is due an interval after the last was retrieved. Setting an
// existing timer again restarts it. Returns the id, or 0 on failure.
uintptr_t SetTimer(HWND hwnd, uintptr_t id, uint32_t milliseconds);
bool KillTimer(HWND hwnd, uintptr_t id);

// The queues' tick count, which stamps messages and times timers: the monotonic tick count,
// or, in virtual mode, a clock that moves only when a queue has nothing to do but wait for a
// timer: it then jumps to that timer's time at once, so timed runs are fast and repeatable.
// The headless backend turns virtual mode on before its windows are made.
void SetVirtualTimerClock(bool enabled, uint64_t startMilliseconds = 0);
uint64_t QueueTickCount();

// SIGTERM and SIGINT post WM_QUIT (exit code 0) to that thread's queue.
bool InstallQuitSignalHandlers(uint32_t threadId);

// Posts the message to every window of the thread, or to the thread itself when it has none,
// as a message broadcast to all top-level windows reaches a program. False with the last error
// set when the thread has no queue.
bool PostToThreadWindows(uint32_t threadId, uint32_t message, WPARAM wParam, LPARAM lParam);
// Starts the listener so that each registered message broadcast by a running copy is posted
// with PostToThreadWindows, as that message number with wParam = lParam = 0.
bool PostBroadcastsToThreadWindows(BroadcastListener& listener, uint32_t threadId);

namespace detail {
// Waits until fd is readable, at most that long, handling the messages sent to the calling
// thread meanwhile. Used by Thread::Join.
bool WaitReadableAnsweringSentMessages(int fd, uint32_t milliseconds);
}  // namespace detail

}  // namespace plat
