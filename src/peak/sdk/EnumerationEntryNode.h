// One entry of an enumeration, found through the enumeration by its symbolic
// name (entry names repeat across enumerations, so not by name alone).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "peak/sdk/Node.h"

namespace optivane::peak {

class EnumerationEntryNode : public Node {
public:
    // The GenICam access states, in this order.
    enum AccessStatus : int { NotImplemented = 0, NotAvailable = 1, ReadOnly = 2, WriteOnly = 3, ReadWrite = 4 };

    EnumerationEntryNode(std::shared_ptr<DeviceHandle> device, std::string enumeration, std::string symbolicName,
                         uint64_t generation);

    const std::string& SymbolicName() const { return m_symbolicName; }
    // Never raises for the entry's own state: that is what it reports.
    AccessStatus Access() const;

private:
    const std::string m_symbolicName;
};

}  // namespace optivane::peak
