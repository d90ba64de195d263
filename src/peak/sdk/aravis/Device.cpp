#include "peak/sdk/Device.h"

#include <utility>

#include "peak/sdk/Exception.h"
#include "peak/sdk/Library.h"
#include "peak/sdk/aravis/DeviceHandle.h"

namespace optivane::peak {

Device::Device(std::shared_ptr<DeviceHandle> device, uint64_t generation)
    : m_device(std::move(device)), m_generation(generation), m_nodeMap(std::make_shared<NodeMap>(m_device, generation)) {}

Device::~Device() { m_device->Release(); }

std::vector<std::shared_ptr<NodeMap>> Device::NodeMaps() const {
    Library::CheckGeneration(m_generation);
    return {m_nodeMap};
}

std::vector<std::string> Device::DataStreams() const {
    Library::CheckGeneration(m_generation);
    return {"Stream0"};
}

std::shared_ptr<DataStream> Device::OpenDataStream() {
    Library::CheckGeneration(m_generation);
    std::lock_guard<std::mutex> guard(m_openLock);
    if (!m_dataStream.expired()) throw BadAccessException("data stream already open");
    auto opened = std::make_shared<DataStream>(m_device->CreateStream(), m_generation);
    m_dataStream = opened;
    return opened;
}

}  // namespace optivane::peak
