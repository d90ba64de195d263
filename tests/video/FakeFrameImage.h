// An image held in memory for the conversion tests: a buffer of a chosen
// size, counted slots, and switches to make the format and buffer calls fail.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "optivane/host_framework.h"

namespace optivane::test {

class FakeFrameImage : public IFrameImage {
public:
    // The buffer holds bufferSize bytes of fill; the format is as given.
    FakeFrameImage(const FrameFormat& format, size_t bufferSize, uint8_t fill)
        : buffer(bufferSize, fill), m_format(format) {}
    virtual ~FakeFrameImage() = default;

    HRESULT QueryInterface(const IID&, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return static_cast<ULONG>(++references); }
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
        return S_OK;
    }
    HRESULT SetFormat(const FrameFormat* format) override {
        if (failSetFormat) return E_INVALIDARG;
        m_format = *format;
        ++setFormatCalls;
        return S_OK;
    }
    HRESULT GetFormat(FrameFormat* format) override {
        if (failGetFormat) return E_FAIL;
        *format = m_format;
        return S_OK;
    }
    HRESULT SetTime(const FrameTime*, const FrameTime*) override { return E_FAIL; }
    HRESULT GetTime(FrameTime*, FrameTime*) override { return E_FAIL; }
    HRESULT GetStride(uint32_t* stride) override {
        *stride = m_format.Width * 3;
        return S_OK;
    }
    HRESULT GetBuffer(uint8_t** data, uint32_t* size) override {
        if (failGetBuffer) return E_OUTOFMEMORY;
        *data = buffer.data();
        *size = static_cast<uint32_t>(buffer.size());
        return S_OK;
    }

    const FrameFormat& Format() const { return m_format; }
    // Blue, green and red of one pixel of the current format.
    const uint8_t* Pixel(uint32_t row, uint32_t column) const {
        return buffer.data() + (static_cast<size_t>(row) * m_format.Width + column) * 3;
    }

    std::vector<uint8_t> buffer;
    std::atomic<int> references{1};
    std::atomic<int> holds{0};
    int setFormatCalls = 0;
    bool failGetFormat = false;
    bool failSetFormat = false;
    bool failGetBuffer = false;

private:
    FrameFormat m_format;
};

}  // namespace optivane::test
