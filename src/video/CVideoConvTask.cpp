#include "video/CVideoConvTask.h"

#include <cstdint>
#include <cstring>
#include <exception>
#include <new>
#include <utility>

#include <opencv2/core.hpp>

#include "optivane/optivane.h"
#include "runtime/CDebugLog.h"
#include "video/PixelConversion.h"

namespace optivane {

namespace {

constexpr uint8_t kMidGrey = 128;
constexpr uint32_t kOutputBytesPerPixel = 3;

uint64_t PictureBytes(const FrameFormat& format) {
    return static_cast<uint64_t>(format.Width) * format.Height * kOutputBytesPerPixel;
}

// Checked before anything is written: a buffer smaller than the format
// claims, or an empty format, is never touched.
bool PictureFits(const FrameFormat& format, uint32_t bufferSize) {
    return format.Width != 0 && format.Height != 0 && PictureBytes(format) <= bufferSize;
}

void FillGrey(uint8_t* buffer, uint32_t size) {
    if (buffer != nullptr) std::memset(buffer, kMidGrey, size);
}

}  // namespace

CVideoConvTask::CVideoConvTask() : m_pixelFormat(PixelFormatBayerRG8) {}

CVideoConvTask::~CVideoConvTask() {
    // No job may run on a task being destroyed. References still held are
    // released by the members without Done: the pools are going away.
    StopWorker();
}

// Worker thread, once per trigger.
void CVideoConvTask::Run() {
    // The status is not passed on: the deliverer delivers the image either
    // way, grey when the frame was refused.
    try {
        if (m_rotation != 0 || m_flip != 0) {
            ConvertTransformed();
        } else {
            Convert();
        }
    } catch (...) {
        // Beyond what the conversions catch themselves; the turn must still
        // end below, or every later frame would wait for it.
    }
    EndTurn();
    if (m_rawSample) {
        if (FAILED(m_rawSample->Done())) CDebugLog().Trace("CVideoConvTask", "raw sample was not held\n");
        m_rawSample.Reset();
    }
}

HRESULT CVideoConvTask::ReadFrame(uint8_t** data, uint32_t* size, FrameFormat* format) {
    const HRESULT status = m_rawSample->GetData(data, size);
    if (FAILED(status)) return status;
    return m_image->GetFormat(format);
}

HRESULT CVideoConvTask::Convert() {
    if (!m_rawSample || !m_image) return E_UNEXPECTED;
    try {
        uint8_t* data = nullptr;
        uint32_t size = 0;
        FrameFormat format{};
        HRESULT status = ReadFrame(&data, &size, &format);
        if (FAILED(status)) return status;
        uint8_t* buffer = nullptr;
        uint32_t bufferSize = 0;
        status = m_image->GetBuffer(&buffer, &bufferSize);
        if (FAILED(status)) return status;

        const PixelConversion conversion = PixelConversion::For(m_pixelFormat);
        if (!conversion.IsKnown()) {
            FillGrey(buffer, bufferSize);
            return S_OK;
        }
        if (buffer == nullptr || !PictureFits(format, bufferSize)) return E_FAIL;
        const int rows = static_cast<int>(format.Height);
        const int cols = static_cast<int>(format.Width);
        cv::Mat out(rows, cols, CV_8UC3, buffer);
        if (conversion.UsesThreadPool()) TakeTurn();
        const HRESULT converted = m_ownThread ? conversion.ToBgrOnThisThread(data, size, rows, cols, out)
                                              : conversion.ToBgr(data, size, rows, cols, out);
        // A short raw frame: never show an earlier frame instead.
        if (converted == E_INVALIDARG) FillGrey(buffer, bufferSize);
        return converted;
    } catch (const cv::Exception&) {
        return E_FAIL;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::exception&) {
        return E_FAIL;
    }
}

HRESULT CVideoConvTask::ConvertTransformed() {
    if (!m_rawSample || !m_image) return E_UNEXPECTED;
    try {
        uint8_t* data = nullptr;
        uint32_t size = 0;
        FrameFormat format{};
        HRESULT status = ReadFrame(&data, &size, &format);
        if (FAILED(status)) return status;

        const FrameTransform transform(m_rotation, m_flip);
        FrameFormat turned = format;
        if (transform.SwapsSides()) {
            std::swap(turned.Width, turned.Height);
            std::swap(turned.AspectX, turned.AspectY);
            status = m_image->SetFormat(&turned);
            if (FAILED(status)) return status;
        }
        uint8_t* buffer = nullptr;
        uint32_t bufferSize = 0;
        status = m_image->GetBuffer(&buffer, &bufferSize);
        if (FAILED(status)) return status;

        const PixelConversion conversion = PixelConversion::For(m_pixelFormat);
        if (!conversion.IsKnown()) {
            FillGrey(buffer, bufferSize);
            return S_OK;
        }
        if (buffer == nullptr || !PictureFits(turned, bufferSize)) return E_FAIL;
        // A rotation the camera does not offer: the format is already turned,
        // so no picture fits it; grey says so instead of a garbled frame. A
        // short raw frame is refused before the work picture is sized for it.
        const bool rotatable = m_rotation == 0 || transform.HasRotationCode();
        if (!rotatable || !conversion.RawFits(data, size, format.Width, format.Height)) {
            FillGrey(buffer, bufferSize);
            return E_INVALIDARG;
        }

        const int rows = static_cast<int>(format.Height);
        const int cols = static_cast<int>(format.Width);
        cv::Mat work;
        status = WorkPicture(rows, cols, &work);
        if (FAILED(status)) return status;
        if (conversion.UsesThreadPool()) TakeTurn();
        status = m_ownThread ? conversion.ToBgrOnThisThread(data, size, rows, cols, work)
                             : conversion.ToBgr(data, size, rows, cols, work);
        // Flip and rotation run on one core: the next frame's turn may begin.
        EndTurn();
        if (FAILED(status)) return status;

        cv::Mat out(static_cast<int>(turned.Height), static_cast<int>(turned.Width), CV_8UC3, buffer);
        transform.Apply(work, out);
        return out.data == buffer ? S_OK : E_FAIL;
    } catch (const cv::Exception&) {
        return E_FAIL;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::exception&) {
        return E_FAIL;
    }
}

HRESULT CVideoConvTask::ReserveWorkPicture(uint32_t width, uint32_t height) {
    return GrowWorkMemory(uint64_t{width} * height);
}

HRESULT CVideoConvTask::GrowWorkMemory(uint64_t pixels) {
    if (pixels > SIZE_MAX / kOutputBytesPerPixel) return E_OUTOFMEMORY;
    const size_t bytes = static_cast<size_t>(pixels) * kOutputBytesPerPixel;
    if (m_workMemory.Size() >= bytes) return S_OK;
    // Free the smaller block first so that both never exist at once.
    m_workMemory = platform::TouchedMemory();
    m_workMemory = platform::TouchedMemory(bytes);
    return m_workMemory.Data() != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CVideoConvTask::WorkPicture(int rows, int cols, cv::Mat* picture) {
    const HRESULT status = GrowWorkMemory(uint64_t{static_cast<uint32_t>(rows)} * static_cast<uint32_t>(cols));
    if (FAILED(status)) return status;
    *picture = cv::Mat(rows, cols, CV_8UC3, m_workMemory.Data());
    return S_OK;
}

void CVideoConvTask::SetTurn(ConversionGate* gate) {
    m_gate = HasWorker() ? gate : nullptr;
    m_ticket = m_gate != nullptr ? m_gate->Issue() : 0;
    m_turnTaken = false;
}

void CVideoConvTask::TakeTurn() {
    if (m_gate == nullptr || m_turnTaken) return;
    m_gate->Take(m_ticket);
    m_turnTaken = true;
}

void CVideoConvTask::EndTurn() {
    if (m_gate == nullptr) return;
    if (m_turnTaken) {
        m_gate->Give();
    } else {
        m_gate->Pass(m_ticket);
    }
    m_gate = nullptr;
    m_turnTaken = false;
}

void CVideoConvTask::SetRawSample(IRawSample* sample) { m_rawSample = ComPtr<IRawSample>::Adopt(sample); }

void CVideoConvTask::SetImage(IFrameImage* image) { m_image = ComPtr<IFrameImage>::Adopt(image); }

IFrameImage* CVideoConvTask::TakeImage() { return m_image.Detach(); }

}  // namespace optivane
