// The phone search: every host 2 to 254 of each base address's /24 is
// probed on port 60000 by a CSmartPhoneCamCheckTask, all at once, and the
// phones found are reported in the order their probes were made (duplicates
// kept: two local addresses in one subnet list a phone twice).
//
// Seams: the camera factory (the module's own class factory in the module,
// cameras with short limits in tests) and the local-address source (the
// Linquet address list by default; tests inject 127.0.0.x addresses).
//
// Threads: FindDevices runs on the caller's thread and blocks until every
// probe's worker is done; the workers share only the factory.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "frame/ComPtr.h"
#include "frame/modules/ModuleLoader.h"
#include "optivane/host_framework.h"
#include "smartphone/CSmartPhoneCamCheckTask.h"

namespace optivane {

// This computer's IPv4 addresses as dotted text; false when they cannot be read.
using LocalAddressSource = std::function<bool(std::vector<std::string>& addresses)>;

class CSmartPhoneCamManager {
public:
    static constexpr uint16_t kPhonePort = 60000;

    explicit CSmartPhoneCamManager(PhoneCameraFactory factory, LocalAddressSource addresses = nullptr);
    virtual ~CSmartPhoneCamManager();
    CSmartPhoneCamManager(const CSmartPhoneCamManager&) = delete;
    CSmartPhoneCamManager& operator=(const CSmartPhoneCamManager&) = delete;

    // address: an IPv4 text selecting its /24, or empty (or null) for every
    // local address. The second argument is not read. Appends one record per
    // phone and returns S_OK; text that is no IPv4 address finds nothing.
    HRESULT FindDevices(const char* address, void* unused, std::vector<CameraDeviceInfo>& list);

private:
    bool LinquetAddresses(std::vector<std::string>& addresses);

    const PhoneCameraFactory m_factory;
    const LocalAddressSource m_addresses;
    const ModuleLoader m_linquet;
    ComPtr<INetAdapterList> m_adapters;  // made when first needed
};

}  // namespace optivane
