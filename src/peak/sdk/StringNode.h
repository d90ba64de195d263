// A text node; enumerations, though texts to Aravis too, are not.
#pragma once

#include <string>

#include "peak/sdk/Node.h"

namespace optivane::peak {

class StringNode : public Node {
public:
    using Node::Node;
    static bool IsKindOf(ArvGcNode* node);

    std::string Value() const;
};

}  // namespace optivane::peak
