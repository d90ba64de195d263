// One liveness probe of a virtual-camera port, run on its own worker: is a
// TCP connection accepted within the time-out (one second by default)? Nothing is sent, so a source
// serving others is not disturbed (it closes the idle connection quietly).
//
// Threads: the caller sets host, port and time-out before Trigger and reads the result
// after WaitDone; the worker alone runs Run in between.
#pragma once

#include <cstdint>

#include "frame/modules/ModuleLoader.h"
#include "optivane/com.h"
#include "runtime/CMultiThread.h"

namespace optivane {

class CDummyCamCheckTask : public CMultiThread {
public:
    CDummyCamCheckTask();
    ~CDummyCamCheckTask() override;

    void SetTarget(const char* host, uint16_t port, uint32_t timeoutMs);
    HRESULT Result() const { return m_result; }
    void Run() override;

private:
    ModuleLoader m_linquet;
    char m_host[64] = "127.0.0.1";
    uint16_t m_port = 0;
    uint32_t m_timeoutMs = 1000;
    HRESULT m_result = E_FAIL;
};

}  // namespace optivane
