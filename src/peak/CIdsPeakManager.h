// Lists the IDS peak devices the library sees, one device record each, in
// the device manager's order. The library must be initialised (the peak SDK
// manager does it); otherwise its exception reaches the caller.
//
// Threads: the search thread alone; stateless between calls.
#pragma once

#include <cstdint>
#include <vector>

#include "optivane/optivane.h"
#include "runtime/CDebugLog.h"

namespace optivane {

class CIdsPeakManager {
public:
    CIdsPeakManager() = default;
    virtual ~CIdsPeakManager() = default;
    CIdsPeakManager(const CIdsPeakManager&) = delete;
    CIdsPeakManager& operator=(const CIdsPeakManager&) = delete;

    // Empties the list and fills it. 1 when there is no device; 0 otherwise,
    // also when a device that cannot be read or a closed library ends the
    // walk (the records before it stay, and the failure is logged).
    int32_t EnumerateDevices(std::vector<CameraDeviceInfo>& list);

private:
    CDebugLog m_log;
};

}  // namespace optivane
