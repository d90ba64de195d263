// One search of the module's camera manager, waited for on the caller's
// thread, and the manager kept for CreateCamera.
//
// Threads: Run blocks the caller until the manager's search thread has
// called OnDevicesFound, which hands the records over under the lock.
// Ownership: holds the manager's one reference; releasing it (first, as the
// last member) waits for a search still running, so the callback never
// outlives this object.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "ModuleHost.h"
#include "frame/ComPtr.h"
#include "optivane/optivane.h"

namespace optivane::tool {

class DeviceSearch : public IDeviceSearchCallback {
public:
    // Creates and initialises the module's manager. False, with the reason in
    // words, when the module has none or it does not start.
    bool Prepare(const ModuleHost& host, std::string* error);
    // Searches the network of address (every local network when empty) and
    // waits for the records, in the manager's order. Only after Prepare.
    bool Run(const std::string& address, std::vector<CameraDeviceInfo>* records, std::string* error);
    // The prepared manager; null before Prepare succeeded.
    IOptivane* Manager() const { return m_manager.Get(); }

    HRESULT OnDevicesFound(int32_t reserved, void* context, const CameraDeviceInfo* records, int32_t count) override;

private:
    std::mutex m_lock;
    std::condition_variable m_found;
    bool m_done = false;                      // under m_lock
    std::vector<CameraDeviceInfo> m_records;  // under m_lock
    ComPtr<IOptivane> m_manager;
};

}  // namespace optivane::tool
