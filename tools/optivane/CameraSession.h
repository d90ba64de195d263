// One Aravis camera of the module, created by class and opened by device id
// (the Aravis device id such as "Aravis-Fake-GV01", or the camera's address).
//
// Ownership: holds the camera's one reference; destruction closes the camera
// (which stops streaming) and releases it. Must be destroyed before the
// ModuleHost that created it.
#pragma once

#include <string>

#include "ModuleHost.h"
#include "frame/ComPtr.h"
#include "optivane/optivane.h"

namespace optivane::tool {

class CameraSession {
public:
    explicit CameraSession(const ModuleHost& host) : m_host(host) {}
    ~CameraSession();
    CameraSession(const CameraSession&) = delete;
    CameraSession& operator=(const CameraSession&) = delete;

    // Creates the camera and opens the device. False, with the reason in
    // words, when the id does not fit the record, the module has no Aravis
    // camera or the device does not open. Only once per session.
    bool Open(const std::string& deviceId, std::string* error);
    // True for A.B.C.D:PORT, the id of a virtual camera's frame source.
    // "IDS/<model>/<serial>", the module's id of an IDS peak camera.
    static bool IsIdsPeakId(const std::string& deviceId);
    static bool IsVirtualCameraId(const std::string& deviceId);

    // The opened camera; null before a successful Open.
    IAravisCamera* Camera() const { return m_opened ? m_camera.Get() : nullptr; }

private:
    const ModuleHost& m_host;
    ComPtr<IAravisCamera> m_camera;
    bool m_opened = false;
};

}  // namespace optivane::tool
