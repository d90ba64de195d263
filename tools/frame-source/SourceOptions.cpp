#include "SourceOptions.h"

#include <cerrno>
#include <cstdlib>

#include "host/mirvale/protocol/MirvaleProtocol.h"
#include "platform/Ipv4Text.h"

namespace optivane::tool {

namespace {

// A whole decimal number in [low, high].
bool Number(const std::string& text, uint64_t low, uint64_t high, uint64_t* value) {
    if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    *value = std::strtoull(text.c_str(), nullptr, 10);
    return *value >= low && *value <= high;
}

}  // namespace

bool SourceOptions::ParseAddress(const std::string& text, SourceOptions* options, std::string* error) {
    uint32_t address = 0;
    if (!platform::Ipv4Text::Parse(text.c_str(), &address)) {
        *error = "\"" + text + "\" is no dotted IPv4 address (names are never resolved)";
        return false;
    }
    // A frame source serves this computer alone.
    if ((address >> 24) != 127) {
        *error = "" + text + " is outside 127.0.0.0/8; the source serves loopback only";
        return false;
    }
    options->address = address;
    options->addressText = text;
    return true;
}

bool SourceOptions::ParseSize(const std::string& text, SourceOptions* options, std::string* error) {
    const size_t x = text.find('x');
    uint64_t width = 0, height = 0;
    if (x == std::string::npos || !Number(text.substr(0, x), 1, mirvale::kMaxWidth, &width) ||
        !Number(text.substr(x + 1), 1, mirvale::kMaxHeight, &height)) {
        *error = "\"" + text + "\" is not WxH with W from 1 to 4000 and H from 1 to 3000";
        return false;
    }
    options->width = static_cast<uint32_t>(width);
    options->height = static_cast<uint32_t>(height);
    return true;
}

bool SourceOptions::ParseFault(const std::string& text, SourceOptions* options, std::string* error) {
    const size_t colon = text.find(':');
    const std::string name = text.substr(0, colon);
    const struct { const char* name; Fault fault; } kinds[] = {
        {"truncate", Fault::Truncate}, {"garbage", Fault::Garbage}, {"wrong-size", Fault::WrongSize},
        {"bad-version", Fault::BadVersion}, {"stall", Fault::Stall}};
    Fault fault = Fault::None;
    for (const auto& kind : kinds) {
        if (name == kind.name) fault = kind.fault;
    }
    uint64_t after = 0;
    if (fault == Fault::None || (colon != std::string::npos && !Number(text.substr(colon + 1), 0, 1000000000, &after))) {
        *error = "\"" + text + "\" is not truncate, garbage, wrong-size, bad-version or stall, "
                 "optionally followed by :AFTER (good frames first)";
        return false;
    }
    options->fault = fault;
    options->faultAfter = after;
    return true;
}

bool SourceOptions::ParsePattern(const std::string& text, SourceOptions* options, std::string* error) {
    if (text == "counter") {
        options->input = Input::Counter;
    } else if (text == "moving") {
        options->input = Input::Moving;
    } else {
        *error = "\"" + text + "\" is neither counter nor moving";
        return false;
    }
    return true;
}

}  // namespace optivane::tool
