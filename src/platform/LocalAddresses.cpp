#include "platform/LocalAddresses.h"

#include <algorithm>

namespace optivane::platform {

uint32_t LocalAddresses::FromNetworkBytes(const uint8_t bytes[4]) {
    return (static_cast<uint32_t>(bytes[0]) << 24) | (static_cast<uint32_t>(bytes[1]) << 16) |
           (static_cast<uint32_t>(bytes[2]) << 8) | static_cast<uint32_t>(bytes[3]);
}

bool LocalAddresses::Append(uint32_t address, std::vector<uint32_t>* addresses) {
    constexpr uint32_t kLoopbackNet = 0x7F000000u;
    constexpr uint32_t kLoopbackMask = 0xFF000000u;
    if (address == 0 || (address & kLoopbackMask) == kLoopbackNet) return false;
    if (addresses->size() >= kMaxCount) return false;
    if (std::find(addresses->begin(), addresses->end(), address) != addresses->end()) return false;
    addresses->push_back(address);
    return true;
}

}  // namespace optivane::platform
