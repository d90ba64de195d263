#include "FakeCamera.h"

namespace optivane::tool {

bool FakeCamera::Start(const std::string& address, const std::string& serial, const std::string& genicamFile,
                       std::string* error) {
    if (m_camera) {
        *error = "the camera is already started";
        return false;
    }
    ArvGvFakeCamera* camera =
        genicamFile.empty()
            ? arv_gv_fake_camera_new(address.c_str(), serial.c_str())
            : arv_gv_fake_camera_new_full(address.c_str(), serial.c_str(), genicamFile.c_str());
    GObjectPtr<ArvGvFakeCamera> owned = GObjectPtr<ArvGvFakeCamera>::Adopt(camera);
    if (!owned || !arv_gv_fake_camera_is_running(owned.Get())) {
        *error = "the simulated camera did not start on '" + address +
                 "' (is that address up on this machine, and free?)" +
                 (genicamFile.empty() ? "" : " or its GenICam file '" + genicamFile + "' is not usable");
        return false;
    }
    m_camera = std::move(owned);
    return true;
}

bool FakeCamera::IsRunning() const { return m_camera && arv_gv_fake_camera_is_running(m_camera.Get()); }

}  // namespace optivane::tool
