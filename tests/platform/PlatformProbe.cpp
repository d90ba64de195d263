// Exports the platform's idea of "this binary" as seen from a library.
#include "platform/SharedLibrary.h"

extern "C" __attribute__((visibility("default"))) const char* ProbePathOfThisBinary() {
    static const std::string path = optivane::platform::SharedLibrary::PathOfThisBinary();
    return path.c_str();
}
