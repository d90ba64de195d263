// The nodes of one opened device, found by name and cast to their kind.
// Any thread may use it; every lookup runs under the device lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "peak/sdk/Node.h"

namespace optivane::peak {

class NodeMap {
public:
    NodeMap(std::shared_ptr<DeviceHandle> device, uint64_t generation);

    bool HasNode(const std::string& name) const;
    // NotFoundException for an unknown name, InvalidCastException when the
    // node is of another kind than T.
    template <typename T>
    std::shared_ptr<T> FindNode(const std::string& name) const {
        CheckKind(name, T::kKind);
        return std::make_shared<T>(m_device, name, m_generation);
    }

private:
    // The exceptions of FindNode, or none when the node is of that kind.
    void CheckKind(const std::string& name, NodeKind kind) const;

    const std::shared_ptr<DeviceHandle> m_device;
    const uint64_t m_generation;
};

}  // namespace optivane::peak
