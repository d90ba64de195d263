#include "peak/sdk/FloatNode.h"

#include "peak/sdk/aravis/NodeAccess.h"

namespace optivane::peak {

namespace {

template <typename Get>
double Read(ArvGcNode* node, Get get) {
    GErrorPtr error;
    const double value = get(ARV_GC_FLOAT(node), error.Out());
    if (error) throw Exception(error.Message());
    return value;
}

}  // namespace

double FloatNode::Minimum() const {
    return UseNode([](ArvGcNode* node) { return Read(node, arv_gc_float_get_min); });
}

double FloatNode::Maximum() const {
    return UseNode([](ArvGcNode* node) { return Read(node, arv_gc_float_get_max); });
}

double FloatNode::Value() const {
    return UseNode([](ArvGcNode* node) { return Read(node, arv_gc_float_get_value); });
}

void FloatNode::SetValue(double value) {
    UseNode([value](ArvGcNode* node) {
        GErrorPtr error;
        arv_gc_float_set_value(ARV_GC_FLOAT(node), value, error.Out());
        Check(error);
    });
}

}  // namespace optivane::peak
