// The Aravis camera under test, created through the factory entry the module
// uses, and a record that opens a device by its id.
#pragma once

#include <cstdio>
#include <string>

#include "aravis/CAravisCamera.h"
#include "frame/ComPtr.h"

namespace optivane::test {

// The camera's pauses and time limits cut short, so that retries and
// settling take milliseconds instead of seconds.
inline AravisTimings QuickTimings() {
    AravisTimings timings;
    timings.retryPauseMs = 20;
    timings.noDevicePauseMs = 50;
    timings.userSetRetryWindowTicks = 3000000;  // 300 ms
    timings.userSetRetryPauseMs = 20;
    timings.restartSettleMs = 50;
    return timings;
}

inline ComPtr<IAravisCamera> NewAravisCamera(const AravisTimings& timings = QuickTimings()) {
    HRESULT status = S_OK;
    CUnknown* object = CAravisCamera::CreateInstance(nullptr, &status, timings);
    ComPtr<IAravisCamera> camera;
    if (object != nullptr) object->NonDelegatingQueryInterface(IID_IAravisCamera, camera.ReceiveVoid());
    return camera;
}

inline CameraDeviceInfo DeviceRecord(const std::string& id) {
    CameraDeviceInfo record{};
    std::snprintf(record.DeviceId, sizeof record.DeviceId, "%s", id.c_str());
    return record;
}

// Null when the camera cannot be created or does not open.
inline ComPtr<IAravisCamera> OpenAravisCamera(const std::string& id) {
    ComPtr<IAravisCamera> camera = NewAravisCamera();
    const CameraDeviceInfo record = DeviceRecord(id);
    if (camera && camera->Open(&record) != S_OK) camera.Reset();
    return camera;
}

}  // namespace optivane::test
