// Events and threads. All events share one lock and one condition, so WaitAny can wait on
// any set of them; the program has few events and they change rarely.
#include "platform/Sync.h"

#include "platform/MessageQueue.h"
#include "platform/Process.h"

#include <chrono>
#include <future>
#include <sys/eventfd.h>
#include <unistd.h>

namespace plat {

struct Event::Shared {
    bool set = false;
};

namespace {

std::mutex g_eventLock;
std::condition_variable g_eventChanged;

// Waits on g_eventChanged (locked) until ready() holds or the time is up.
template <class Ready>
bool WaitLocked(std::unique_lock<std::mutex>& lock, uint32_t milliseconds, Ready ready)
{
    if (milliseconds == kInfinite) {
        g_eventChanged.wait(lock, ready);
        return true;
    }
    return g_eventChanged.wait_for(lock, std::chrono::milliseconds(milliseconds), ready);
}

}  // namespace

Event::Event(bool manualReset, bool initiallySet)
    : m_shared(std::make_shared<Shared>()), m_manual(manualReset)
{
    m_shared->set = initiallySet;
}

Event::~Event() = default;

void Event::Set()
{
    {
        std::lock_guard<std::mutex> lock(g_eventLock);
        m_shared->set = true;
    }
    g_eventChanged.notify_all();
}

void Event::Reset()
{
    std::lock_guard<std::mutex> lock(g_eventLock);
    m_shared->set = false;
}

bool Event::IsSet() const
{
    std::lock_guard<std::mutex> lock(g_eventLock);
    return m_shared->set;
}

bool Event::Wait(uint32_t milliseconds)
{
    return WaitAny({this}, milliseconds) == 0;
}

int WaitAny(std::initializer_list<Event*> events, uint32_t milliseconds)
{
    std::unique_lock<std::mutex> lock(g_eventLock);
    int found = kWaitTimeout;
    WaitLocked(lock, milliseconds, [&] {
        int index = 0;
        for (Event* e : events) {
            if (e->m_shared->set) {
                found = index;
                if (!e->m_manual)
                    e->m_shared->set = false;
                return true;
            }
            ++index;
        }
        return false;
    });
    return found;
}

// A thread's state outlives the Thread object when a timed join gives up on it.
struct Thread::State {
    std::function<void()> body;
    int doneFd = eventfd(0, EFD_CLOEXEC);   // readable once the body has returned
    ~State()
    {
        if (doneFd >= 0)
            close(doneFd);
    }
};

Thread::Thread(std::function<void()> body) : m_state(std::make_shared<State>())
{
    m_state->body = std::move(body);
    std::promise<uint32_t> started;
    std::future<uint32_t> id = started.get_future();
    m_thread = std::thread([state = m_state, started = std::move(started)]() mutable {
        started.set_value(GetCurrentThreadId());
        state->body();
        state->body = nullptr;
        const uint64_t one = 1;
        [[maybe_unused]] ssize_t n = write(state->doneFd, &one, sizeof one);
    });
    m_id = id.get();
}

Thread::~Thread() { Join(); }

Thread::Thread(Thread&& other) noexcept
    : m_state(std::move(other.m_state)), m_thread(std::move(other.m_thread)), m_id(other.m_id)
{
    other.m_id = 0;
}

Thread& Thread::operator=(Thread&& other) noexcept
{
    if (this != &other) {
        Join();
        m_state = std::move(other.m_state);
        m_thread = std::move(other.m_thread);
        m_id = other.m_id;
        other.m_id = 0;
    }
    return *this;
}

bool Thread::Joinable() const { return m_thread.joinable(); }

void Thread::Join() { JoinFor(kInfinite); }

bool Thread::JoinFor(uint32_t milliseconds)
{
    if (!m_thread.joinable())
        return true;
    if (m_state->doneFd < 0) {   // no descriptor to wait on: a plain join
        m_thread.join();
        return true;
    }
    // A thread with windows keeps answering messages sent to it while it waits: the thread
    // being joined may be waiting on one of them.
    if (!detail::WaitReadableAnsweringSentMessages(m_state->doneFd, milliseconds)) {
        m_thread.detach();
        return false;
    }
    m_thread.join();
    return true;
}

}  // namespace plat
