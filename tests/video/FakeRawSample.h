// A raw sample held in memory for the conversion tests: exactly the bytes
// given (so that AddressSanitizer sees any read past them), counted slots,
// and a switch to make GetData fail.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>
#include <vector>

#include "optivane/host_framework.h"

namespace optivane::test {

class FakeRawSample : public IRawSample {
public:
    explicit FakeRawSample(std::vector<uint8_t> data) : m_data(std::move(data)) {}
    virtual ~FakeRawSample() = default;

    HRESULT QueryInterface(const IID&, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return static_cast<ULONG>(++references); }
    // The test owns the object; the count only shows what the code did.
    ULONG Release() override { return static_cast<ULONG>(--references); }

    HRESULT GetHoldCount(uint32_t* holders) override {
        *holders = static_cast<uint32_t>(holds.load());
        return S_OK;
    }
    HRESULT Hold() override {
        ++holds;
        return S_OK;
    }
    HRESULT Done() override {
        if (holds.load() == 0) return E_UNEXPECTED;
        --holds;
        ++doneCalls;
        return S_OK;
    }
    // The conversion only reads: the filling slots are not offered.
    HRESULT Prepare(uint32_t) override { return E_UNEXPECTED; }
    HRESULT GetBuffer(uint8_t**, uint32_t*) override { return E_UNEXPECTED; }
    HRESULT SetData(const uint8_t*, uint32_t) override { return E_UNEXPECTED; }
    HRESULT Reset() override { return E_UNEXPECTED; }
    HRESULT GetData(uint8_t** data, uint32_t* size) override {
        if (failGetData) return E_FAIL;
        *data = m_data.empty() ? nullptr : m_data.data();
        *size = static_cast<uint32_t>(m_data.size());
        return S_OK;
    }

    std::atomic<int> references{1};
    std::atomic<int> holds{0};
    std::atomic<int> doneCalls{0};
    bool failGetData = false;

private:
    std::vector<uint8_t> m_data;
};

}  // namespace optivane::test
