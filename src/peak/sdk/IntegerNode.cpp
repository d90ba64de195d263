#include "peak/sdk/IntegerNode.h"

namespace optivane::peak {

bool IntegerNode::IsKindOf(ArvGcNode* node) { return ARV_IS_GC_INTEGER(node) && !ARV_IS_GC_ENUMERATION(node); }

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
