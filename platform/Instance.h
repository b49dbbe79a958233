// The single-instance lock and messages between running copies of the program.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace plat {

// A named lock held for the life of the object: an abstract Unix socket named after the lock
// and the user id, which the kernel releases even when the process dies.
class SingleInstanceLock {
public:
    SingleInstanceLock() = default;
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // True when this object now holds the lock; false when another holder exists.
    bool Acquire(const std::string& name);
    void Release();
    bool IsHeld() const { return m_fd >= 0; }

    // True when some process holds the lock of that name.
    static bool IsTaken(const std::string& name);
    // Waits until nobody holds the lock, at most that long; true when it is free.
    static bool WaitUntilFree(const std::string& name, uint32_t milliseconds);

private:
    int m_fd = -1;
};

// Registered message numbers: the same name gives the same number in every process
// (0xC000 to 0xFFFF, derived from the name).
uint32_t RegisterWindowMessage(const std::string& name);

// Receives registered messages broadcast to this process: each running copy keeps a datagram
// socket under $XDG_RUNTIME_DIR (or the temporary folder) named after its process id.
// The handler runs on the listener's own thread; the message queue turns it into a posted
// message for the UI thread.
class BroadcastListener {
public:
    using Handler = std::function<void(uint32_t message)>;
    BroadcastListener() = default;
    ~BroadcastListener();
    bool Start(Handler handler);
    void Stop();
private:
    struct Impl;
    Impl* m_impl = nullptr;
};

// Sends a registered message to every running copy that listens (this process included);
// stale sockets of dead processes are removed. Returns how many copies it reached.
int BroadcastMessage(const std::string& name);

}  // namespace plat
