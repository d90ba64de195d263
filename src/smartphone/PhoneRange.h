// The two ranges of a capability document, written like "[min,max]": the
// first and last characters (an enclosing pair, not examined) are dropped,
// the rest split at commas, each piece trimmed of white space, empty pieces
// skipped. The first two numbers are the minimum and maximum; more are
// ignored, fewer fail.
#pragma once

#include <cstdint>
#include <string>

#include "optivane/com.h"

namespace optivane::phone {

struct ExposureRange {
    uint32_t minimumUs;
    uint32_t maximumUs;
};

struct SensitivityRange {
    int32_t minimum;
    int32_t maximum;
};

// Nanoseconds as unsigned decimals, given back in microseconds (divided by
// 1000). A minus sign fails; a number above 4294967295 counts as 4294967295,
// whatever the width of the platform's unsigned long: a phone whose longest
// exposure is beyond 4.29 s is still usable.
HRESULT ParseExposureRange(const std::string& value, ExposureRange& range, std::string& error);
// ISO as signed 32-bit decimals; one out of range fails.
HRESULT ParseSensitivityRange(const std::string& value, SensitivityRange& range, std::string& error);

}  // namespace optivane::phone
