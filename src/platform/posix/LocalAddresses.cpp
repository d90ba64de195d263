#include "platform/LocalAddresses.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <new>

namespace optivane::platform {

bool LocalAddresses::Read(std::vector<uint32_t>* addresses) {
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return false;
    std::vector<uint32_t> found;
    bool complete = true;
    try {
        found.reserve(kMaxCount);
        for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
            // Interfaces without an address (down or unconfigured) have a null ifa_addr.
            if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
            if ((entry->ifa_flags & IFF_UP) == 0 || (entry->ifa_flags & IFF_LOOPBACK) != 0) continue;
            const auto* inet = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
            Append(FromNetworkBytes(reinterpret_cast<const uint8_t*>(&inet->sin_addr.s_addr)), &found);
        }
    } catch (const std::bad_alloc&) {
        complete = false;
    }
    ::freeifaddrs(list);
    if (!complete) return false;
    addresses->swap(found);
    return true;
}

}  // namespace optivane::platform
