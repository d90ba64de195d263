#include "peak/sdk/CommandNode.h"

#include "peak/sdk/aravis/NodeAccess.h"

namespace optivane::peak {

void CommandNode::Execute() {
    UseNode([](ArvGcNode* node) {
        GErrorPtr error;
        arv_gc_command_execute(ARV_GC_COMMAND(node), error.Out());
        Check(error);
    });
}

void CommandNode::WaitUntilDone(uint64_t /*timeoutMs*/) const {
    UseNode([](ArvGcNode*) {});
}

}  // namespace optivane::peak
