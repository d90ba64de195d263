// A text node; enumerations, though texts to GenICam too, are not.
#pragma once

#include <string>

#include "peak/sdk/Node.h"

namespace optivane::peak {

class StringNode : public Node {
public:
    using Node::Node;
    static constexpr NodeKind kKind = NodeKind::String;

    std::string Value() const;
};

}  // namespace optivane::peak
