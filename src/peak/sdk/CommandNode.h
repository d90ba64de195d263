// A command node.
#pragma once

#include <cstdint>

#include "peak/sdk/Node.h"

namespace optivane::peak {

class CommandNode : public Node {
public:
    using Node::Node;
    static bool IsKindOf(ArvGcNode* node);

    void Execute();
    // Aravis's execute returns once the device acknowledged the write, so
    // the command is done by then; this checks the node is still there.
    void WaitUntilDone(uint64_t timeoutMs) const;
};

}  // namespace optivane::peak
