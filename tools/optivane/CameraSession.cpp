#include "CameraSession.h"

#include <cstring>

#include "HresultText.h"
#include "platform/Ipv4Text.h"
#include "PhoneId.h"

namespace optivane::tool {

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
    CameraDeviceInfo device{};
    std::string phoneId;
    const bool phone = PhoneId::Recognise(deviceId, &phoneId, error);
    if (phone && phoneId.empty()) return false;
    const std::string& id = phone ? phoneId : deviceId;
    if (id.empty()) {
        *error = "the device id is empty";
        return false;
    }
    if (id.size() >= sizeof(device.DeviceId)) {
        *error = "the device id '" + id + "' is too long: at most " +
                 std::to_string(sizeof(device.DeviceId) - 1) + " characters fit the device record";
        return false;
    }
    std::memcpy(device.DeviceId, id.data(), id.size());

    // SMPHCA00... or phone:... names a phone; A.B.C.D:PORT a frame source, the
    // virtual camera; IDS/<model>/<serial> an IDS peak camera; anything else
    // an Aravis device.
    const bool isVirtual = !phone && IsVirtualCameraId(deviceId);
    const bool isPeak = !phone && !isVirtual && IsIdsPeakId(deviceId);
    const CLSID& kind = phone       ? CLSID_SmartPhoneCamera
                        : isVirtual ? CLSID_DummyCamera
                        : isPeak    ? CLSID_IdsPeakCamera
                                    : CLSID_AravisCamera;
    const char* kindName = phone ? "smartphone" : isVirtual ? "virtual" : isPeak ? "IDS peak" : "Aravis";
    const HRESULT created = m_host.CreateInstance(kind, IID_IAravisCamera, m_camera.ReceiveVoid());
    if (FAILED(created) || !m_camera) {
        *error = std::string("cannot create the ") + kindName + " camera: " + HresultText::Describe(FAILED(created) ? created : E_POINTER);
        m_camera.Reset();
        return false;
    }
    const HRESULT opened = m_camera->Open(&device);
    if (FAILED(opened)) {
        *error = "cannot open camera '" + deviceId + "': " + HresultText::Describe(opened) +
                 " (no camera answers to that id, or it refused to open)";
        m_camera.Reset();
        return false;
    }
    m_opened = true;
    return true;
}

}  // namespace optivane::tool
