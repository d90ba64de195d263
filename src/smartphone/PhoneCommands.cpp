#include "smartphone/PhoneCommands.h"

namespace optivane::phone {

namespace {
constexpr char kSetupTail[] = " dur 166666666 zoom 1.0 lens wide\r";
}

std::string SearchCommand() { return std::string(kCommandPrefix) + "search\r"; }

std::string CaptureCommand() { return std::string(kCommandPrefix) + "capture jpg\r"; }

// std::to_string rather than printf: %lld differs between C runtimes.
std::string ExposureCommand(int64_t nanoseconds) {
    return std::string(kCommandPrefix) + "setup exp " + std::to_string(static_cast<long long>(nanoseconds)) + kSetupTail;
}

std::string SensitivityCommand(int32_t iso) {
    return std::string(kCommandPrefix) + "setup iso " + std::to_string(static_cast<int>(iso)) + kSetupTail;
}

}  // namespace optivane::phone
