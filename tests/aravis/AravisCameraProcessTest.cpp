// The Aravis camera against the fake GigE Vision camera of aravis-tools, run
// as a separate process on 127.0.0.2 in the test's private network namespace:
// opening, the device record, region, pixel formats, exposure bounds,
// snapshots, streaming with transforms, the streaming state rules,
// reconnection after the camera process dies, and a pixel format the camera
// does not convert.
//
// The fake camera draws a diagonal ramp: in Mono8 the pixel (x, y) is
// (x + y + c) % 255, c counting frames (at its 10 ms exposure and gain 0);
// in RGB8 the same ramp position is mapped to a fixed colour.
#include <arv.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <thread>
#include <vector>

#include "aravis/CAravisCamera.h"
#include "aravis/FakeCameraProcess.h"
#include "aravis/FrameRecorder.h"
#include "aravis/GObjectPtr.h"
#include "frame/ComPtr.h"

namespace optivane {
namespace {

using std::chrono::seconds;
using test::FakeCameraProcess;
using test::FrameRecorder;

constexpr const char* kCameraAddress = "127.0.0.2";
constexpr uint32_t kPixelFormatMono16 = 0x01100007;

using RgbRow = std::vector<std::array<uint8_t, 3>>;

// The ramp of the fake camera: every pixel grey, and its value steps by dx
// along a row and dy down a column, modulo 255.
bool IsGreyRamp(const std::vector<uint8_t>& bgr, uint32_t width, uint32_t height, int dx, int dy) {
    if (bgr.size() < static_cast<size_t>(width) * height * 3 || width == 0 || height == 0) return false;
    const int origin = bgr[0];
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* pixel = &bgr[(static_cast<size_t>(y) * width + x) * 3];
            if (pixel[0] != pixel[1] || pixel[1] != pixel[2]) return false;
            const int expected = ((origin + dx * static_cast<int>(x) + dy * static_cast<int>(y)) % 255 + 255) % 255;
            if (pixel[0] != expected) return false;
        }
    }
    return true;
}

// Row 0 of a blue-green-red picture of the RGB8 ramp must be the colours of a
// raw row (red, green, blue), cyclically shifted by the frame counter.
bool MatchesColourRamp(const uint8_t* bgr, uint32_t width, const RgbRow& raw) {
    const size_t period = raw.size();
    const size_t compared = std::min<size_t>(width, period);
    for (size_t shift = 0; shift < period; ++shift) {
        bool match = true;
        for (size_t t = 0; t < compared && match; ++t) {
            const std::array<uint8_t, 3>& rgb = raw[(t + shift) % period];
            const uint8_t* pixel = bgr + t * 3;
            match = pixel[0] == rgb[2] && pixel[1] == rgb[1] && pixel[2] == rgb[0];
        }
        if (match) return true;
    }
    return false;
}

