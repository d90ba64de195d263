#include "video/CVideoConvTask.h"

#include <cstring>
#include <exception>
#include <new>
#include <utility>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "optivane/optivane.h"
#include "runtime/CDebugLog.h"

namespace optivane {

namespace {

constexpr uint8_t kMidGrey = 128;
constexpr uint32_t kOutputBytesPerPixel = 3;

// How one pixel format becomes blue-green-red.
struct Conversion {
    bool known;
    int sourceType;          // OpenCV type of the raw matrix
    uint32_t bytesPerPixel;  // raw bytes per pixel
    int colorCode;           // cv::cvtColor code, or -1 for a plain copy
};

Conversion ConversionFor(uint32_t pixelFormat) {
    switch (pixelFormat) {
    case PixelFormatBayerRG8:
        return {true, CV_8UC1, 1, cv::COLOR_BayerBG2BGR};
    case PixelFormatBayerGB8:
        return {true, CV_8UC1, 1, cv::COLOR_BayerGR2BGR};
    case PixelFormatRGB8:
        return {true, CV_8UC3, 3, cv::COLOR_RGB2BGR};
    case PixelFormatBGR8:
        return {true, CV_8UC3, 3, -1};
    case PixelFormatMono8:
        return {true, CV_8UC1, 1, cv::COLOR_GRAY2BGR};
    default:
        return {false, 0, 0, 0};
    }
}

uint64_t PictureBytes(const FrameFormat& format) {
    return static_cast<uint64_t>(format.Width) * format.Height * kOutputBytesPerPixel;
}

// Checked before anything is written: a buffer smaller than the format
// claims, or an empty format, is never touched.
bool PictureFits(const FrameFormat& format, uint32_t bufferSize) {
    return format.Width != 0 && format.Height != 0 && PictureBytes(format) <= bufferSize;
}

bool RawFrameFits(const Conversion& conversion, const FrameFormat& format, const uint8_t* data, uint32_t size) {
    const uint64_t needed = static_cast<uint64_t>(format.Width) * format.Height * conversion.bytesPerPixel;
    return data != nullptr && needed <= size;
}

void FillGrey(uint8_t* buffer, uint32_t size) {
    if (buffer != nullptr) std::memset(buffer, kMidGrey, size);
}

// Converts the raw frame (rows x cols of the conversion's source type) into
// out, which wraps an existing buffer of exactly that size: OpenCV then
// writes into it instead of allocating. The data check guards that promise.
HRESULT ConvertInto(const Conversion& conversion, const uint8_t* data, int rows, int cols, cv::Mat& out) {
    uint8_t* const target = out.data;
    const cv::Mat source(rows, cols, conversion.sourceType, const_cast<uint8_t*>(data));
    if (conversion.colorCode < 0) {
        source.copyTo(out);
    } else {
        cv::cvtColor(source, out, conversion.colorCode);
    }
    return out.data == target ? S_OK : E_FAIL;
}

// Flip 1 turns around the horizontal axis, 2 around the vertical axis, any
// other non-zero value around both.
int FlipCode(uint32_t flip) {
    if (flip == 1) return 0;
    if (flip == 2) return 1;
    return -1;
}

// -1 for values that rotate nothing.
int RotateCode(uint32_t rotation) {
    switch (rotation) {
    case 90:
        return cv::ROTATE_90_CLOCKWISE;
    case 180:
        return cv::ROTATE_180;
    case 270:
        return cv::ROTATE_90_COUNTERCLOCKWISE;
    default:
        return -1;
    }
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

        const Conversion conversion = ConversionFor(m_pixelFormat);
        if (!conversion.known) {
            FillGrey(buffer, bufferSize);
            return S_OK;
        }
        if (buffer == nullptr || !PictureFits(format, bufferSize)) return E_FAIL;
        if (!RawFrameFits(conversion, format, data, size)) {
            FillGrey(buffer, bufferSize);
            return E_INVALIDARG;
        }
        const int rows = static_cast<int>(format.Height);
        const int cols = static_cast<int>(format.Width);
        cv::Mat out(rows, cols, CV_8UC3, buffer);
        if (conversion.colorCode >= 0) TakeTurn();
        return ConvertInto(conversion, data, rows, cols, out);
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

        FrameFormat turned = format;
        if (m_rotation != 0 && m_rotation != 180) {
            std::swap(turned.Width, turned.Height);
            std::swap(turned.AspectX, turned.AspectY);
            status = m_image->SetFormat(&turned);
            if (FAILED(status)) return status;
        }
        uint8_t* buffer = nullptr;
        uint32_t bufferSize = 0;
        status = m_image->GetBuffer(&buffer, &bufferSize);
        if (FAILED(status)) return status;

        const Conversion conversion = ConversionFor(m_pixelFormat);
        if (!conversion.known) {
            FillGrey(buffer, bufferSize);
            return S_OK;
        }
        if (buffer == nullptr || !PictureFits(turned, bufferSize)) return E_FAIL;
        const int rotateCode = RotateCode(m_rotation);
        // A rotation the camera does not offer: the format is already turned,
        // so no picture fits it; grey says so instead of a garbled frame.
        if (m_rotation != 0 && rotateCode < 0) {
            FillGrey(buffer, bufferSize);
            return E_INVALIDARG;
        }
        if (!RawFrameFits(conversion, format, data, size)) {
            FillGrey(buffer, bufferSize);
            return E_INVALIDARG;
        }

        const int rows = static_cast<int>(format.Height);
        const int cols = static_cast<int>(format.Width);
        cv::Mat work;
        status = WorkPicture(rows, cols, &work);
        if (FAILED(status)) return status;
        if (conversion.colorCode >= 0) TakeTurn();
        status = ConvertInto(conversion, data, rows, cols, work);
        // Flip and rotation run on one core: the next frame's turn may begin.
        EndTurn();
        if (FAILED(status)) return status;

        // Flip before rotation. The last step writes straight into the image,
        // so it doubles as the final copy; cv::rotate cannot work in place
        // without a temporary picture, and here it never has to.
        cv::Mat out(static_cast<int>(turned.Height), static_cast<int>(turned.Width), CV_8UC3, buffer);
        if (rotateCode >= 0) {
            if (m_flip != 0) cv::flip(work, work, FlipCode(m_flip));
            cv::rotate(work, out, rotateCode);
        } else if (m_flip != 0) {
            cv::flip(work, out, FlipCode(m_flip));
        } else {
            work.copyTo(out);
        }
        return out.data == buffer ? S_OK : E_FAIL;
    } catch (const cv::Exception&) {
        return E_FAIL;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::exception&) {
        return E_FAIL;
    }
}

HRESULT CVideoConvTask::WorkPicture(int rows, int cols, cv::Mat* picture) {
    const size_t bytes = static_cast<size_t>(rows) * static_cast<size_t>(cols) * kOutputBytesPerPixel;
    if (m_workMemory.Size() < bytes) {
        // Free the smaller block first so that both never exist at once.
        m_workMemory = platform::TouchedMemory();
        m_workMemory = platform::TouchedMemory(bytes);
        if (m_workMemory.Data() == nullptr) return E_OUTOFMEMORY;
    }
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
