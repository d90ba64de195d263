// A GigE Vision camera simulated by Aravis in the test process on one loopback
// address with one of our GenICam descriptions, served on an Aravis thread that
// ends with it. The accessors use the device memory directly, as firmware would.
#pragma once

#include <arv.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "aravis/GObjectPtr.h"

namespace optivane::test {

// Registers our descriptions add to the fake camera's own (kept in step with genicam/*.xml).
namespace genicam {
constexpr uint32_t kManufacturerName = 0x48;  // 32 bytes, read as DeviceVendorName
constexpr uint32_t kModelName = 0x68;         // 32 bytes, read as DeviceModelName
constexpr uint32_t kPixelFormat = 0x128;
constexpr uint32_t kFramePeriod = 0x138;  // microseconds
constexpr uint32_t kTriggerMode = 0x300;  // 1: no frame without a trigger
constexpr uint32_t kUserSetSelector = 0xA000;
constexpr uint32_t kUserSetLoad = 0xA004;
constexpr uint32_t kExposureAuto = 0xA010;
constexpr uint32_t kExposureTime = 0xA018;  // double
constexpr uint32_t kBrightness = 0xA020;
constexpr uint32_t kGainAuto = 0xA028;
constexpr uint32_t kBalanceWhiteAuto = 0xA02C;  // 0 Off, 1 Once, 2 Continuous, 3 Auto (IDS only)
constexpr uint32_t kGain = 0xA100;              // double; IDS: one per GainSelector value, 8 bytes apart
constexpr uint32_t kBalanceRatio = 0xA200;      // GEV: uint32, 4 bytes apart; Dahua: double, 8 apart
}  // namespace genicam

class FakeGvCamera {
public:
    // Vendor and model go into the bootstrap registers that discovery and
    // DeviceVendorName/DeviceModelName read; a null model keeps Aravis's. The
    // accessors below are for a running camera only.
    FakeGvCamera(const std::string& address, const char* genicamFile, const char* vendorName,
                 const char* serial = "SIM1", const char* model = nullptr) {
        const std::string path = std::string(OPTIVANE_GENICAM_DIR) + "/" + genicamFile;
        m_camera = GObjectPtr<ArvGvFakeCamera>::Adopt(arv_gv_fake_camera_new_full(address.c_str(), serial, path.c_str()));
        if (m_camera) m_device = arv_gv_fake_camera_get_fake_camera(m_camera.Get());
        if (m_device == nullptr) return;
        WriteText(genicam::kManufacturerName, vendorName);
        if (model != nullptr) WriteText(genicam::kModelName, model);
    }
    bool IsRunning() const { return m_device != nullptr && arv_gv_fake_camera_is_running(m_camera.Get()); }

    uint32_t Read(uint32_t address) const {
        guint32 value = 0;
        arv_fake_camera_read_register(m_device, address, &value);
        return value;
    }
    void Write(uint32_t address, uint32_t value) { arv_fake_camera_write_register(m_device, address, value); }
    // Our descriptions keep doubles big-endian, like every register of the device.
    double ReadDouble(uint32_t address) const {
        guint64 bits = 0;
        arv_fake_camera_read_memory(m_device, address, sizeof bits, &bits);
        bits = GUINT64_FROM_BE(bits);
        double value = 0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    void WriteDouble(uint32_t address, double value) {
        guint64 bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        bits = GUINT64_TO_BE(bits);
        arv_fake_camera_write_memory(m_device, address, sizeof bits, &bits);
    }

private:
    void WriteText(uint32_t address, const char* text) {
        char field[32] = {};
        std::strncpy(field, text, sizeof field - 1);
        arv_fake_camera_write_memory(m_device, address, sizeof field, field);
    }

    GObjectPtr<ArvGvFakeCamera> m_camera;
    ArvFakeCamera* m_device = nullptr;  // belongs to m_camera
};

}  // namespace optivane::test
