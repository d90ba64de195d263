// The module's own sources of a search: the IDS peak listing, Aravis's
// discovery under the Aravis library lock, a phone search and a
// virtual-camera search made for each call (the phone search creates its
// cameras through the given class factory), and the wall clock.
//
// Threads: the calling search thread (one search at a time); the phone and
// virtual-camera searches run workers of their own and return when all have
// ended. Between the IDS peak and the Aravis step of one search it holds
// where Aravis's discovery count stood.
#pragma once

#include "discovery/DiscoverySources.h"
#include "optivane/com.h"

namespace optivane {

class ModuleSearchSources : public DiscoverySources {
public:
    explicit ModuleSearchSources(DllCreateInstanceFn factory);

    void FindPeakDevices(CIdsPeakManager& enumerator, std::vector<CameraDeviceInfo>& list) override;
    void FindAravisDevices(std::vector<AravisDeviceList::Entry>& list) override;
    void FindPhones(const std::string& address, std::vector<CameraDeviceInfo>& list) override;
    void FindVirtualCameras(std::vector<CameraDeviceInfo>& list) override;
    int64_t NowMicroseconds() override;

private:
    const DllCreateInstanceFn m_factory;
    // Aravis's discovery count before this search's IDS peak step; the
    // Aravis step then reuses that step's discovery. None outside a search.
    bool m_peakStepRan = false;
    uint64_t m_discoveriesBeforePeak = 0;
};

}  // namespace optivane
