// Decides in the background whether the computer is on the Internet, from the addresses of its
// network interfaces. Checks are made at every interval after an initial wait, so the state
// stays "not connected" for the wait and one interval.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/Sync.h"

class CInternetConnectionWatcher {
public:
    // The interface addresses to judge (IPv4, host byte order).
    using AddressSource = std::function<std::vector<uint32_t>()>;

    // Starts the watcher thread. The defaults are the program's: a wait of 60 s, then a check
    // every 10 s, over the machine's interface addresses.
    explicit CInternetConnectionWatcher(uint32_t initialWaitMs = 60000, uint32_t intervalMs = 10000,
                                        AddressSource source = {});
    // Stops the thread, waiting for it at most 3 s.
    ~CInternetConnectionWatcher();
    CInternetConnectionWatcher(const CInternetConnectionWatcher&) = delete;
    CInternetConnectionWatcher& operator=(const CInternetConnectionWatcher&) = delete;

    // The state found by the last check; false before the first.
    bool IsConnected() const;

    // The judgement of one check: connected when some address is public; also when only
    // private ones (10/8, 172.16/12, 192.168/16) exist besides ignored ones (127.0.0.1,
    // 169.254/16), since a private address usually sits behind a router to the Internet;
    // not connected without any usable address.
    static bool JudgeAddresses(const std::vector<uint32_t>& addresses);

private:
    // Shared with the thread, so a thread that outlives the stop wait never touches a freed
    // watcher.
    struct State {
        plat::Event stop{true};
        mutable std::mutex lock;
        bool connected = false;
    };
    std::shared_ptr<State> m_state = std::make_shared<State>();
    plat::Thread m_thread;
};
