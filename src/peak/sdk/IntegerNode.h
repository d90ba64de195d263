// An integer node; enumerations, though integers to GenICam too, are not.
#pragma once

#include <cstdint>

#include "peak/sdk/Node.h"

namespace optivane::peak {

class IntegerNode : public Node {
public:
    using Node::Node;
    static constexpr NodeKind kKind = NodeKind::Integer;

    int64_t Value() const;
    void SetValue(int64_t value);
};

}  // namespace optivane::peak
