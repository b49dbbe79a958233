// The machine's network state for the connection watcher.
#pragma once
#include <cstdint>
#include <vector>

namespace plat {

// IPv4 addresses of the interfaces that are up, host byte order, leaving out 127.0.0.0/8 and
// 169.254.0.0/16.
std::vector<uint32_t> GetIPv4Addresses();

}  // namespace plat
