// One probe of one host during a phone search: a phone camera opened with
// the host's id and asked for its device information, on a worker of its
// own. Only a host that answers both the search and the capture command is
// a phone.
//
// Threads: the search thread sets host and port, triggers the worker and
// waits for done before it reads Result() and Record(); the worker alone
// runs Run() in between, so the done event orders every field access.
#pragma once

#include <cstdint>
#include <functional>

#include "optivane/optivane.h"
#include "runtime/CMultiThread.h"

namespace optivane {

// Makes a phone camera (IAravisCamera) with one reference for the caller.
using PhoneCameraFactory = std::function<HRESULT(IAravisCamera** camera)>;

class CSmartPhoneCamCheckTask : public CMultiThread {
public:
    CSmartPhoneCamCheckTask(PhoneCameraFactory factory, const char* host, uint16_t port);
    ~CSmartPhoneCamCheckTask() override;

    void Run() override;

    const char* Host() const { return m_host; }
    HRESULT Result() const { return m_result; }
    const CameraDeviceInfo& Record() const { return m_record; }

private:
    const PhoneCameraFactory m_factory;
    char m_host[64] = {};
    const uint16_t m_port;
    CameraDeviceInfo m_record{};
    HRESULT m_result = E_FAIL;
};

}  // namespace optivane
