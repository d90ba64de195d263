// One simulated GigE Vision camera of Aravis, answering on one IPv4 address
// (its control and stream sockets are bound to it) from threads of Aravis's
// own. Only loopback addresses belong here: the camera answers discovery
// broadcasts on whatever network the address is on.
//
// Ownership: holds the camera's GObject reference; destruction stops it.
#pragma once

#include <arv.h>

#include <cstdint>
#include <string>

#include "aravis/GObjectPtr.h"

namespace optivane::tool {

class FakeCamera {
public:
    FakeCamera() = default;
    FakeCamera(const FakeCamera&) = delete;
    FakeCamera& operator=(const FakeCamera&) = delete;

    // Starts the camera on the address (or interface name) with a serial
    // number and optionally its own GenICam file (empty: Aravis's). False,
    // with the reason in words, when it does not start. Once per object.
    bool Start(const std::string& address, const std::string& serial, const std::string& genicamFile,
               std::string* error);
    // Vendor and model texts of the bootstrap registers (what discovery and
    // DeviceVendorName/DeviceModelName read), cut to their 31 characters.
    // Only on a started camera.
    void SetVendor(const std::string& vendor);
    void SetModel(const std::string& model);
    bool IsRunning() const;

private:
    void WriteText(uint32_t address, const std::string& text);

    GObjectPtr<ArvGvFakeCamera> m_camera;
};

}  // namespace optivane::tool
