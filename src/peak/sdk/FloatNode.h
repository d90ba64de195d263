// A floating-point node.
#pragma once

#include "peak/sdk/Node.h"

namespace optivane::peak {

class FloatNode : public Node {
public:
    using Node::Node;
    static constexpr NodeKind kKind = NodeKind::Float;

    double Minimum() const;
    double Maximum() const;
    double Value() const;
    void SetValue(double value);
};

}  // namespace optivane::peak
