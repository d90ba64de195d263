// A command node.
#pragma once

#include <cstdint>

#include "peak/sdk/Node.h"

namespace optivane::peak {

class CommandNode : public Node {
public:
    using Node::Node;
    static constexpr NodeKind kKind = NodeKind::Command;

    void Execute();
    // Returns once the device has acknowledged the command.
    void WaitUntilDone(uint64_t timeoutMs) const;
};

}  // namespace optivane::peak
