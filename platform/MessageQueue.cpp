// Per-thread message queues, the window table, sent messages across threads, timers and the
// quit signals. One lock guards every queue and the window table: messages are few and the
// lock is never held while a window procedure runs. Each queue has an eventfd that wakes its
// thread; a quit signal writes to a separate eventfd, which is safe inside a signal handler.
#include "platform/MessageQueue.h"

#include "platform/Error.h"
#include "platform/Process.h"
#include "platform/Sync.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <unordered_map>
#include <vector>

namespace plat {

namespace {

struct ThreadQueue;

// A message sent from another thread; it lives on the sender's stack until done.
struct SentMessage {
    HWND hwnd = 0;
    uint32_t message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    LRESULT result = 0;
    std::atomic<bool> done{false};
    std::shared_ptr<ThreadQueue> sender;
};

struct Timer {
    HWND hwnd = 0;
    uintptr_t id = 0;
    uint32_t interval = 0;
    uint64_t due = 0;
};

struct ThreadQueue {
    explicit ThreadQueue(uint32_t thread) : threadId(thread) {}
    ~ThreadQueue() { close(wakeFd); }

    void Wake() const
    {
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(wakeFd, &one, sizeof one);
    }

    const uint32_t threadId;
    const int wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    std::deque<MSG> posted;
    std::deque<SentMessage*> sent;
    bool quit = false;
    int quitCode = 0;
    std::vector<Timer> timers;
    uintptr_t nextThreadTimerId = 1;
};

struct WindowRecord {
    uint32_t threadId = 0;
    WNDPROC proc = nullptr;
    std::map<std::string, uintptr_t> props;
};

struct QueueState {
    std::mutex lock;
    std::unordered_map<uint32_t, std::shared_ptr<ThreadQueue>> queues;
    std::unordered_map<HWND, WindowRecord> windows;
    HWND nextHandle = 1;
};

QueueState& State()
{
    static QueueState* state = new QueueState;   // threads may end after static destruction
    return *state;
}

std::atomic<bool> g_virtualClock{false};
std::atomic<uint64_t> g_virtualNow{0};

// Written by the signal handler: lock-free atomics and a descriptor that is never closed.
std::atomic<int> g_signalFd{-1};
std::atomic<uint32_t> g_signalTarget{0};
std::atomic<int> g_signalPending{0};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<uint32_t>::is_always_lock_free);

void Drain(int fd)
{
    uint64_t count;
    while (read(fd, &count, sizeof count) > 0) {
    }
}

// Completes a sent message; the sender may return (and free it) as soon as done is set.
void Complete(SentMessage* sm, LRESULT result)
{
    const std::shared_ptr<ThreadQueue> sender = sm->sender;
    sm->result = result;
    sm->done.store(true, std::memory_order_release);
    sender->Wake();
}

void EndQueue(const std::shared_ptr<ThreadQueue>& queue)
{
    std::deque<SentMessage*> unanswered;
    {
        QueueState& s = State();
        std::lock_guard<std::mutex> guard(s.lock);
        s.queues.erase(queue->threadId);
        std::erase_if(s.windows, [&](const auto& w) { return w.second.threadId == queue->threadId; });
        unanswered.swap(queue->sent);
    }
    for (SentMessage* sm : unanswered)
        Complete(sm, 0);
}

// Ends the thread's queue with the thread.
struct QueueOwner {
    std::shared_ptr<ThreadQueue> queue;
    ~QueueOwner()
    {
        if (queue)
            EndQueue(queue);
    }
};
thread_local QueueOwner t_owner;

ThreadQueue& CurrentQueue()
{
    if (!t_owner.queue) {
        auto queue = std::make_shared<ThreadQueue>(GetCurrentThreadId());
        QueueState& s = State();
        std::lock_guard<std::mutex> guard(s.lock);
        s.queues[queue->threadId] = queue;
        t_owner.queue = std::move(queue);
    }
    return *t_owner.queue;
}

WindowRecord* FindWindow(HWND hwnd)   // with the lock held
{
    auto it = State().windows.find(hwnd);
    return it == State().windows.end() ? nullptr : &it->second;
}

// The window of the calling thread, with the lock held; sets the last error when there is none.
WindowRecord* FindOwnWindow(HWND hwnd)
{
    WindowRecord* w = FindWindow(hwnd);
    if (!w)
        SetLastError(EBADF);
    else if (w->threadId != GetCurrentThreadId()) {
        SetLastError(EACCES);
        return nullptr;
    }
    return w;
}

// Handles one message sent to the queue by another thread; false when there was none.
bool AnswerOneSentMessage(ThreadQueue& q)
{
    SentMessage* sm;
    WNDPROC proc = nullptr;
    {
        std::lock_guard<std::mutex> guard(State().lock);
        if (q.sent.empty())
            return false;
        sm = q.sent.front();
        q.sent.pop_front();
        if (const WindowRecord* w = FindWindow(sm->hwnd); w && w->threadId == q.threadId)
            proc = w->proc;
    }
    Complete(sm, proc ? proc(sm->hwnd, sm->message, sm->wParam, sm->lParam) : 0);
    return true;
}

// Waits for the descriptors, at most that long (kInfinite: no limit); false on time-out.
bool PollFor(pollfd* fds, nfds_t count, uint64_t deadline, uint32_t milliseconds)
{
    int timeout = -1;
    if (milliseconds != kInfinite) {
        const uint64_t now = GetTickCount64();
        timeout = now >= deadline ? 0 : static_cast<int>(deadline - now);
    }
    const int rc = poll(fds, count, timeout);
    return rc != 0 || timeout != 0;   // an interruption counts as a wake-up: the caller looks again
}

bool Matches(const MSG& m, HWND hwndFilter, uint32_t minFilter, uint32_t maxFilter)
{
    return (hwndFilter == 0 || m.hwnd == hwndFilter)
           && ((minFilter == 0 && maxFilter == 0) || (m.message >= minFilter && m.message <= maxFilter));
}

// Retrieves the next message for the filters; waits for one when wait is set.
bool Retrieve(MSG& msg, HWND hwndFilter, uint32_t minFilter, uint32_t maxFilter, bool remove, bool wait)
{
    ThreadQueue& q = CurrentQueue();
    QueueState& s = State();
    for (;;) {
        Drain(q.wakeFd);
        const bool signalTarget = g_signalTarget.load() == q.threadId && g_signalFd.load() >= 0;
        if (signalTarget)
            Drain(g_signalFd.load());
        while (AnswerOneSentMessage(q)) {
        }
        uint32_t waitFor = kInfinite;
        {
            std::lock_guard<std::mutex> guard(s.lock);
            if (signalTarget && g_signalPending.exchange(0)) {
                q.quit = true;
                q.quitCode = 0;
            }
            for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
                if (Matches(*it, hwndFilter, minFilter, maxFilter)) {
                    msg = *it;
                    if (remove)
                        q.posted.erase(it);
                    return true;
                }
            }
            const uint64_t now = QueueTickCount();
            if (q.quit && Matches({0, WM_QUIT}, 0, minFilter, maxFilter)) {
                msg = {0, WM_QUIT, static_cast<WPARAM>(q.quitCode), 0, static_cast<uint32_t>(now)};
                if (remove)
                    q.quit = false;
                return true;
            }
            Timer* next = nullptr;
            for (Timer& t : q.timers)
                if (Matches({t.hwnd, WM_TIMER}, hwndFilter, minFilter, maxFilter) && (!next || t.due < next->due))
                    next = &t;
            if (next && next->due <= now) {
                msg = {next->hwnd, WM_TIMER, next->id, 0, static_cast<uint32_t>(now)};
                if (remove)
                    next->due = now + next->interval;
                return true;
            }
            if (!wait)
                return false;
            if (next) {
                if (g_virtualClock.load()) {   // nothing to do but wait: jump to the timer
                    uint64_t current = g_virtualNow.load();
                    while (current < next->due && !g_virtualNow.compare_exchange_weak(current, next->due)) {
                    }
                    continue;
                }
                waitFor = static_cast<uint32_t>(std::min<uint64_t>(next->due - now, kInfinite - 1));
            }
        }
        pollfd fds[2] = {{q.wakeFd, POLLIN, 0}, {signalTarget ? g_signalFd.load() : -1, POLLIN, 0}};
        PollFor(fds, 2, GetTickCount64() + waitFor, waitFor);
    }
}

}  // namespace