double ProcessCpuSeconds() {
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

class AravisCameraProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_fake.Start()) << "arv-fake-gv-camera-0.8 cannot be started";
        m_deviceId = WaitForDevice();
        ASSERT_FALSE(m_deviceId.empty()) << "the fake camera did not appear on " << kCameraAddress;
    }
    void TearDown() override { m_fake.Kill(); }

    // Discovery on loopback, until the fake camera answers.
    static std::string WaitForDevice() {
        for (int attempt = 0; attempt < 100; ++attempt) {
            arv_update_device_list();
            for (unsigned i = 0; i < arv_get_n_devices(); ++i) {
                const char* address = arv_get_device_address(i);
                const char* id = arv_get_device_id(i);
                if (address != nullptr && id != nullptr && std::strcmp(address, kCameraAddress) == 0) return id;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return {};
    }

    static ComPtr<IAravisCamera> NewCamera() {
        HRESULT status = S_OK;
        CUnknown* object = CAravisCamera::CreateInstance(nullptr, &status);
        if (object == nullptr) return {};
        object->NonDelegatingAddRef();
        ComPtr<IAravisCamera> camera;
        object->NonDelegatingQueryInterface(IID_IAravisCamera, camera.ReceiveVoid());
        object->NonDelegatingRelease();
        return camera;
    }

    CameraDeviceInfo Record(const std::string& id) const {
        CameraDeviceInfo record{};
        std::snprintf(record.DeviceId, sizeof(record.DeviceId), "%s", id.c_str());
        return record;
    }

    ComPtr<IAravisCamera> OpenCamera() {
        ComPtr<IAravisCamera> camera = NewCamera();
        if (!camera) return {};
        const CameraDeviceInfo record = Record(m_deviceId);
        if (camera->Open(&record) != S_OK) return {};
        return camera;
    }

    // Sets the fake camera's pixel format through a connection of the test's
    // own, before the camera under test opens it, and returns row 0 of one
    // raw frame (red, green, blue) when the format is RGB8.
    RgbRow PrepareFormat(uint32_t pixelFormat) {
        GErrorPtr error;
        GObjectPtr<ArvCamera> device = GObjectPtr<ArvCamera>::Adopt(arv_camera_new(m_deviceId.c_str(), error.Out()));
        EXPECT_TRUE(device && !error) << error.Message();
        if (!device) return {};
        arv_camera_set_pixel_format(device.Get(), pixelFormat, error.Out());
        EXPECT_FALSE(error) << error.Message();
        RgbRow row;
        if (pixelFormat != PixelFormatRGB8) return row;
        GObjectPtr<ArvBuffer> buffer = GObjectPtr<ArvBuffer>::Adopt(arv_camera_acquisition(device.Get(), 5000000, error.Out()));
        EXPECT_TRUE(buffer && !error) << error.Message();
        if (!buffer) return row;
        size_t size = 0;
        const uint8_t* data = static_cast<const uint8_t*>(arv_buffer_get_data(buffer.Get(), &size));
        for (size_t t = 0; t < 255 && (t + 1) * 3 <= size; ++t) row.push_back({data[t * 3], data[t * 3 + 1], data[t * 3 + 2]});
        return row;
    }

    FakeCameraProcess m_fake{kCameraAddress};
    std::string m_deviceId;
    std::string m_folder = ::testing::TempDir();
};

// ---------------------------------------------------------------------------
// Opening and queries

TEST_F(AravisCameraProcessTest, OpenFillsTheDeviceRecordAndASecondOpenFails) {
    ComPtr<IAravisCamera> camera = NewCamera();
    ASSERT_TRUE(camera);
    const CameraDeviceInfo record = Record(m_deviceId);
    ASSERT_EQ(camera->Open(&record), S_OK);

    CameraDeviceInfo info;
    std::memset(&info, 0, sizeof(info));
    ASSERT_EQ(camera->GetDeviceInfo(&info), S_OK);
    EXPECT_STREQ(info.DeviceId, "GV01");  // the device's own DeviceID feature
    EXPECT_STREQ(info.VendorName, "Aravis");
    EXPECT_STREQ(info.ModelName, "Fake");
    EXPECT_STREQ(info.SerialNumber, "GV01");
    EXPECT_STREQ(info.IpAddress, "0.0.0.0");  // the fake camera's persistent address register
    EXPECT_STREQ(info.DeviceUserId, "");      // the fake camera has no DeviceUserID
    EXPECT_EQ(info.WidthMax, 2048u);
    EXPECT_EQ(info.HeightMax, 2048u);

    // Fields whose query fails keep what they had.
    std::memset(&info, 0, sizeof(info));
    std::strcpy(info.DeviceUserId, "kept");
    ASSERT_EQ(camera->GetDeviceInfo(&info), S_OK);
    EXPECT_STREQ(info.DeviceUserId, "kept");

    EXPECT_EQ(camera->Open(&record), E_FAIL);
    EXPECT_EQ(camera->GetDeviceInfo(nullptr), E_FAIL);
    // Still opened once: Close does not allow another Open, yet the handle comes back on demand.
    EXPECT_EQ(camera->Close(), S_OK);
    EXPECT_EQ(camera->Open(&record), E_FAIL);
    uint32_t x, y, width, height;
    EXPECT_EQ(camera->GetRegion(&x, &y, &width, &height), S_OK);
}

TEST_F(AravisCameraProcessTest, OpenOfAnUnknownIdFailsAndLeavesTheCameraUnopened) {
    ComPtr<IAravisCamera> camera = NewCamera();
    ASSERT_TRUE(camera);
    const CameraDeviceInfo unknown = Record("Nobody-Answers-This");
    EXPECT_EQ(camera->Open(&unknown), E_FAIL);
    const CameraDeviceInfo empty = Record("");
    EXPECT_EQ(camera->Open(&empty), E_FAIL);

    // No device id was kept, so nothing reaches a device.
    uint32_t x = 7, y = 7, width = 7, height = 7;
    EXPECT_EQ(camera->GetRegion(&x, &y, &width, &height), E_FAIL);
    EXPECT_EQ(width, 0u);
    double low = -1, high = -1;
    EXPECT_EQ(camera->GetExposureTimeRange(&low, &high), E_FAIL);
    EXPECT_EQ(low, -1);
    CameraDeviceInfo info{};
    EXPECT_EQ(camera->GetDeviceInfo(&info), E_FAIL);

    const CameraDeviceInfo good = Record(m_deviceId);
    EXPECT_EQ(camera->Open(&good), S_OK);
}

TEST_F(AravisCameraProcessTest, RegionPixelFormatsAndExposureBounds) {
    ComPtr<IAravisCamera> camera = OpenCamera();
    ASSERT_TRUE(camera);

    uint32_t x = 9, y = 9, width = 0, height = 0;
    ASSERT_EQ(camera->GetRegion(&x, &y, &width, &height), S_OK);
    EXPECT_EQ(x, 0u);
    EXPECT_EQ(y, 0u);
    EXPECT_EQ(width, 512u);
    EXPECT_EQ(height, 512u);
    ASSERT_EQ(camera->SetRegion(16, 8, 320, 240), S_OK);
    ASSERT_EQ(camera->GetRegion(&x, &y, &width, &height), S_OK);
    EXPECT_EQ(x, 16u);
    EXPECT_EQ(y, 8u);
    EXPECT_EQ(width, 320u);
    EXPECT_EQ(height, 240u);

    CameraPixelFormat formats[16];
    uint32_t count = 0;
    ASSERT_EQ(camera->GetPixelFormats(formats, 16, &count), S_OK);
    ASSERT_EQ(count, 7u);
    bool sawMono8 = false, sawMono16 = false;
    for (uint32_t i = 0; i < count; ++i) {
        EXPECT_LT(std::strlen(formats[i].Name), sizeof(formats[i].Name));
        if (std::strcmp(formats[i].Name, "Mono8") == 0) sawMono8 = formats[i].Code == PixelFormatMono8;
        if (std::strcmp(formats[i].Name, "Mono16") == 0) sawMono16 = formats[i].Code == kPixelFormatMono16;
    }
    EXPECT_TRUE(sawMono8);
    EXPECT_TRUE(sawMono16);
    // Too small a list: nothing is written, not even the count.
    uint32_t untouched = 12345;
    CameraPixelFormat two[2] = {};
    EXPECT_EQ(camera->GetPixelFormats(two, 2, &untouched), E_FAIL);
    EXPECT_EQ(untouched, 12345u);
    EXPECT_EQ(two[0].Name[0], '\0');

    double low = 0, high = 0;
    ASSERT_EQ(camera->GetExposureTimeRange(&low, &high), S_OK);
    EXPECT_EQ(low, 10.0);
    EXPECT_EQ(high, 10000000.0);
    // The bounds themselves are refused, one microsecond inside is taken.
    EXPECT_EQ(camera->SetParameter(CameraParameterExposureTime, 10), E_FAIL);
    EXPECT_EQ(camera->SetParameter(CameraParameterExposureTime, 10000000), E_FAIL);
    EXPECT_EQ(camera->SetParameter(CameraParameterExposureTime, 11), S_OK);
    uint32_t exposure = 0;
    EXPECT_EQ(camera->GetParameter(CameraParameterExposureTime, &exposure), S_OK);
    EXPECT_EQ(exposure, 11u);
    EXPECT_EQ(camera->SetParameter(CameraParameterExposureTime, 9999999), S_OK);
}

// ---------------------------------------------------------------------------
// Snapshots

TEST_F(AravisCameraProcessTest, SnapshotsToPngJpegAndBmpFollowTheExtension) {
    ComPtr<IAravisCamera> camera = OpenCamera();
    ASSERT_TRUE(camera);
    ASSERT_EQ(camera->SetRegion(0, 0, 320, 240), S_OK);

    for (const char* extension : {".png", ".jpg", ".bmp"}) {
        const std::string path = m_folder + "aravis-snapshot" + extension;
        std::remove(path.c_str());
        ASSERT_EQ(camera->SaveSnapshot(0, path.c_str()), S_OK) << extension;
        const cv::Mat picture = cv::imread(path, cv::IMREAD_UNCHANGED);
        ASSERT_FALSE(picture.empty()) << extension;
        EXPECT_EQ(picture.cols, 320) << extension;
        EXPECT_EQ(picture.rows, 240) << extension;
        EXPECT_EQ(picture.channels(), 3) << extension;
        if (std::strcmp(extension, ".jpg") != 0) {
            // Lossless formats hold the ramp exactly.
            std::vector<uint8_t> pixels(picture.datastart, picture.dataend);
            EXPECT_TRUE(IsGreyRamp(pixels, 320, 240, 1, 1)) << extension;
        }
        std::remove(path.c_str());
    }
    // No writer for the extension, and a folder that does not exist.
    EXPECT_EQ(camera->SaveSnapshot(0, (m_folder + "aravis-snapshot.unknown").c_str()), E_FAIL);
    EXPECT_EQ(camera->SaveSnapshot(0, "/nonexistent-folder/aravis-snapshot.png"), E_FAIL);
    EXPECT_EQ(camera->SaveSnapshot(0, nullptr), E_POINTER);
}

TEST_F(AravisCameraProcessTest, SnapshotImageCarriesFormatTimeAndRotatedPicture) {
    ComPtr<IAravisCamera> camera = OpenCamera();
    ASSERT_TRUE(camera);
    ASSERT_EQ(camera->SetRegion(0, 0, 320, 240), S_OK);
    EXPECT_EQ(camera->GrabSnapshot(0, nullptr), E_POINTER);

    const int64_t before = std::chrono::duration_cast<std::chrono::microseconds>(
                               std::chrono::system_clock::now().time_since_epoch())
                               .count();
    ComPtr<IUnknown> object;
    ASSERT_EQ(camera->GrabSnapshot(0, object.Receive()), S_OK);
    ComPtr<IFrameImage> image;
    ASSERT_EQ(object->QueryInterface(IID_IFrameImage, image.ReceiveVoid()), S_OK);
    FrameFormat format{};
    ASSERT_EQ(image->GetFormat(&format), S_OK);
    EXPECT_EQ(format.Width, 320u);
    EXPECT_EQ(format.Height, 240u);
    FrameTime start{}, end{};
    ASSERT_EQ(image->GetTime(&start, &end), S_OK);
    EXPECT_EQ(start.UnitsPerSecond, 1000000);
    EXPECT_EQ(start.Value, end.Value);
    EXPECT_GE(start.Value, before);
    uint8_t* data = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(image->GetBuffer(&data, &size), S_OK);
    EXPECT_TRUE(IsGreyRamp(std::vector<uint8_t>(data, data + size), 320, 240, 1, 1));

    // A quarter turn clockwise: the picture stands upright, the ramp falls along x.
    ASSERT_EQ(camera->SetParameter(CameraParameterRotation, 90), S_OK);
    ASSERT_EQ(camera->GrabSnapshot(0, object.Receive()), S_OK);
    ASSERT_EQ(object->QueryInterface(IID_IFrameImage, image.ReceiveVoid()), S_OK);
    ASSERT_EQ(image->GetFormat(&format), S_OK);
    EXPECT_EQ(format.Width, 240u);
    EXPECT_EQ(format.Height, 320u);
    ASSERT_EQ(image->GetBuffer(&data, &size), S_OK);
    EXPECT_TRUE(IsGreyRamp(std::vector<uint8_t>(data, data + size), 240, 320, -1, 1));
}

// ---------------------------------------------------------------------------
// Streaming

TEST_F(AravisCameraProcessTest, StreamsFramesInOrderAtTheSetRate) {
    // Declared first: it must outlive the streaming camera.
    FrameRecorder recorder;
    ComPtr<IAravisCamera> camera = OpenCamera();
    ASSERT_TRUE(camera);
    ASSERT_EQ(camera->SetRegion(0, 0, 320, 240), S_OK);
    ASSERT_EQ(camera->SetParameter(CameraParameterFrameRate, 1000), S_OK);  // 10 per second

    int context = 0;
    ASSERT_EQ(camera->StartStreaming(&recorder, &context), S_OK);
    ASSERT_TRUE(recorder.WaitForCount(12, seconds(60)));
    std::vector<uint8_t> pixels;
    const FrameRecorder::Frame latest = recorder.Latest(&pixels);
    ASSERT_EQ(camera->StopStreaming(), S_OK);
    const size_t stopped = recorder.Count();

    const std::vector<FrameRecorder::Frame> frames = recorder.Frames();
    for (size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(frames[i].status, 0);
        EXPECT_EQ(frames[i].context, &context);
        EXPECT_EQ(frames[i].format.Width, 320u);
        EXPECT_EQ(frames[i].format.Height, 240u);
        EXPECT_EQ(frames[i].start.UnitsPerSecond, 1000000);
        if (i > 0) {
            EXPECT_GT(frames[i].start.Value, frames[i - 1].start.Value) << "frame " << i;
        }
    }
    // Past the first frames, which may leave the stream together, nine
    // intervals at ten per second span about 0.9 s; the camera's own 25 per
    // second would give 0.36 s.
    EXPECT_GE(frames[11].start.Value - frames[2].start.Value, 600000);
    EXPECT_TRUE(IsGreyRamp(pixels, latest.format.Width, latest.format.Height, 1, 1));

    // Nothing arrives once StopStreaming has returned.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(recorder.Count(), stopped);
}

TEST_F(AravisCameraProcessTest, Rgb8KeepsItsColoursInSnapshotsAndStreams) {
    const RgbRow raw = PrepareFormat(PixelFormatRGB8);
    ASSERT_EQ(raw.size(), 255u);
    // Declared first: it must outlive the streaming camera.
    FrameRecorder recorder;
    ComPtr<IAravisCamera> camera = OpenCamera();
    ASSERT_TRUE(camera);
    ASSERT_EQ(camera->SetRegion(0, 0, 256, 64), S_OK);

    ComPtr<IUnknown> object;
    ASSERT_EQ(camera->GrabSnapshot(0, object.Receive()), S_OK);
    ComPtr<IFrameImage> image;
    ASSERT_EQ(object->QueryInterface(IID_IFrameImage, image.ReceiveVoid()), S_OK);
    uint8_t* data = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(image->GetBuffer(&data, &size), S_OK);
    ASSERT_GE(size, 256u * 64 * 3);
    EXPECT_TRUE(MatchesColourRamp(data, 256, raw));
    const std::string path = m_folder + "aravis-rgb.png";
    ASSERT_EQ(camera->SaveSnapshot(0, path.c_str()), S_OK);
    const cv::Mat picture = cv::imread(path, cv::IMREAD_COLOR);
    ASSERT_FALSE(picture.empty());
    EXPECT_TRUE(MatchesColourRamp(picture.ptr<uint8_t>(0), 256, raw));
    std::remove(path.c_str());

    ASSERT_EQ(camera->SetParameter(CameraParameterFrameRate, 2000), S_OK);
    ASSERT_EQ(camera->StartStreaming(&recorder, nullptr), S_OK);
    ASSERT_TRUE(recorder.WaitForCount(3, seconds(60)));
    std::vector<uint8_t> pixels;
    const FrameRecorder::Frame latest = recorder.Latest(&pixels);
    EXPECT_EQ(camera->StopStreaming(), S_OK);
    ASSERT_EQ(latest.format.Width, 256u);
    ASSERT_GE(pixels.size(), 256u * 3);
    EXPECT_TRUE(MatchesColourRamp(pixels.data(), 256, raw));
}

TEST_F(AravisCameraProcessTest, RotationAndFlipApplyToStreamedFrames) {
    // Declared first: it must outlive the streaming camera.
    FrameRecorder recorder;
    ComPtr<IAravisCamera> camera = OpenCamera();
    ASSERT_TRUE(camera);
    ASSERT_EQ(camera->SetRegion(0, 0, 320, 240), S_OK);
    ASSERT_EQ(camera->SetParameter(CameraParameterFrameRate, 2000), S_OK);
    ASSERT_EQ(camera->StartStreaming(&recorder, nullptr), S_OK);

    struct Case {
        uint32_t rotation, flip, width, height;
        int dx, dy;
    };
    // Flip 1 mirrors top to bottom, 2 left to right, anything else both;
    // rotation turns clockwise after the flip.
    const Case cases[] = {{90, 0, 240, 320, -1, 1}, {180, 0, 320, 240, -1, -1}, {270, 0, 240, 320, 1, -1},
                          {0, 1, 320, 240, 1, -1},  {0, 2, 320, 240, -1, 1},    {0, 3, 320, 240, -1, -1},
                          {90, 1, 240, 320, 1, 1}};
    for (const Case& c : cases) {
        ASSERT_EQ(camera->SetParameter(CameraParameterRotation, c.rotation), S_OK);
        ASSERT_EQ(camera->SetParameter(CameraParameterFlip, c.flip), S_OK);
        // Frames already in the ring of four were made with the old setting.
        ASSERT_TRUE(recorder.WaitForCount(recorder.Count() + 6, seconds(60)));
        std::vector<uint8_t> pixels;
        const FrameRecorder::Frame latest = recorder.Latest(&pixels);
        EXPECT_EQ(latest.format.Width, c.width) << c.rotation << "/" << c.flip;
        EXPECT_EQ(latest.format.Height, c.height) << c.rotation << "/" << c.flip;
        EXPECT_TRUE(IsGreyRamp(pixels, latest.format.Width, latest.format.Height, c.dx, c.dy))
            << c.rotation << "/" << c.flip;
    }
    EXPECT_EQ(camera->StopStreaming(), S_OK);
}

TEST_F(AravisCameraProcessTest, StreamingStateRules) {
    // Declared first: it must outlive the streaming camera.
    FrameRecorder recorder;
    ComPtr<IAravisCamera> camera = NewCamera();
    ASSERT_TRUE(camera);
    int context = 0;

    // Stop without start; start without Open streams nothing and stops cleanly.
    EXPECT_EQ(camera->StopStreaming(), S_OK);
    ASSERT_EQ(camera->StartStreaming(&recorder, &context), S_OK);
    EXPECT_EQ(camera->StartStreaming(&recorder, &context), E_FAIL);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    EXPECT_EQ(camera->StopStreaming(), S_OK);
    EXPECT_EQ(recorder.Count(), 0u);

    const CameraDeviceInfo record = Record(m_deviceId);
    ASSERT_EQ(camera->Open(&record), S_OK);
    ASSERT_EQ(camera->SetRegion(0, 0, 320, 240), S_OK);
    ASSERT_EQ(camera->SetParameter(CameraParameterFrameRate, 2000), S_OK);
    ASSERT_EQ(camera->StartStreaming(&recorder, &context), S_OK);
    EXPECT_EQ(camera->StartStreaming(&recorder, &context), E_FAIL);
    ASSERT_TRUE(recorder.WaitForCount(3, seconds(60)));

    // A snapshot while streaming takes a frame from the live stream.
    const std::string path = m_folder + "aravis-live.bmp";
    EXPECT_EQ(camera->SaveSnapshot(0, path.c_str()), S_OK);
    EXPECT_FALSE(cv::imread(path).empty());
    std::remove(path.c_str());

    // Stop, then RestartStreaming resumes into the same sink and context.
    EXPECT_EQ(camera->StopStreaming(), S_OK);
    const size_t afterStop = recorder.Count();
    ASSERT_EQ(camera->RestartStreaming(), S_OK);
    ASSERT_TRUE(recorder.WaitForCount(afterStop + 3, seconds(60)));
    for (const FrameRecorder::Frame& frame : recorder.Frames()) EXPECT_EQ(frame.context, &context);
    EXPECT_EQ(camera->Reserved(), S_OK);

    // Close while streaming stops the stream; then streaming may start again.
    EXPECT_EQ(camera->Close(), S_OK);
    const size_t afterClose = recorder.Count();
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(recorder.Count(), afterClose);
    ASSERT_EQ(camera->StartStreaming(&recorder, &context), S_OK);
    ASSERT_TRUE(recorder.WaitForCount(afterClose + 3, seconds(60)));
    // Released while streaming: the destructor stops the thread.
}

TEST_F(AravisCameraProcessTest, StreamingResumesAfterTheCameraProcessComesBack) {
    FrameRecorder recorder;
    ComPtr<IAravisCamera> camera = OpenCamera();
    ASSERT_TRUE(camera);
    ASSERT_EQ(camera->SetRegion(0, 0, 320, 240), S_OK);
    // 20 frames per second and 10 ms exposure: a run gives up after 0.5 s without frames.
    ASSERT_EQ(camera->SetParameter(CameraParameterFrameRate, 2000), S_OK);
    ASSERT_EQ(camera->SetParameter(CameraParameterExposureTime, 10000), S_OK);
    int context = 0;
    ASSERT_EQ(camera->StartStreaming(&recorder, &context), S_OK);
    ASSERT_TRUE(recorder.WaitForCount(5, seconds(60)));

    m_fake.Kill();
    std::this_thread::sleep_for(seconds(2));
    const size_t whileAway = recorder.Count();
    ASSERT_TRUE(m_fake.Start());

    // The camera process comes back with its standard region. Setting the
    // small one again from this thread while the streaming thread reconnects
    // exercises the handle shared between them; a run that started with the
    // old region before gives up and the next one takes the new region.
    bool regionSet = false;
    for (int attempt = 0; attempt < 120 && !regionSet; ++attempt) {
        uint32_t x, y, width = 0, height = 0;
        regionSet = camera->SetRegion(0, 0, 320, 240) == S_OK && camera->GetRegion(&x, &y, &width, &height) == S_OK &&
                    width == 320 && height == 240;
        if (!regionSet) std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    EXPECT_TRUE(regionSet);
    EXPECT_TRUE(recorder.WaitForCount(whileAway + 5, seconds(90))) << "no frames after the camera came back";
    EXPECT_EQ(camera->StopStreaming(), S_OK);
    for (const FrameRecorder::Frame& frame : recorder.Frames()) EXPECT_EQ(frame.context, &context);
    std::vector<uint8_t> pixels;
    const FrameRecorder::Frame latest = recorder.Latest(&pixels);
    EXPECT_EQ(latest.format.Width, 320u);
    EXPECT_TRUE(IsGreyRamp(pixels, latest.format.Width, latest.format.Height, 1, 1));
}

TEST_F(AravisCameraProcessTest, UnconvertedPixelFormatNeverReachesTheSinkNorSpins) {
    PrepareFormat(kPixelFormatMono16);
    // Declared first: it must outlive the streaming camera.
    FrameRecorder recorder;
    ComPtr<IAravisCamera> camera = OpenCamera();
    ASSERT_TRUE(camera);
    EXPECT_EQ(camera->SaveSnapshot(0, (m_folder + "aravis-mono16.png").c_str()), E_FAIL);
    ComPtr<IUnknown> image;
    EXPECT_EQ(camera->GrabSnapshot(0, image.Receive()), E_FAIL);
    EXPECT_FALSE(image);

    ASSERT_EQ(camera->StartStreaming(&recorder, nullptr), S_OK);
    const double cpuBefore = ProcessCpuSeconds();
    std::this_thread::sleep_for(seconds(2));
    const double cpuUsed = ProcessCpuSeconds() - cpuBefore;
    EXPECT_EQ(camera->StopStreaming(), S_OK);
    EXPECT_EQ(recorder.Count(), 0u);
    // Retries pause 100 ms each; a spinning thread would use the whole 2 s.
    EXPECT_LT(cpuUsed, 1.0);
}

TEST(AravisCameraObject, AnswersItsInterfaceAndIUnknownOnly) {
    HRESULT status = S_OK;
    CUnknown* object = CAravisCamera::CreateInstance(nullptr, &status);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(status, S_OK);
    object->NonDelegatingAddRef();
    ComPtr<IAravisCamera> camera;
    EXPECT_EQ(object->NonDelegatingQueryInterface(IID_IAravisCamera, camera.ReceiveVoid()), S_OK);
    // IUnknown is the object's own non-delegating unknown: one identity.
    ComPtr<IUnknown> unknown;
    EXPECT_EQ(camera->QueryInterface(IID_IUnknown, unknown.ReceiveVoid()), S_OK);
    ComPtr<IUnknown> again;
    EXPECT_EQ(object->NonDelegatingQueryInterface(IID_IUnknown, again.ReceiveVoid()), S_OK);
    EXPECT_EQ(unknown.Get(), again.Get());
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(camera->QueryInterface(IID_IOptivane, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(camera->QueryInterface(IID_IAravisCamera, nullptr), E_POINTER);
    object->NonDelegatingRelease();
}

}  // namespace
}  // namespace optivane
