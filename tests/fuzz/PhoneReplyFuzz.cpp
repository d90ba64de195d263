// libFuzzer target of a phone's capability reply as one receive brings it:
// the framing, then the document's 19 fields, then both ranges. The input is
// cut to the 1024 bytes a receive can bring.
#include <cstddef>
#include <cstdint>
#include <string>

#include "smartphone/CapabilityReply.h"
#include "smartphone/PhoneCapabilities.h"
#include "smartphone/PhoneRange.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace optivane::phone;
    if (size > CapabilityReply::kReceiveSize) size = CapabilityReply::kReceiveSize;
    CapabilityReply reply;
    if (reply.Accept(reinterpret_cast<const char*>(data), size) != S_OK) return 0;
    PhoneCapabilities capabilities;
    std::string error;
    if (capabilities.Parse(reply.Document(), reply.DocumentSize(), error) != S_OK) return 0;
    ExposureRange exposure{};
    SensitivityRange sensitivity{};
    ParseExposureRange(capabilities.Get(PhoneCapabilities::ExposureTimeRange), exposure, error);
    ParseSensitivityRange(capabilities.Get(PhoneCapabilities::SensitivityRange), sensitivity, error);
    return 0;
}
