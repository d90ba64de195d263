#include "aravis/AravisSnapshot.h"

#include <exception>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "aravis/AravisUserSets.h"
#include "aravis/GObjectPtr.h"
#include "frame/ComPtr.h"
#include "runtime/CDebugLog.h"
#include "runtime/CTimeUtil.h"
#include "runtime/CVrelAutoLock.h"
#include "video/PixelConversion.h"

namespace optivane {

namespace {

constexpr const char* kClassName = "AravisSnapshot";
// A snapshot waits for its frame up to the exposure plus this.
constexpr double kFrameWaitMicroseconds = 10000000.0;

}  // namespace

AravisSnapshot::AravisSnapshot(AravisDevice& device, AravisStreamer& streamer, const AravisStreamSettings& settings)
    : m_device(device), m_streamer(streamer), m_settings(settings), m_zendra(ModuleLoader::ForSibling("Zendra")) {}

HRESULT AravisSnapshot::Capture(const char* path, IUnknown** frame) {
    CVrelAutoLock lock(&m_streamer.StreamLock());
    const GObjectPtr<ArvCamera> device = m_device.Current();
    if (!device) return E_FAIL;

    gint x = 0, y = 0, width = 0, height = 0;
    GErrorPtr regionError;
    arv_camera_get_region(device.Get(), &x, &y, &width, &height, regionError.Out());

    uint32_t pixelFormat = 0;
    if (FAILED(aravis::ReadConvertiblePixelFormat(device.Get(), &pixelFormat))) return E_FAIL;

    GErrorPtr error;
    const double exposure = arv_camera_get_exposure_time(device.Get(), error.Out());
    if (error || !(exposure >= 0.0)) return E_FAIL;
    const guint64 timeout = static_cast<guint64>(exposure + kFrameWaitMicroseconds);

    // During an acquisition run the frame comes from the live stream and goes
    // back to it; otherwise one frame is grabbed on its own.
    ArvStream* stream = m_streamer.LiveStream();
    ArvBuffer* buffer = nullptr;
    if (stream != nullptr) {
        buffer = arv_stream_timeout_pop_buffer(stream, timeout);
    } else {
        buffer = arv_camera_acquisition(device.Get(), timeout, error.Out());
        if (error && buffer != nullptr) {
            g_object_unref(buffer);
            buffer = nullptr;
        }
    }
    if (buffer == nullptr) return E_FAIL;
    const int64_t frameTime = CTimeUtil().NowMicroseconds();

    const HRESULT status =
        arv_buffer_get_status(buffer) == ARV_BUFFER_STATUS_SUCCESS && width > 0 && height > 0
            ? Render(buffer, static_cast<uint32_t>(width), static_cast<uint32_t>(height), pixelFormat, frameTime,
                     path, frame)
            : E_FAIL;

    if (stream != nullptr) {
        arv_stream_push_buffer(stream, buffer);
    } else {
        g_object_unref(buffer);
    }
    return status;
}

HRESULT AravisSnapshot::Render(ArvBuffer* buffer, uint32_t width, uint32_t height, uint32_t pixelFormat,
                               int64_t frameTime, const char* path, IUnknown** frame) {
    size_t size = 0;
    const void* data = arv_buffer_get_data(buffer, &size);
    try {
        // The region may have changed since the frame was taken: the
        // conversion never reads past the buffer.
        cv::Mat converted;
        if (FAILED(PixelConversion::For(pixelFormat)
                       .ToBgr(static_cast<const uint8_t*>(data), size, static_cast<int>(height),
                              static_cast<int>(width), converted))) {
            return E_FAIL;
        }
        cv::Mat picture;
        FrameTransform(m_settings.rotation.load(), m_settings.flip.load()).Apply(converted, picture);

        if (path != nullptr && path[0] != '\0' && !cv::imwrite(path, picture)) {
            CDebugLog().Trace(kClassName, "cannot write the snapshot %s\n", path);
            return E_FAIL;
        }
        if (frame != nullptr) return MakeImage(picture, frameTime, frame);
        return S_OK;
    } catch (const std::exception& exception) {
        // cv::Exception for an unknown file type, an unwritable path or a
        // failed conversion; std::bad_alloc for a picture too large.
        CDebugLog().Trace(kClassName, "snapshot failed: %s\n", exception.what());
        return E_FAIL;
    }
}

HRESULT AravisSnapshot::MakeImage(const cv::Mat& picture, int64_t frameTime, IUnknown** frame) {
    if (m_zendra.Entry() == nullptr) return E_HANDLE;
    ComPtr<IFrameImage> image;
    const HRESULT created = m_zendra.CreateInstance(CLSID_SnapshotFrameImage, IID_IFrameImage, image.ReceiveVoid());
    if (FAILED(created)) return created;
    if (!image) return E_FAIL;

    const FrameFormat format{0, static_cast<uint32_t>(picture.cols), static_cast<uint32_t>(picture.rows), 0, 0, 0, 0};
    image->SetFormat(&format);
    const FrameTime time{frameTime, 1000000};
    image->SetTime(&time, &time);

    ComPtr<IImageRowAccess> rows;
    const HRESULT queried = image->QueryInterface(IID_IImageRowAccess, rows.ReceiveVoid());
    if (FAILED(queried)) return queried;
    if (!rows) return E_FAIL;
    for (int y = 0; y < picture.rows; ++y) {
        uint8_t* red = nullptr;
        uint8_t* green = nullptr;
        uint8_t* blue = nullptr;
        const HRESULT row = rows->GetRow(0, static_cast<uint32_t>(y), &red, &green, &blue);
        if (FAILED(row)) return row;
        if (red == nullptr || green == nullptr || blue == nullptr) return E_FAIL;
        const uint8_t* pixel = picture.ptr<uint8_t>(y);
        for (int x = 0; x < picture.cols; ++x, pixel += 3) {
            red[3 * x] = pixel[2];
            green[3 * x] = pixel[1];
            blue[3 * x] = pixel[0];
        }
    }
    *frame = image.Detach();
    return S_OK;
}

}  // namespace optivane
