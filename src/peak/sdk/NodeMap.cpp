#include "peak/sdk/NodeMap.h"

#include <utility>

namespace optivane::peak {

NodeMap::NodeMap(std::shared_ptr<DeviceHandle> device, uint64_t generation)
    : m_device(std::move(device)), m_generation(generation) {}

bool NodeMap::HasNode(const std::string& name) const {
    Library::CheckGeneration(m_generation);
    return m_device->Use([&name](ArvDevice* device) { return arv_device_get_feature(device, name.c_str()) != nullptr; });
}

}  // namespace optivane::peak
