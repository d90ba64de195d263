// Exports the platform's idea of "this binary" as seen from a library.
#include "optivane/com.h"
#include "platform/SharedLibrary.h"

OPTIVANE_EXPORT const char* ProbePathOfThisBinary() {
    static const std::string path = optivane::platform::SharedLibrary::PathOfThisBinary();
    return path.c_str();
}
