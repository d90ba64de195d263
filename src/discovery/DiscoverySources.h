// What a search asks: the four sources of cameras and the clock. The module's
// own (ModuleSearchSources) reach the IDS peak layer, Aravis, the phone and
// virtual-camera probes and the wall clock; tests give fakes.
//
// Threads: the manager calls each from one search thread at a time; a source
// may block for as long as its probes take. A source that fails leaves its
// list short.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "aravis/AravisDeviceList.h"
#include "optivane/optivane.h"

namespace optivane {

class CIdsPeakManager;

class DiscoverySources {
public:
    virtual ~DiscoverySources() = default;

    // Appends the IDS peak devices the enumerator lists.
    virtual void FindPeakDevices(CIdsPeakManager& enumerator, std::vector<CameraDeviceInfo>& list) = 0;
    // Appends what Aravis's discovery found, in its order.
    virtual void FindAravisDevices(std::vector<AravisDeviceList::Entry>& list) = 0;
    // Appends the phones in the network of address (every local network when
    // empty).
    virtual void FindPhones(const std::string& address, std::vector<CameraDeviceInfo>& list) = 0;
    // Appends the virtual-camera sources that answer.
    virtual void FindVirtualCameras(std::vector<CameraDeviceInfo>& list) = 0;
    // Wall-clock UTC microseconds; may go back.
    virtual int64_t NowMicroseconds() = 0;
};

}  // namespace optivane
