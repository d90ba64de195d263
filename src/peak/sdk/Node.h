// What every node kind shares: its device, its name and the checks that run
// before each access (library generation, node still there and usable).
// Nodes are values over the shared device handle; any thread may use them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "peak/sdk/Library.h"

namespace optivane::peak {

// The backend's handle of one opened device, shared by the device, its node
// map and its nodes; every call on the device runs under its lock.
class DeviceHandle;

// The node kinds FindNode tells apart; integers and strings exclude
// enumerations.
enum class NodeKind { Integer, String, Float, Enumeration, Command };

class Node {
public:
    Node(std::shared_ptr<DeviceHandle> device, std::string name, uint64_t generation);
    const std::string& Name() const { return m_name; }

protected:
    // Run call under the device lock with the backend's node (UseNode: after
    // checking it is there, implemented and available, else
    // NotFoundException or BadAccessException) or device (UseDevice: after
    // the generation check alone, for what must look at a node that is not
    // usable). The backend defines them.
    template <typename Call>
    auto UseNode(Call call) const;
    template <typename Call>
    auto UseDevice(Call call) const;
    std::shared_ptr<DeviceHandle> DeviceOf() const { return m_device; }
    uint64_t GenerationOf() const { return m_generation; }

private:
    const std::shared_ptr<DeviceHandle> m_device;
    const std::string m_name;
    const uint64_t m_generation;
};

}  // namespace optivane::peak
