// What every node kind shares: its device, its name and the checks that run
// before each access (library generation, node still there and usable).
// Nodes are values over the shared device handle; any thread may use them.
#pragma once

#include <arv.h>

#include <cstdint>
#include <memory>
#include <string>

#include "peak/sdk/DeviceHandle.h"
#include "peak/sdk/Library.h"

namespace optivane::peak {

class Node {
public:
    Node(std::shared_ptr<DeviceHandle> device, std::string name, uint64_t generation);
    const std::string& Name() const { return m_name; }

protected:
    // Runs call(ArvGcNode*) under the device lock. NotFoundException when the
    // node is gone or not implemented, BadAccessException when unavailable.
    template <typename Call>
    auto UseNode(Call call) const {
        Library::CheckGeneration(m_generation);
        return m_device->Use([&](ArvDevice* device) { return call(Usable(device)); });
    }
    // Runs call(ArvDevice*) under the device lock, after the generation check
    // alone: for what must look at a node that is not usable.
    template <typename Call>
    auto UseDevice(Call call) const {
        Library::CheckGeneration(m_generation);
        return m_device->Use(call);
    }
    std::shared_ptr<DeviceHandle> DeviceOf() const { return m_device; }
    uint64_t GenerationOf() const { return m_generation; }
    // Raises the layer's exception for an Aravis error, if one is set.
    static void Check(const GErrorPtr& error);

private:
    ArvGcNode* Usable(ArvDevice* device) const;

    const std::shared_ptr<DeviceHandle> m_device;
    const std::string m_name;
    const uint64_t m_generation;
};

}  // namespace optivane::peak
