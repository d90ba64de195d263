#include "peak/sdk/StringNode.h"

#include "peak/sdk/aravis/NodeAccess.h"

namespace optivane::peak {

std::string StringNode::Value() const {
    return UseNode([](ArvGcNode* node) {
        GErrorPtr error;
        const char* value = arv_gc_string_get_value(ARV_GC_STRING(node), error.Out());
        Check(error);
        return std::string(value != nullptr ? value : "");
    });
}

}  // namespace optivane::peak
