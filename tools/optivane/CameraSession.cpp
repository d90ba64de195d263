#include "CameraSession.h"

#include <cstring>

#include "DeviceSearch.h"
#include "HresultText.h"
#include "PhoneId.h"
#include "discovery/CameraKindRule.h"
#include "frame/FixedText.h"
#include "platform/Ipv4Text.h"

namespace optivane::tool {

namespace {

constexpr const char* kPeakVendor = "IDS PeakCamera";

const char* KindOf(const CameraDeviceInfo& record) { return CameraKindRule::NameOf(CameraKindRule::Of(record)); }

}  // namespace

bool CameraSession::IsVirtualCameraId(const std::string& deviceId) {
    const size_t colon = deviceId.find(':');
    if (colon == std::string::npos || colon + 1 >= deviceId.size() || colon + 6 < deviceId.size()) return false;
    if (deviceId.find_first_not_of("0123456789", colon + 1) != std::string::npos) return false;
    if (std::stoul(deviceId.substr(colon + 1)) > 65535) return false;
    uint32_t address = 0;
    return platform::Ipv4Text::Parse(deviceId.substr(0, colon).c_str(), &address);
}

bool CameraSession::IsIdsPeakId(const std::string& deviceId) {
    const std::string prefix = "IDS/";
    if (deviceId.compare(0, prefix.size(), prefix) != 0) return false;
    const size_t slash = deviceId.find('/', prefix.size());
    return slash != std::string::npos && slash > prefix.size() && slash + 1 < deviceId.size() &&
           deviceId.find('/', slash + 1) == std::string::npos;
}

bool CameraSession::Choose(const std::string& id, const std::vector<CameraDeviceInfo>& found,
                           CameraDeviceInfo* record, std::string* error) {
    const CameraDeviceInfo* chosen = nullptr;
    for (const CameraDeviceInfo& candidate : found) {
        if (id != candidate.DeviceId && id != candidate.IpAddress) continue;
        if (chosen == nullptr) {
            chosen = &candidate;
        } else if (CameraKindRule::Of(*chosen) != CameraKindRule::Of(candidate)) {
            *error = "the id '" + id + "' names two cameras: a " + KindOf(*chosen) + " camera (" + chosen->DeviceId +
                     ") and a " + KindOf(candidate) + " camera (" + candidate.DeviceId + "); give the device id";
            return false;
        }
    }
    if (chosen != nullptr) {
        *record = *chosen;
        return true;
    }
    *record = CameraDeviceInfo{};
    CopyText(record->DeviceId, id.c_str());
    if (IsIdsPeakId(id)) CopyText(record->VendorName, kPeakVendor);
    return true;
}

CameraSession::~CameraSession() {
    // Close stops a stream still running and waits for its threads; its
    // status cannot change anything here.
    if (m_opened) m_camera->Close();
}

bool CameraSession::Open(const std::string& deviceId, std::string* error) {
    if (m_camera) {
        *error = "a camera is already open in this session";
        return false;
    }
    std::string phoneId;
    const bool phone = PhoneId::Recognise(deviceId, &phoneId, error);
    if (phone && phoneId.empty()) return false;
    const std::string& id = phone ? phoneId : deviceId;
    if (id.empty()) {
        *error = "the device id is empty";
        return false;
    }
    if (id.size() >= sizeof(CameraDeviceInfo::DeviceId)) {
        *error = "the device id '" + id + "' is too long: at most " +
                 std::to_string(sizeof(CameraDeviceInfo::DeviceId) - 1) + " characters fit the device record";
        return false;
    }
    DeviceSearch search;
    if (!search.Prepare(m_host, error)) return false;
    CameraDeviceInfo device{};
    if (phone) {
        CopyText(device.DeviceId, id.c_str());
    } else if (IsVirtualCameraId(id)) {
        CopyText(device.DeviceId, id.c_str());
        CopyText(device.IpAddress, id.substr(0, id.find(':')).c_str());
    } else {
        std::vector<CameraDeviceInfo> found;
        if (!search.Run("", &found, error) || !Choose(id, found, &device, error)) return false;
    }
    const HRESULT opened = search.Manager()->CreateCamera(&device, m_camera.Receive());
    if (FAILED(opened) || !m_camera) {
        *error = "cannot open the " + std::string(KindOf(device)) + " camera '" + deviceId +
                 "': " + HresultText::Describe(FAILED(opened) ? opened : E_POINTER) +
                 " (no camera answers to that id, or it refused to open)";
        m_camera.Reset();
        return false;
    }
    m_opened = true;
    return true;
}

}  // namespace optivane::tool
