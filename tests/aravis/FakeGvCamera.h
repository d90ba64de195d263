// A GigE Vision camera simulated by Aravis inside the test process: it answers
// on one loopback address with one of the GenICam descriptions in genicam/
// (an IDS, a GEV or a Dahua device). Runs only inside the test's private
// network namespace.
//
// Threads: Aravis serves the camera on a thread of its own, started by the
// constructor and joined when the last reference goes (the destructor). The
// register accessors read and write the device memory directly, as the
// device's own firmware would, bypassing the network.
#pragma once

#include <arv.h>

#include <cstdint>
#include <string>

#include "aravis/GObjectPtr.h"
#include "optivane/optivane.h"

namespace optivane::test {

// Registers of the settings our GenICam descriptions add to the fake camera's
// own (kept in step with genicam/*.xml).
namespace genicam {
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
constexpr uint32_t kGainSelector = 0xA030;      // IDS only
constexpr uint32_t kGain = 0xA100;              // double; IDS: one per selector value, 8 bytes apart
constexpr uint32_t kBalanceRatio = 0xA200;      // GEV: uint32, 4 bytes apart; Dahua: double, 8 apart
}  // namespace genicam

class FakeGvCamera {
public:
    // genicamFile: a file name in genicam/. The vendor name goes into the
    // bootstrap registers, where discovery and DeviceVendorName read it.
    FakeGvCamera(const std::string& address, const std::string& genicamFile, const std::string& vendorName);
    FakeGvCamera(const FakeGvCamera&) = delete;
    FakeGvCamera& operator=(const FakeGvCamera&) = delete;

    bool IsRunning() const;
    // A record that opens this camera: Aravis finds a GigE Vision camera by its address.
    CameraDeviceInfo Record() const;

    uint32_t ReadRegister(uint32_t address) const;
    void WriteRegister(uint32_t address, uint32_t value);
    double ReadDouble(uint32_t address) const;
    void WriteDouble(uint32_t address, double value);

private:
    std::string m_address;
    GObjectPtr<ArvGvFakeCamera> m_camera;
    ArvFakeCamera* m_device = nullptr;  // belongs to m_camera
};

}  // namespace optivane::test
