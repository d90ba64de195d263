#include "peak/sdk/IntegerNode.h"

#include "peak/sdk/aravis/NodeAccess.h"

namespace optivane::peak {

int64_t IntegerNode::Value() const {
    return UseNode([](ArvGcNode* node) {
        GErrorPtr error;
        const int64_t value = arv_gc_integer_get_value(ARV_GC_INTEGER(node), error.Out());
        Check(error);
        return value;
    });
}

void IntegerNode::SetValue(int64_t value) {
    UseNode([value](ArvGcNode* node) {
        GErrorPtr error;
        arv_gc_integer_set_value(ARV_GC_INTEGER(node), value, error.Out());
        Check(error);
    });
}

}  // namespace optivane::peak
