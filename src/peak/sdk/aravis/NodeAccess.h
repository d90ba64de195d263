// How the Aravis backend reaches a node: under its device's lock, after the
// checks every access runs.
#pragma once

#include <arv.h>

#include <string>

#include "aravis/GObjectPtr.h"
#include "peak/sdk/Exception.h"
#include "peak/sdk/Node.h"
#include "peak/sdk/aravis/DeviceHandle.h"

namespace optivane::peak {

// Raises the layer's exception for an Aravis error, if one is set.
inline void Check(const GErrorPtr& error) {
    if (error) throw Exception(error.Message());
}

// The device's node of that name. NotFoundException when it is gone or not
// implemented, BadAccessException when unavailable.
ArvGcNode* UsableNode(ArvDevice* device, const std::string& name);

// call(ArvGcNode*).
template <typename Call>
auto Node::UseNode(Call call) const {
    Library::CheckGeneration(m_generation);
    return m_device->Use([&](ArvDevice* device) { return call(UsableNode(device, m_name)); });
}

// call(ArvDevice*).
template <typename Call>
auto Node::UseDevice(Call call) const {
    Library::CheckGeneration(m_generation);
    return m_device->Use(call);
}

}  // namespace optivane::peak
