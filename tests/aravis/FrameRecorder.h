// A host frame callback that records status, context, format and time of every
// frame and the latest picture. OnFrame runs on the camera's delivery thread,
// the accessors on the test thread; one mutex guards everything.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "frame/ComPtr.h"
#include "optivane/optivane.h"

namespace optivane::test {

class FrameRecorder : public IAravisCameraCallback {
public:
    struct Frame { int32_t status; void* context; FrameFormat format; FrameTime start, end; };

    HRESULT OnFrame(int32_t status, void* context, IUnknown* frame) override {
        Frame record{status, context, {}, {}, {}};
        std::vector<uint8_t> pixels;
        ComPtr<IFrameImage> image;
        if (frame != nullptr && SUCCEEDED(frame->QueryInterface(IID_IFrameImage, image.ReceiveVoid()))) {
            uint8_t* data = nullptr;
            uint32_t size = 0;
            image->GetFormat(&record.format);
            image->GetTime(&record.start, &record.end);
            if (SUCCEEDED(image->GetBuffer(&data, &size)) && data != nullptr) pixels.assign(data, data + size);
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        m_frames.push_back(record);
        m_latest = std::move(pixels);
        m_changed.notify_all();
        return S_OK;
    }

    // True when at least count frames arrived in all, within the time-out.
    bool WaitForCount(size_t count, std::chrono::seconds timeout = std::chrono::seconds(60)) {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_frames.size() >= count; });
    }
    std::vector<Frame> Frames() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_frames;
    }
    size_t Count() { return Frames().size(); }
    Frame Latest(std::vector<uint8_t>* pixels) {
        std::lock_guard<std::mutex> lock(m_mutex);
        *pixels = m_latest;
        return m_frames.empty() ? Frame{} : m_frames.back();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Frame> m_frames;
    std::vector<uint8_t> m_latest;
};

}  // namespace optivane::test
