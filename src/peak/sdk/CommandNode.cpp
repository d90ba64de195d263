#include "peak/sdk/CommandNode.h"

namespace optivane::peak {

bool CommandNode::IsKindOf(ArvGcNode* node) { return ARV_IS_GC_COMMAND(node); }

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
