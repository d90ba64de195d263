#include "peak/sdk/EnumerationNode.h"

#include <algorithm>

#include "peak/sdk/aravis/NodeAccess.h"

namespace optivane::peak {

std::vector<std::shared_ptr<EnumerationEntryNode>> EnumerationNode::Entries() const {
    const std::vector<std::string> names = UseNode([](ArvGcNode* node) {
        std::vector<std::string> found;
        for (const GSList* item = arv_gc_enumeration_get_entries(ARV_GC_ENUMERATION(node)); item != nullptr;
             item = item->next)
            found.emplace_back(arv_gc_feature_node_get_name(ARV_GC_FEATURE_NODE(item->data)));
        // Aravis gathers the entries last first.
        std::reverse(found.begin(), found.end());
        return found;
    });
    std::vector<std::shared_ptr<EnumerationEntryNode>> entries;
    for (const std::string& name : names)
        entries.push_back(std::make_shared<EnumerationEntryNode>(DeviceOf(), Name(), name, GenerationOf()));
    return entries;
}

std::shared_ptr<EnumerationEntryNode> EnumerationNode::CurrentEntry() const {
    const std::string current = UseNode([](ArvGcNode* node) {
        GErrorPtr error;
        const char* value = arv_gc_enumeration_get_string_value(ARV_GC_ENUMERATION(node), error.Out());
        Check(error);
        if (value == nullptr) throw Exception("enumeration without a current entry");
        return std::string(value);
    });
    return std::make_shared<EnumerationEntryNode>(DeviceOf(), Name(), current, GenerationOf());
}

void EnumerationNode::SetCurrentEntry(const std::string& symbolicName) {
    UseNode([&symbolicName](ArvGcNode* node) {
        GErrorPtr error;
        arv_gc_enumeration_set_string_value(ARV_GC_ENUMERATION(node), symbolicName.c_str(), error.Out());
        Check(error);
    });
}

}  // namespace optivane::peak
