// An enumeration: its entries, the current one, and selecting one by its
// symbolic name.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "peak/sdk/EnumerationEntryNode.h"
#include "peak/sdk/Node.h"

namespace optivane::peak {

class EnumerationNode : public Node {
public:
    using Node::Node;
    static constexpr NodeKind kKind = NodeKind::Enumeration;

    // Every entry the description lists, usable or not, in its order.
    std::vector<std::shared_ptr<EnumerationEntryNode>> Entries() const;
    std::shared_ptr<EnumerationEntryNode> CurrentEntry() const;
    void SetCurrentEntry(const std::string& symbolicName);
};

}  // namespace optivane::peak
