// One device the device manager found: its identifier
// "IDS/<model>/<serial>-GEV" and the backend's id it is opened by. Belongs to
// the library generation that listed it and raises NotInitializedException
// once that has ended.
//
// Threads: any thread. The open lock guards the opened device and is held
// across opening, so two threads cannot both open; it is taken before the
// device manager's lock, never after.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "peak/sdk/Device.h"

namespace optivane::peak {

class DeviceDescriptor {
public:
    static constexpr int kAccessControl = 3;

    DeviceDescriptor(std::string identifier, std::string aravisId, uint64_t generation);

    std::string Identifier() const;
    // Opens the device with control (the only access offered).
    // BadAccessException when this process holds it already, when another
    // controller holds it, or when it does not answer.
    std::shared_ptr<Device> OpenDevice(int accessType);
    // The device this process holds open; BadAccessException when none.
    std::shared_ptr<Device> OpenedDevice() const;

private:
    const std::string m_identifier;
    const std::string m_aravisId;
    const uint64_t m_generation;
    mutable std::mutex m_openLock;
    std::weak_ptr<Device> m_opened;  // under m_openLock
};

}  // namespace optivane::peak
