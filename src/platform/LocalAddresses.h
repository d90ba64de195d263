// This computer's own IPv4 addresses, as the interfaces carry them now.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace optivane::platform {

class LocalAddresses {
public:
    static constexpr size_t kMaxCount = 255;

    // Replaces *addresses with the IPv4 addresses of the interfaces that are
    // up, loopback interfaces left out, in host byte order and the system's
    // order, through Append's rules (at most kMaxCount). False (and
    // *addresses unchanged) when the system cannot list them.
    static bool Read(std::vector<uint32_t>* addresses);

    // Host-order value of an address given as its four bytes in network
    // order, as sockets store it: {192, 168, 1, 20} gives 0xC0A80114.
    static uint32_t FromNetworkBytes(const uint8_t bytes[4]);
    // Appends address (host order) unless it is loopback, unspecified,
    // already listed or the list holds kMaxCount. True when appended.
    static bool Append(uint32_t address, std::vector<uint32_t>* addresses);
};

}  // namespace optivane::platform
