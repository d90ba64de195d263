#include "peak/PeakDeviceRecord.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "frame/FixedText.h"
#include "peak/sdk/IntegerNode.h"
#include "peak/sdk/StringNode.h"

namespace optivane::peak_record {

namespace {

constexpr size_t kLongestIdentifier = 127;

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

}  // namespace

std::string DeviceIdOf(const std::string& identifier) {
    std::string id = identifier.substr(0, kLongestIdentifier);
    const size_t cut = id.find_last_of('-');
    if (cut != std::string::npos) id.resize(cut);
    return id;
}

void Fill(const std::string& deviceId, const peak::NodeMap& nodes, CameraDeviceInfo* record) {
    const std::string userId = nodes.FindNode<peak::StringNode>("DeviceUserID")->Value();
    const auto address = static_cast<uint32_t>(nodes.FindNode<peak::IntegerNode>("GevCurrentIPAddress")->Value());
    std::vector<std::string> parts = Split(deviceId, '/');
    parts.resize(std::max<size_t>(parts.size(), 3));

    CopyText(record->DeviceId, deviceId.c_str());
    CopyText(record->DeviceUserId, userId.c_str());
    CopyText(record->VendorName, (parts[0] + " PeakCamera").c_str());
    char ip[sizeof record->IpAddress];
    std::snprintf(ip, sizeof ip, "%u.%u.%u.%u", (address >> 24) & 0xFF, (address >> 16) & 0xFF, (address >> 8) & 0xFF,
                  address & 0xFF);
    CopyText(record->IpAddress, ip);
    CopyText(record->ModelName, parts[1].c_str());
    CopyText(record->SerialNumber, parts[2].c_str());
    record->WidthMax = static_cast<uint32_t>(nodes.FindNode<peak::IntegerNode>("Width")->Value());
    record->HeightMax = static_cast<uint32_t>(nodes.FindNode<peak::IntegerNode>("Height")->Value());
}

}  // namespace optivane::peak_record
