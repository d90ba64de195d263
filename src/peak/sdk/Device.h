// One device opened with control through its descriptor. Its node map holds
// every camera node; its data stream carries the frames, one open at a time.
// Dropping the last reference to it closes the backend's device with its stream
// and gives up control; so does the library's last Close. Calls on it, its
// nodes or its stream raise NotInitializedException after either.
//
// Threads: any thread. The open lock guards the opened data stream.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "peak/sdk/DataStream.h"
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
    // The data streams by name.
    std::vector<std::string> DataStreams() const;
    // Opens the first data stream. BadAccessException while one is open.
    std::shared_ptr<DataStream> OpenDataStream();

private:
    const std::shared_ptr<DeviceHandle> m_device;
    const uint64_t m_generation;
    const std::shared_ptr<NodeMap> m_nodeMap;
    std::mutex m_openLock;
    std::weak_ptr<DataStream> m_dataStream;  // under m_openLock
};

}  // namespace optivane::peak
