#include "platform/LocalAddresses.h"

#include <winsock2.h>
#include <iphlpapi.h>
#include <ws2tcpip.h>

#include <new>

namespace optivane::platform {

bool LocalAddresses::Read(std::vector<uint32_t>* addresses) {
    constexpr ULONG kFlags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
    try {
        // The list can grow between the size query and the read: retry a few times.
        std::vector<unsigned char> storage(16 * 1024);
        ULONG size = static_cast<ULONG>(storage.size());
        ULONG status = ERROR_BUFFER_OVERFLOW;
        for (int attempt = 0; attempt < 3 && status == ERROR_BUFFER_OVERFLOW; ++attempt) {
            status = GetAdaptersAddresses(AF_INET, kFlags, nullptr,
                                          reinterpret_cast<IP_ADAPTER_ADDRESSES*>(storage.data()), &size);
            if (status == ERROR_BUFFER_OVERFLOW) storage.resize(size);
        }
        std::vector<uint32_t> found;
        found.reserve(kMaxCount);
        if (status == NO_ERROR) {
            for (const IP_ADAPTER_ADDRESSES* adapter = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(storage.data());
                 adapter != nullptr; adapter = adapter->Next) {
                if (adapter->OperStatus != IfOperStatusUp || adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK) continue;
                for (const IP_ADAPTER_UNICAST_ADDRESS* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
                     unicast = unicast->Next) {
                    const sockaddr* address = unicast->Address.lpSockaddr;
                    if (address == nullptr || address->sa_family != AF_INET) continue;
                    const auto* inet = reinterpret_cast<const sockaddr_in*>(address);
                    Append(FromNetworkBytes(reinterpret_cast<const uint8_t*>(&inet->sin_addr.s_addr)), &found);
                }
            }
        } else if (status != ERROR_NO_DATA) {
            return false;
        }
        addresses->swap(found);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace optivane::platform
