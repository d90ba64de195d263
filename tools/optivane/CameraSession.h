// One camera of the module, of any kind, opened through the module's camera
// manager by the id a person gives: a phone id ("SMPHCA00..." or
// "phone:...") or a frame source's A.B.C.D:PORT opens from a record built
// from the id, without a search; any other id is looked up by a search (by
// device id or address) and opens from the record found, or, when nothing
// matches, from a record built from the id (an IDS peak camera for
// "IDS/<model>/<serial>", an Aravis device otherwise).
//
// Ownership: holds the camera's one reference; destruction closes the camera
// (which stops streaming) and releases it. Must be destroyed before the
// ModuleHost that created it.
#pragma once

#include <string>
#include <vector>

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
    // words, when the id does not fit the record, the module has no manager
    // or camera class, or the device does not open. Only once per session.
    bool Open(const std::string& deviceId, std::string* error);
    // True for A.B.C.D:PORT, the id of a virtual camera's frame source.
    static bool IsVirtualCameraId(const std::string& deviceId);
    // "IDS/<model>/<serial>", the module's id of an IDS peak camera.
    static bool IsIdsPeakId(const std::string& deviceId);
    // The record to open for id among the records of a search: the one whose
    // device id or address is id, else one built from id. False, naming both
    // kinds, when records of two kinds match.
    static bool Choose(const std::string& id, const std::vector<CameraDeviceInfo>& found, CameraDeviceInfo* record,
                       std::string* error);

    // The opened camera; null before a successful Open.
    IAravisCamera* Camera() const { return m_opened ? m_camera.Get() : nullptr; }

private:
    const ModuleHost& m_host;
    ComPtr<IAravisCamera> m_camera;
    bool m_opened = false;
};

}  // namespace optivane::tool
