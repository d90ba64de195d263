// The Aravis handle of one opened device, shared by the device, its node map
// and its nodes. Every call on the device runs under its lock, so calls are
// serialised per device; closing the device or the library's last Close drops
// the handle and the streams made from it, and later calls raise
// NotInitializedException instead of reaching a freed device.
//
// Threads: any thread. The lock guards the handle and the streams made from
// it and is held across the Aravis call; it is never held while taking the
// library lock (callers check their generation before Use). Lock order:
// device, then a stream's own lock.
#pragma once

#include <arv.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "aravis/GObjectPtr.h"
#include "peak/sdk/Exception.h"
#include "peak/sdk/aravis/StreamHandle.h"

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
    // Opens the device's stream; Exception when Aravis cannot.
    std::shared_ptr<StreamHandle> CreateStream() {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_device) throw NotInitializedException("device closed");
        GErrorPtr error;
        auto stream = GObjectPtr<ArvStream>::Adopt(arv_device_create_stream(m_device.Get(), nullptr, nullptr, error.Out()));
        if (!stream || error) throw Exception(std::string("no data stream: ") + error.Message());
        auto handle = std::make_shared<StreamHandle>(std::move(stream));
        m_streams.erase(std::remove_if(m_streams.begin(), m_streams.end(),
                                       [](const auto& stream) { return stream.expired(); }),
                        m_streams.end());
        m_streams.push_back(handle);
        return handle;
    }
    void Release() {
        std::lock_guard<std::mutex> guard(m_lock);
        for (const auto& stream : m_streams) {
            if (auto handle = stream.lock()) handle->Release();
        }
        m_streams.clear();
        m_device.Reset();
    }

private:
    std::mutex m_lock;
    GObjectPtr<ArvDevice> m_device;                   // under m_lock
    std::vector<std::weak_ptr<StreamHandle>> m_streams;  // under m_lock
};

}  // namespace optivane::peak
