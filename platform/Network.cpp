// The machine's IPv4 addresses from the interface list.
#include "platform/Network.h"

#include <algorithm>
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

namespace plat {

std::vector<uint32_t> GetIPv4Addresses()
{
    std::vector<uint32_t> addresses;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return addresses;
    for (const ifaddrs* i = list; i; i = i->ifa_next) {
        if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP))
            continue;
        const uint32_t a = ntohl(reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr);
        const bool loopback = (a >> 24) == 127;
        const bool linkLocal = (a >> 16) == 0xA9FE;
        if (!loopback && !linkLocal && std::find(addresses.begin(), addresses.end(), a) == addresses.end())
            addresses.push_back(a);
    }
    freeifaddrs(list);
    return addresses;
}

}  // namespace plat
