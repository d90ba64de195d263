// Dotted IPv4 text to and from 32-bit addresses in host byte order.
#pragma once

#include <cstdint>
#include <string>

namespace optivane::platform {

class Ipv4Text {
public:
    // Strict dotted-quad text ("192.168.1.20"); false for anything else.
    static bool Parse(const char* text, uint32_t* address);
    static std::string Format(uint32_t address);
    // Network-order value (as sockets and Aravis hold it) to host order.
    static uint32_t NetworkToHost(uint32_t value);
};

}  // namespace optivane::platform
