#include "peak/sdk/Device.h"

#include <utility>

#include "peak/sdk/Library.h"

namespace optivane::peak {

Device::Device(std::shared_ptr<DeviceHandle> device, uint64_t generation)
    : m_device(std::move(device)), m_generation(generation), m_nodeMap(std::make_shared<NodeMap>(m_device, generation)) {}

Device::~Device() { m_device->Release(); }

std::vector<std::shared_ptr<NodeMap>> Device::NodeMaps() const {
    Library::CheckGeneration(m_generation);
    return {m_nodeMap};
}

}  // namespace optivane::peak
