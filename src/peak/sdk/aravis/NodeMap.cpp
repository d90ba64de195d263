#include "peak/sdk/NodeMap.h"

#include <arv.h>

#include <utility>

#include "peak/sdk/Exception.h"
#include "peak/sdk/aravis/DeviceHandle.h"

namespace optivane::peak {

namespace {

bool IsOfKind(ArvGcNode* node, NodeKind kind) {
    switch (kind) {
    case NodeKind::Integer:
        return ARV_IS_GC_INTEGER(node) && !ARV_IS_GC_ENUMERATION(node);
    case NodeKind::String:
        return ARV_IS_GC_STRING(node) && !ARV_IS_GC_ENUMERATION(node);
    case NodeKind::Float:
        return ARV_IS_GC_FLOAT(node);
    case NodeKind::Enumeration:
        return ARV_IS_GC_ENUMERATION(node);
    case NodeKind::Command:
        return ARV_IS_GC_COMMAND(node);
    }
    return false;
}

}  // namespace

NodeMap::NodeMap(std::shared_ptr<DeviceHandle> device, uint64_t generation)
    : m_device(std::move(device)), m_generation(generation) {}

bool NodeMap::HasNode(const std::string& name) const {
    Library::CheckGeneration(m_generation);
    return m_device->Use([&name](ArvDevice* device) { return arv_device_get_feature(device, name.c_str()) != nullptr; });
}

void NodeMap::CheckKind(const std::string& name, NodeKind kind) const {
    Library::CheckGeneration(m_generation);
    m_device->Use([&name, kind](ArvDevice* device) {
        ArvGcNode* node = arv_device_get_feature(device, name.c_str());
        if (node == nullptr) throw NotFoundException("no node " + name);
        if (!IsOfKind(node, kind)) throw InvalidCastException("node " + name + " is of another kind");
    });
}

}  // namespace optivane::peak
