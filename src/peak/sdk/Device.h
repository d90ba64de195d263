// One device opened with control through its descriptor. Its node map holds
// every camera node. Dropping the last reference to it closes the Aravis
// device and gives up control; so does the library's last Close. Calls on it
// or its nodes raise NotInitializedException after either.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "peak/sdk/DeviceHandle.h"
#include "peak/sdk/NodeMap.h"

namespace optivane::peak {

class Device {
public:
    Device(std::shared_ptr<DeviceHandle> device, uint64_t generation);
    // Closes the device even while its nodes live on; they raise then.
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    std::vector<std::shared_ptr<NodeMap>> NodeMaps() const;

private:
    const std::shared_ptr<DeviceHandle> m_device;
    const uint64_t m_generation;
    const std::shared_ptr<NodeMap> m_nodeMap;
};

}  // namespace optivane::peak
