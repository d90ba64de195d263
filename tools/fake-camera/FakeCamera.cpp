#include "FakeCamera.h"

#include <cstring>

namespace optivane::tool {

namespace {

// Bootstrap registers of the GigE Vision device, 32 bytes each.
constexpr uint32_t kManufacturerName = 0x48;
constexpr uint32_t kModelName = 0x68;
constexpr size_t kBootstrapTextBytes = 32;

}  // namespace

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

void FakeCamera::SetVendor(const std::string& vendor) { WriteText(kManufacturerName, vendor); }

void FakeCamera::SetModel(const std::string& model) { WriteText(kModelName, model); }

void FakeCamera::WriteText(uint32_t address, const std::string& text) {
    ArvFakeCamera* device = m_camera ? arv_gv_fake_camera_get_fake_camera(m_camera.Get()) : nullptr;
    if (device == nullptr) return;
    char field[kBootstrapTextBytes] = {};
    std::strncpy(field, text.c_str(), sizeof field - 1);
    arv_fake_camera_write_memory(device, address, sizeof field, field);
}

}  // namespace optivane::tool
