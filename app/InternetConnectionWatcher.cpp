// The connection watcher thread.
#include "app/InternetConnectionWatcher.h"

#include "platform/Network.h"

namespace {

bool InRange(uint32_t address, uint32_t network, int prefixBits)
{
    uint32_t mask = prefixBits == 0 ? 0 : ~0u << (32 - prefixBits);
    return (address & mask) == network;
}

bool IsPrivate(uint32_t a)
{
    return InRange(a, 0x0A000000, 8) || InRange(a, 0xAC100000, 12) || InRange(a, 0xC0A80000, 16);
}

bool IsIgnored(uint32_t a)
{
    return InRange(a, 0xA9FE0000, 16) || a == 0x7F000001;
}

}  // namespace

bool CInternetConnectionWatcher::JudgeAddresses(const std::vector<uint32_t>& addresses)
{
    bool anyPrivate = false;
    for (uint32_t address : addresses) {
        if (IsIgnored(address))
            continue;
        if (!IsPrivate(address))
            return true;
        anyPrivate = true;
    }
    return anyPrivate;
}

CInternetConnectionWatcher::CInternetConnectionWatcher(uint32_t initialWaitMs, uint32_t intervalMs,
                                                       AddressSource source)
{
    if (!source)
        source = plat::GetIPv4Addresses;
    m_thread = plat::Thread([state = m_state, initialWaitMs, intervalMs, source] {
        if (state->stop.Wait(initialWaitMs))
            return;
        while (!state->stop.Wait(intervalMs)) {
            bool connected = JudgeAddresses(source());
            std::lock_guard<std::mutex> guard(state->lock);
            state->connected = connected;
        }
    });
}

CInternetConnectionWatcher::~CInternetConnectionWatcher()
{
    m_state->stop.Set();
    m_thread.JoinFor(3000);
}

bool CInternetConnectionWatcher::IsConnected() const
{
    std::lock_guard<std::mutex> guard(m_state->lock);
    return m_state->connected;
}