HWND CreateWindowRecord(WNDPROC proc)
{
    const uint32_t thread = CurrentQueue().threadId;
    QueueState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    while (s.nextHandle == 0 || s.windows.count(s.nextHandle))
        ++s.nextHandle;
    const HWND hwnd = s.nextHandle++;
    s.windows[hwnd] = WindowRecord{thread, proc, {}};
    return hwnd;
}

bool DestroyWindowRecord(HWND hwnd)
{
    WNDPROC proc;
    {
        std::lock_guard<std::mutex> guard(State().lock);
        const WindowRecord* w = FindOwnWindow(hwnd);
        if (!w)
            return false;
        proc = w->proc;
    }
    if (proc)
        proc(hwnd, WM_DESTROY, 0, 0);
    ThreadQueue& q = CurrentQueue();
    std::lock_guard<std::mutex> guard(State().lock);
    State().windows.erase(hwnd);
    std::erase_if(q.timers, [hwnd](const Timer& t) { return t.hwnd == hwnd; });
    return true;
}

bool IsWindow(HWND hwnd)
{
    std::lock_guard<std::mutex> guard(State().lock);
    return FindWindow(hwnd) != nullptr;
}

uint32_t GetWindowThreadId(HWND hwnd)
{
    std::lock_guard<std::mutex> guard(State().lock);
    const WindowRecord* w = FindWindow(hwnd);
    return w ? w->threadId : 0;
}

