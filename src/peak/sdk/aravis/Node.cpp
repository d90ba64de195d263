#include "peak/sdk/Node.h"

#include <utility>

#include "peak/sdk/aravis/NodeAccess.h"

namespace optivane::peak {

Node::Node(std::shared_ptr<DeviceHandle> device, std::string name, uint64_t generation)
    : m_device(std::move(device)), m_name(std::move(name)), m_generation(generation) {}

ArvGcNode* UsableNode(ArvDevice* device, const std::string& name) {
    ArvGcNode* node = arv_device_get_feature(device, name.c_str());
    if (node == nullptr) throw NotFoundException("no node " + name);
    if (ARV_IS_GC_FEATURE_NODE(node)) {
        GErrorPtr error;
        const bool implemented = arv_gc_feature_node_is_implemented(ARV_GC_FEATURE_NODE(node), error.Out());
        Check(error);
        if (!implemented) throw NotFoundException("node " + name + " not implemented");
        const bool available = arv_gc_feature_node_is_available(ARV_GC_FEATURE_NODE(node), error.Out());
        Check(error);
        if (!available) throw BadAccessException("node " + name + " not available");
    }
    return node;
}

}  // namespace optivane::peak
