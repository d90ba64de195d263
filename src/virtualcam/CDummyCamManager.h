// The search for virtual cameras: frame sources listening on 127.0.0.1,
// ports 45000 to 45009, probed all at once, one worker each.
//
// Threads: FindDevices runs on the caller's thread and blocks until every
// probe has finished (at most about one probe time-out, one second unless a
// test asks for another).
#pragma once

#include <cstdint>
#include <vector>

#include "optivane/optivane.h"

namespace optivane {

class CDummyCamManager {
public:
    explicit CDummyCamManager(uint32_t probeTimeoutMs = 1000) : m_probeTimeoutMs(probeTimeoutMs) {}
    virtual ~CDummyCamManager() = default;
    // Appends one record per live port, in port order; returns S_OK.
    HRESULT FindDevices(std::vector<CameraDeviceInfo>* devices);

private:
    uint32_t m_probeTimeoutMs;
};

}  // namespace optivane
