// What optivane-frame-source serves, parsed and checked from its command
// line. A testable unit: parsing touches no file and no socket.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace optivane::tool {

struct SourceOptions {
    enum class Input { Counter, Moving, Images, Video };
    enum class Fault { None, Truncate, Garbage, WrongSize, BadVersion, Stall };

    uint32_t address = 0x7F000001u;  // host byte order, inside 127.0.0.0/8
    std::string addressText = "127.0.0.1";
    uint16_t port = 45000;
    Input input = Input::Counter;
    std::vector<std::string> files;  // images, or the one video
    uint32_t width = 0;   // 0: the input's own size
    uint32_t height = 0;
    double fps = 30;      // 0: as fast as the client reads
    uint64_t frames = 0;  // per connection; 0: no end
    Fault fault = Fault::None;
    uint64_t faultAfter = 0;  // good frames before the fault

    // Each answers false and sets *error for bad text.
    static bool ParseAddress(const std::string& text, SourceOptions* options, std::string* error);
    static bool ParseSize(const std::string& text, SourceOptions* options, std::string* error);
    static bool ParseFault(const std::string& text, SourceOptions* options, std::string* error);
    static bool ParsePattern(const std::string& text, SourceOptions* options, std::string* error);
};

}  // namespace optivane::tool
