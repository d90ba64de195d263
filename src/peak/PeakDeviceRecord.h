// The device record of an IDS peak device, built the same way by the device
// listing and by the opened camera, so that both agree.
#pragma once

#include <cstdint>
#include <string>

#include "optivane/optivane.h"
#include "peak/sdk/NodeMap.h"

namespace optivane::peak_record {

// The identifier the host knows a device by: the SDK's identifier, at most
// 127 characters, cut at its last '-' ("IDS/IdsSim/P1-GEV" gives
// "IDS/IdsSim/P1"); without '-' taken whole.
std::string DeviceIdOf(const std::string& identifier);

// Fills the record from the id ("vendor/model/serial"; missing parts give
// empty texts) and the device's nodes DeviceUserID, GevCurrentIPAddress,
// Width and Height; texts are cut to their fields. The SDK's exceptions pass.
void Fill(const std::string& deviceId, const peak::NodeMap& nodes, CameraDeviceInfo* record);

}  // namespace optivane::peak_record
