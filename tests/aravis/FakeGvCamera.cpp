#include "aravis/FakeGvCamera.h"

#include <cstring>

namespace optivane::test {

namespace {
// GigE Vision bootstrap register of the manufacturer name (32 bytes).
constexpr uint32_t kManufacturerName = 0x48;
constexpr size_t kManufacturerNameSize = 32;
}  // namespace

FakeGvCamera::FakeGvCamera(const std::string& address, const std::string& genicamFile, const std::string& vendorName)
    : m_address(address) {
    const std::string path = std::string(OPTIVANE_GENICAM_DIR) + "/" + genicamFile;
    m_camera = GObjectPtr<ArvGvFakeCamera>::Adopt(arv_gv_fake_camera_new_full(address.c_str(), "SIM1", path.c_str()));
    if (!m_camera) return;
    m_device = arv_gv_fake_camera_get_fake_camera(m_camera.Get());
    if (m_device == nullptr) return;
    char name[kManufacturerNameSize] = {};
    std::strncpy(name, vendorName.c_str(), sizeof name - 1);
    arv_fake_camera_write_memory(m_device, kManufacturerName, sizeof name, name);
}

bool FakeGvCamera::IsRunning() const {
    return m_camera && m_device != nullptr && arv_gv_fake_camera_is_running(m_camera.Get());
}

CameraDeviceInfo FakeGvCamera::Record() const {
    CameraDeviceInfo record{};
    std::strncpy(record.DeviceId, m_address.c_str(), sizeof record.DeviceId - 1);
    return record;
}

uint32_t FakeGvCamera::ReadRegister(uint32_t address) const {
    guint32 value = 0;
    if (m_device != nullptr) arv_fake_camera_read_register(m_device, address, &value);
    return value;
}

void FakeGvCamera::WriteRegister(uint32_t address, uint32_t value) {
    if (m_device != nullptr) arv_fake_camera_write_register(m_device, address, value);
}

// Our descriptions keep doubles big-endian, like every register of the device.
double FakeGvCamera::ReadDouble(uint32_t address) const {
    guint64 bits = 0;
    if (m_device != nullptr) arv_fake_camera_read_memory(m_device, address, sizeof bits, &bits);
    bits = GUINT64_FROM_BE(bits);
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

void FakeGvCamera::WriteDouble(uint32_t address, double value) {
    guint64 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    bits = GUINT64_TO_BE(bits);
    if (m_device != nullptr) arv_fake_camera_write_memory(m_device, address, sizeof bits, &bits);
}

}  // namespace optivane::test
