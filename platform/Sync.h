// Events with the Windows shape (auto- and manual-reset, WaitAny) and threads.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <thread>

namespace plat {

inline constexpr uint32_t kInfinite = 0xFFFFFFFFu;
inline constexpr int kWaitTimeout = -1;

// An event object. An auto-reset event releases one waiter and resets itself; a manual-reset
// event stays signalled until Reset.
class Event {
public:
    explicit Event(bool manualReset, bool initiallySet = false);
    ~Event();
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    bool IsSet() const;                            // does not consume an auto-reset signal
    bool Wait(uint32_t milliseconds = kInfinite);  // true when signalled, false on time-out

private:
    friend int WaitAny(std::initializer_list<Event*>, uint32_t);
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    bool m_manual = false;
};

// Waits until one of the events is signalled; returns its index (the lowest when several are),
// or kWaitTimeout. Consumes the signal of an auto-reset event it returns.
int WaitAny(std::initializer_list<Event*> events, uint32_t milliseconds = kInfinite);

// A joinable thread that runs a function once.
class Thread {
public:
    Thread() = default;
    explicit Thread(std::function<void()> body);
    ~Thread();   // joins
    Thread(Thread&&) noexcept;
    Thread& operator=(Thread&&) noexcept;

    bool Joinable() const;
    void Join();
    // Joins for at most that long; false when the thread is still running (it is then detached
    // and left to end on its own: threads cannot be terminated safely).
    bool JoinFor(uint32_t milliseconds);
    uint32_t Id() const { return m_id; }

private:
    struct State;
    std::shared_ptr<State> m_state;
    std::thread m_thread;
    uint32_t m_id = 0;
};

}  // namespace plat