bool SetWindowProc(HWND hwnd, WNDPROC proc)
{
    std::lock_guard<std::mutex> guard(State().lock);
    WindowRecord* w = FindOwnWindow(hwnd);
    if (w)
        w->proc = proc;
    return w != nullptr;
}

bool SetProp(HWND hwnd, const std::string& name, uintptr_t value)
{
    std::lock_guard<std::mutex> guard(State().lock);
    WindowRecord* w = FindWindow(hwnd);
    if (!w) {
        SetLastError(EBADF);
        return false;
    }
    w->props[name] = value;
    return true;
}

uintptr_t GetProp(HWND hwnd, const std::string& name)
{
    std::lock_guard<std::mutex> guard(State().lock);
    const WindowRecord* w = FindWindow(hwnd);
    if (!w)
        return 0;
    auto it = w->props.find(name);
    return it == w->props.end() ? 0 : it->second;
}

uintptr_t RemoveProp(HWND hwnd, const std::string& name)
{
    std::lock_guard<std::mutex> guard(State().lock);
    WindowRecord* w = FindWindow(hwnd);
    if (!w)
        return 0;
    auto it = w->props.find(name);
    if (it == w->props.end())
        return 0;
    const uintptr_t value = it->second;
    w->props.erase(it);
    return value;
}

bool PostThreadMessage(uint32_t threadId, uint32_t message, WPARAM wParam, LPARAM lParam)
{
    std::shared_ptr<ThreadQueue> q;
    {
        QueueState& s = State();
        std::lock_guard<std::mutex> guard(s.lock);
        auto it = s.queues.find(threadId);
        if (it == s.queues.end()) {
            SetLastError(ESRCH);
            return false;
        }
        q = it->second;
        q->posted.push_back({0, message, wParam, lParam, static_cast<uint32_t>(QueueTickCount())});
    }
    q->Wake();
    return true;
}

