// A search callback for tests: keeps what each OnDevicesFound gave, checks
// the arguments every call must have, and may run a step inside the call.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

#include "optivane/optivane.h"

namespace optivane::test {

class Results : public IDeviceSearchCallback {
public:
    HRESULT OnDevicesFound(int32_t reserved, void* context, const CameraDeviceInfo* records, int32_t count) override {
        std::vector<CameraDeviceInfo> got(records, records + count);
        if (inside) inside();
        std::lock_guard<std::mutex> hold(m_lock);
        EXPECT_EQ(reserved, 0);
        EXPECT_EQ(records == nullptr, count == 0);
        m_contexts.push_back(context);
        m_found.push_back(std::move(got));
        m_changed.notify_all();
        return S_OK;
    }
    // The records of the n-th search (from 1); fails after a time limit.
    std::vector<CameraDeviceInfo> Await(size_t n = 1) {
        std::unique_lock<std::mutex> hold(m_lock);
        if (!m_changed.wait_for(hold, std::chrono::seconds(60), [&] { return m_found.size() >= n; })) {
            ADD_FAILURE() << "no OnDevicesFound " << n;
            return {};
        }
        return m_found[n - 1];
    }
    size_t Count() {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_found.size();
    }
    void* Context(size_t n) {
        std::lock_guard<std::mutex> hold(m_lock);
        return m_contexts.at(n - 1);
    }
    std::function<void()> inside;

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::vector<CameraDeviceInfo>> m_found;
    std::vector<void*> m_contexts;
};

}  // namespace optivane::test
