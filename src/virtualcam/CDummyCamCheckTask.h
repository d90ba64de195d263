// One liveness probe of a virtual-camera port, run on its own worker: is a
// TCP connection accepted within one second? Nothing is sent, so a source
// serving others is not disturbed (it closes the idle connection quietly).
//
// Threads: the caller sets host and port before Trigger and reads the result
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

    void SetTarget(const char* host, uint16_t port);
    HRESULT Result() const { return m_result; }
    void Run() override;

private:
    ModuleLoader m_linquet;
    char m_host[64] = "127.0.0.1";
    uint16_t m_port = 0;
    HRESULT m_result = E_FAIL;
};

}  // namespace optivane
