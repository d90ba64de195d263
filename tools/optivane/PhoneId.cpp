#include "PhoneId.h"

#include <cstdint>

#include "platform/Ipv4Text.h"

namespace optivane::tool {

namespace {

constexpr char kModulePrefix[] = "SMPHCA00";
constexpr char kShortPrefix[] = "phone:";

bool ParsePort(const std::string& text, std::string* port) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    const long value = std::stol(text);
    if (value < 1 || value > 65535) return false;
    *port = std::to_string(value);
    return true;
}

}  // namespace

bool PhoneId::Recognise(const std::string& text, std::string* id, std::string* error) {
    id->clear();
    std::string rest;
    bool portRequired = false;
    if (text.compare(0, sizeof kModulePrefix - 1, kModulePrefix) == 0) {
        rest = text.substr(sizeof kModulePrefix - 1);
        portRequired = true;
    } else if (text.compare(0, sizeof kShortPrefix - 1, kShortPrefix) == 0) {
        rest = text.substr(sizeof kShortPrefix - 1);
    } else {
        return false;
    }
    const size_t colon = rest.find(':');
    const std::string host = rest.substr(0, colon);
    std::string port = "60000";
    uint32_t address = 0;
    const bool portOk = colon == std::string::npos ? !portRequired : ParsePort(rest.substr(colon + 1), &port);
    if (!platform::Ipv4Text::Parse(host.c_str(), &address) || !portOk) {
        *error = "bad phone id '" + text + "': expected phone:<IPv4>[:<port>] or SMPHCA00<IPv4>:<port>";
        return true;
    }
    *id = kModulePrefix + host + ":" + port;
    return true;
}

}  // namespace optivane::tool