bool PostMessage(HWND hwnd, uint32_t message, WPARAM wParam, LPARAM lParam)
{
    if (hwnd == 0)
        return PostThreadMessage(CurrentQueue().threadId, message, wParam, lParam);
    std::shared_ptr<ThreadQueue> q;
    {
        QueueState& s = State();
        std::lock_guard<std::mutex> guard(s.lock);
        const WindowRecord* w = FindWindow(hwnd);
        auto it = w ? s.queues.find(w->threadId) : s.queues.end();
        if (it == s.queues.end()) {
            SetLastError(EBADF);
            return false;
        }
        q = it->second;
        q->posted.push_back({hwnd, message, wParam, lParam, static_cast<uint32_t>(QueueTickCount())});
    }
    q->Wake();
    return true;
}

void PostQuitMessage(int exitCode)
{
    ThreadQueue& q = CurrentQueue();
    std::lock_guard<std::mutex> guard(State().lock);
    q.quit = true;
    q.quitCode = exitCode;
}

LRESULT SendMessage(HWND hwnd, uint32_t message, WPARAM wParam, LPARAM lParam)
{
    ThreadQueue& self = CurrentQueue();
    std::shared_ptr<ThreadQueue> target;
    WNDPROC proc = nullptr;
    SentMessage sm;
    {
        QueueState& s = State();
        std::lock_guard<std::mutex> guard(s.lock);
        const WindowRecord* w = FindWindow(hwnd);
        if (!w) {
            SetLastError(EBADF);
            return 0;
        }
        if (w->threadId == self.threadId) {
            proc = w->proc;
        } else {
            auto it = s.queues.find(w->threadId);
            if (it == s.queues.end())
                return 0;
            target = it->second;
            sm.hwnd = hwnd;
            sm.message = message;
            sm.wParam = wParam;
            sm.lParam = lParam;
            sm.sender = t_owner.queue;
            target->sent.push_back(&sm);
        }
    }
    if (!target)
        return proc ? proc(hwnd, message, wParam, lParam) : 0;
    target->Wake();
    for (;;) {
        Drain(self.wakeFd);
        if (AnswerOneSentMessage(self))
            continue;
        if (sm.done.load(std::memory_order_acquire))
            return sm.result;
        pollfd fd{self.wakeFd, POLLIN, 0};
        PollFor(&fd, 1, 0, kInfinite);
    }
}

bool GetMessage(MSG& msg, HWND hwndFilter, uint32_t minFilter, uint32_t maxFilter)
{
    Retrieve(msg, hwndFilter, minFilter, maxFilter, true, true);
    return msg.message != WM_QUIT;
}

bool PeekMessage(MSG& msg, HWND hwndFilter, uint32_t minFilter, uint32_t maxFilter, uint32_t removeFlags)
{
    return Retrieve(msg, hwndFilter, minFilter, maxFilter, (removeFlags & PM_REMOVE) != 0, false);
}

LRESULT DispatchMessage(const MSG& msg)
{
    WNDPROC proc = nullptr;
    {
        std::lock_guard<std::mutex> guard(State().lock);
        if (const WindowRecord* w = FindOwnWindow(msg.hwnd))
            proc = w->proc;
    }
    return proc ? proc(msg.hwnd, msg.message, msg.wParam, msg.lParam) : 0;
}

