#include "peak/sdk/Node.h"

#include <utility>

namespace optivane::peak {

Node::Node(std::shared_ptr<DeviceHandle> device, std::string name, uint64_t generation)
    : m_device(std::move(device)), m_name(std::move(name)), m_generation(generation) {}

void Node::Check(const GErrorPtr& error) {
    if (error) throw Exception(error.Message());
}

ArvGcNode* Node::Usable(ArvDevice* device) const {
    ArvGcNode* node = arv_device_get_feature(device, m_name.c_str());
    if (node == nullptr) throw NotFoundException("no node " + m_name);
    if (ARV_IS_GC_FEATURE_NODE(node)) {
        GErrorPtr error;
        const bool implemented = arv_gc_feature_node_is_implemented(ARV_GC_FEATURE_NODE(node), error.Out());
        Check(error);
        if (!implemented) throw NotFoundException("node " + m_name + " not implemented");
        const bool available = arv_gc_feature_node_is_available(ARV_GC_FEATURE_NODE(node), error.Out());
        Check(error);
        if (!available) throw BadAccessException("node " + m_name + " not available");
    }
    return node;
}

}  // namespace optivane::peak
