// The search for virtual cameras: frame sources listening on 127.0.0.1,
// ports 45000 to 45009, probed all at once, one worker each.
//
// Threads: FindDevices runs on the caller's thread and blocks until every
// probe has finished (at most about one second).
#pragma once

#include <vector>

#include "optivane/optivane.h"

namespace optivane {

class CDummyCamManager {
public:
    virtual ~CDummyCamManager() = default;
    // Appends one record per live port, in port order; returns S_OK.
    HRESULT FindDevices(std::vector<CameraDeviceInfo>* devices);
};

}  // namespace optivane
