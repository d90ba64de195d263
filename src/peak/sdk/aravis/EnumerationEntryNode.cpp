#include "peak/sdk/EnumerationEntryNode.h"

#include <utility>

#include "peak/sdk/aravis/NodeAccess.h"

namespace optivane::peak {

EnumerationEntryNode::EnumerationEntryNode(std::shared_ptr<DeviceHandle> device, std::string enumeration,
                                           std::string symbolicName, uint64_t generation)
    : Node(std::move(device), std::move(enumeration), generation), m_symbolicName(std::move(symbolicName)) {}

EnumerationEntryNode::AccessStatus EnumerationEntryNode::Access() const {
    return UseDevice([this](ArvDevice* device) {
        ArvGcNode* enumeration = arv_device_get_feature(device, Name().c_str());
        if (enumeration == nullptr || !ARV_IS_GC_ENUMERATION(enumeration))
            throw NotFoundException("no enumeration " + Name());
        for (const GSList* item = arv_gc_enumeration_get_entries(ARV_GC_ENUMERATION(enumeration)); item != nullptr;
             item = item->next) {
            ArvGcFeatureNode* entry = ARV_GC_FEATURE_NODE(item->data);
            if (m_symbolicName != arv_gc_feature_node_get_name(entry)) continue;
            GErrorPtr error;
            const bool implemented = arv_gc_feature_node_is_implemented(entry, error.Out());
            Check(error);
            if (!implemented) return NotImplemented;
            const bool available = arv_gc_feature_node_is_available(entry, error.Out());
            Check(error);
            if (!available) return NotAvailable;
            switch (arv_gc_feature_node_get_actual_access_mode(entry)) {
                case ARV_GC_ACCESS_MODE_RO: return ReadOnly;
                case ARV_GC_ACCESS_MODE_WO: return WriteOnly;
                default: return ReadWrite;
            }
        }
        throw NotFoundException("no entry " + m_symbolicName + " in " + Name());
    });
}

}  // namespace optivane::peak
