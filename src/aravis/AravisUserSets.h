// The user sets that decide a camera's long-exposure mode, and the rule that
// a camera in the long-exposure set streams BayerRG8.
//
// Every function runs on the calling thread and uses the handle it is given.
#pragma once

#include <arv.h>

#include <cstdint>

#include "optivane/com.h"

namespace optivane::aravis {

constexpr int64_t kDefaultUserSet = 0;
constexpr int64_t kLongExposureUserSet = 9920;

// True when the device has the long-exposure user set.
bool ImplementsLongExposure(ArvCamera* device);
// The selected user set; an unreadable selector counts as the default set.
int64_t ReadUserSet(ArvCamera* device);
// Switches a device in the long-exposure set to BayerRG8 (errors ignored),
// then reads its pixel format: E_FAIL when it cannot be read or has no
// conversion to blue-green-red.
HRESULT ReadConvertiblePixelFormat(ArvCamera* device, uint32_t* pixelFormat);

}  // namespace optivane::aravis