uintptr_t SetTimer(HWND hwnd, uintptr_t id, uint32_t milliseconds)
{
    ThreadQueue& q = CurrentQueue();
    std::lock_guard<std::mutex> guard(State().lock);
    if (hwnd != 0 && !FindOwnWindow(hwnd))
        return 0;
    const uint32_t interval = std::max(milliseconds, kMinimumTimerInterval);
    const uint64_t due = QueueTickCount() + interval;
    auto it = std::find_if(q.timers.begin(), q.timers.end(),
                           [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    if (it != q.timers.end()) {
        it->interval = interval;
        it->due = due;
        return id == 0 ? 1 : id;
    }
    if (hwnd == 0) {   // a new thread timer gets an id of its own
        auto used = [&](uintptr_t candidate) {
            return std::any_of(q.timers.begin(), q.timers.end(),
                               [&](const Timer& t) { return t.hwnd == 0 && t.id == candidate; });
        };
        do
            id = q.nextThreadTimerId++;
        while (id == 0 || used(id));
    }
    q.timers.push_back({hwnd, id, interval, due});
    return id == 0 ? 1 : id;
}

bool KillTimer(HWND hwnd, uintptr_t id)
{
    ThreadQueue& q = CurrentQueue();
    std::lock_guard<std::mutex> guard(State().lock);
    const size_t removed = std::erase_if(q.timers, [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; });
    if (removed == 0)
        SetLastError(EINVAL);
    return removed != 0;
}

void SetVirtualTimerClock(bool enabled, uint64_t startMilliseconds)
{
    g_virtualNow.store(startMilliseconds);
    g_virtualClock.store(enabled);
}

uint64_t QueueTickCount() { return g_virtualClock.load() ? g_virtualNow.load() : GetTickCount64(); }

namespace {
void OnQuitSignal(int)
{
    const int savedErrno = errno;
    g_signalPending.store(1);
    const uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(g_signalFd.load(), &one, sizeof one);
    errno = savedErrno;
}
}  // namespace

bool InstallQuitSignalHandlers(uint32_t threadId)
{
    if (g_signalFd.load() < 0) {
        const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        int expected = -1;
        if (fd < 0) {
            SetLastErrorFromErrno();
            return false;
        }
        if (!g_signalFd.compare_exchange_strong(expected, fd))
            close(fd);
    }
    g_signalTarget.store(threadId);
    struct sigaction action{};
    action.sa_handler = OnQuitSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    if (sigaction(SIGTERM, &action, nullptr) != 0 || sigaction(SIGINT, &action, nullptr) != 0) {
        SetLastErrorFromErrno();
        return false;
    }
    // Wake the thread so that it starts watching for the signals now.
    std::shared_ptr<ThreadQueue> q;
    {
        std::lock_guard<std::mutex> guard(State().lock);
        auto it = State().queues.find(threadId);
        if (it != State().queues.end())
            q = it->second;
    }
    if (q)
        q->Wake();
    return true;
}

bool PostToThreadWindows(uint32_t threadId, uint32_t message, WPARAM wParam, LPARAM lParam)
{
    std::vector<HWND> windows;
    {
        std::lock_guard<std::mutex> guard(State().lock);
        for (const auto& [hwnd, window] : State().windows)
            if (window.threadId == threadId)
                windows.push_back(hwnd);
    }
    if (windows.empty())
        return PostThreadMessage(threadId, message, wParam, lParam);
    std::sort(windows.begin(), windows.end());   // oldest first
    for (HWND hwnd : windows)
        PostMessage(hwnd, message, wParam, lParam);   // one destroyed meanwhile is skipped
    return true;
}

bool PostBroadcastsToThreadWindows(BroadcastListener& listener, uint32_t threadId)
{
    return listener.Start([threadId](uint32_t message) { PostToThreadWindows(threadId, message, 0, 0); });
}

namespace detail {

bool WaitReadableAnsweringSentMessages(int fd, uint32_t milliseconds)
{
    ThreadQueue* q = t_owner.queue.get();   // a thread without a queue has nothing to answer
    const uint64_t deadline = milliseconds == kInfinite ? 0 : GetTickCount64() + milliseconds;
    for (;;) {
        if (q) {
            Drain(q->wakeFd);
            while (AnswerOneSentMessage(*q)) {
            }
        }
        pollfd fds[2] = {{fd, POLLIN, 0}, {q ? q->wakeFd : -1, POLLIN, 0}};
        const bool woken = PollFor(fds, 2, deadline, milliseconds);
        if (fds[0].revents & (POLLIN | POLLERR | POLLHUP | POLLNVAL))
            return true;
        if (!woken)
            return false;
    }
}

}  // namespace detail

}  // namespace plat
