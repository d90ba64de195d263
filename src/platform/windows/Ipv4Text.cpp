#include "platform/Ipv4Text.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace optivane::platform {

bool Ipv4Text::Parse(const char* text, uint32_t* address) {
    if (text == nullptr || address == nullptr) return false;
    IN_ADDR parsed{};
    if (inet_pton(AF_INET, text, &parsed) != 1) return false;
    *address = ntohl(parsed.s_addr);
    return true;
}

std::string Ipv4Text::Format(uint32_t address) {
    IN_ADDR value{};
    value.s_addr = htonl(address);
    char text[INET_ADDRSTRLEN] = {};
    if (inet_ntop(AF_INET, &value, text, sizeof(text)) == nullptr) return {};
    return text;
}

uint32_t Ipv4Text::NetworkToHost(uint32_t value) { return ntohl(value); }

}  // namespace optivane::platform
