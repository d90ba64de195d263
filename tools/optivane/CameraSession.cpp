#include "CameraSession.h"

#include <cstring>

#include "HresultText.h"

namespace optivane::tool {

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
    if (deviceId.empty()) {
        *error = "the device id is empty";
        return false;
    }
    if (deviceId.size() >= sizeof(device.DeviceId)) {
        *error = "the device id '" + deviceId + "' is too long: at most " +
                 std::to_string(sizeof(device.DeviceId) - 1) + " characters fit the device record";
        return false;
    }
    std::memcpy(device.DeviceId, deviceId.data(), deviceId.size());

    const HRESULT created = m_host.CreateInstance(CLSID_AravisCamera, IID_IAravisCamera, m_camera.ReceiveVoid());
    if (FAILED(created) || !m_camera) {
        *error = "cannot create the Aravis camera: " + HresultText::Describe(FAILED(created) ? created : E_POINTER);
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
