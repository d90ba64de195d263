// The IDS devices the backend can see (with Aravis: GigE Vision devices whose
// vendor text is "IDS" or starts with "IDS "), sorted by identifier. One per
// process, usable while the library is initialised.
//
// Threads: any thread calls everything. The manager lock guards the list and
// its generation and the opened handles, and is never held across discovery nor while taking the
// library lock (the library's last Close takes it inside its own).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "peak/sdk/DeviceDescriptor.h"

namespace optivane::peak {

class DeviceManager {
public:
    // NotInitializedException outside Initialize ... Close.
    static DeviceManager& Instance();

    // Runs a discovery and replaces the list. A descriptor whose device is
    // still there is kept, so what callers hold stays the listed object.
    void Update();
    // The list of the last Update in this library generation.
    std::vector<std::shared_ptr<DeviceDescriptor>> Devices() const;

private:
    friend class Library;
    friend class DeviceDescriptor;
    DeviceManager() = default;
    static DeviceManager& Object();
    // The library's last Close: drops every descriptor and every opened
    // device's backend handle.
    static void ReleaseAll();
    // An opened device, for ReleaseAll.
    static void Track(const std::shared_ptr<DeviceHandle>& handle);

    mutable std::mutex m_lock;
    std::vector<std::shared_ptr<DeviceDescriptor>> m_devices;  // under m_lock
    uint64_t m_generation = 0;                                 // under m_lock; of m_devices
    std::vector<std::weak_ptr<DeviceHandle>> m_opened;         // under m_lock
};

}  // namespace optivane::peak
