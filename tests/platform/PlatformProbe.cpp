// Exports the platform's idea of "this binary" as seen from a library.
#include <cstring>
#include <string>

#include "platform/SharedLibrary.h"

extern "C" __attribute__((visibility("default"))) size_t ProbePathOfThisBinary(char* buffer, size_t size) {
    const std::string path = optivane::platform::SharedLibrary::PathOfThisBinary();
    if (buffer == nullptr || size <= path.size()) return 0;
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return path.size();
}
