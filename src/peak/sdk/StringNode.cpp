#include "peak/sdk/StringNode.h"

namespace optivane::peak {

bool StringNode::IsKindOf(ArvGcNode* node) { return ARV_IS_GC_STRING(node) && !ARV_IS_GC_ENUMERATION(node); }

std::string StringNode::Value() const {
    return UseNode([](ArvGcNode* node) {
        GErrorPtr error;
        const char* value = arv_gc_string_get_value(ARV_GC_STRING(node), error.Out());
        Check(error);
        return std::string(value != nullptr ? value : "");
    });
}

}  // namespace optivane::peak
