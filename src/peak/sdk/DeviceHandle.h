// The Aravis handle of one opened device, shared by the device, its node map
// and its nodes. Every call on the device runs under its lock, so calls are
// serialised per device; closing the device or the library's last Close drops
// the handle, and later calls raise NotInitializedException instead of
// reaching a freed device.
//
// Threads: any thread. The lock guards the handle and is held across the
// Aravis call; it is never held while taking the library lock (callers check
// their generation before Use).
#pragma once

#include <arv.h>

#include <mutex>
#include <utility>

#include "aravis/GObjectPtr.h"
#include "peak/sdk/Exception.h"

namespace optivane::peak {

class DeviceHandle {
public:
    explicit DeviceHandle(GObjectPtr<ArvDevice> device) : m_device(std::move(device)) {}

    // Runs call(ArvDevice*) under the lock and returns what it returns.
    template <typename Call>
    auto Use(Call call) {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_device) throw NotInitializedException("device closed");
        return call(m_device.Get());
    }
    void Release() {
        std::lock_guard<std::mutex> guard(m_lock);
        m_device.Reset();
    }

private:
    std::mutex m_lock;
    GObjectPtr<ArvDevice> m_device;  // under m_lock
};

}  // namespace optivane::peak
