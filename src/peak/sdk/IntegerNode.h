// An integer node; enumerations, though integers to Aravis too, are not.
#pragma once

#include <cstdint>

#include "peak/sdk/Node.h"

namespace optivane::peak {

class IntegerNode : public Node {
public:
    using Node::Node;
    static bool IsKindOf(ArvGcNode* node);

    int64_t Value() const;
    void SetValue(int64_t value);
};

}  // namespace optivane::peak
