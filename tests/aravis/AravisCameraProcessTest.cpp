// The Aravis camera against the fake GigE Vision camera of aravis-tools, run as
// a separate process on 127.0.0.2. It draws a diagonal ramp: in Mono8 the pixel
// (x, y) is (x + y + frame count) % 255; in RGB8 each ramp value has a colour.
#include <arv.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <ctime>
#include <map>
#include <opencv2/imgcodecs.hpp>
#include <thread>

#include "aravis/CameraUnderTest.h"
#include "aravis/FakeCameraProcess.h"
#include "aravis/FrameRecorder.h"

namespace optivane {
namespace {

using std::chrono::milliseconds;
using test::FrameRecorder;
constexpr const char* kCameraAddress = "127.0.0.2";
constexpr uint32_t kPixelFormatMono16 = 0x01100007;

// Every pixel grey, its value stepping by dx along a row and dy down a column, modulo 255.
bool IsGreyRamp(const std::vector<uint8_t>& bgr, uint32_t width, uint32_t height, int dx, int dy) {
    if (width == 0 || height == 0 || bgr.size() < size_t{width} * height * 3) return false;
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* pixel = &bgr[(size_t{y} * width + x) * 3];
            const int expected = ((bgr[0] + dx * int(x) + dy * int(y)) % 255 + 255) % 255;
            if (pixel[0] != pixel[1] || pixel[1] != pixel[2] || pixel[0] != expected) return false;
        }
    }
    return true;
}

// A blue-green-red row of the RGB8 ramp holds the 255 raw colours (red, green, blue), shifted cyclically.
bool MatchesColourRamp(const uint8_t* bgr, uint32_t width, const std::vector<uint8_t>& raw) {
    for (size_t shift = 0; shift < 255 && raw.size() == 255 * 3; ++shift) {
        bool match = true;
        for (size_t t = 0; t < std::min<size_t>(width, 255) && match; ++t) {
            const uint8_t* rgb = &raw[(t + shift) % 255 * 3];
            match = bgr[t * 3] == rgb[2] && bgr[t * 3 + 1] == rgb[1] && bgr[t * 3 + 2] == rgb[0];
        }
        if (match) return true;
    }
    return false;
}

class AravisCameraProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_fake.Start()) << "arv-fake-gv-camera-0.8 cannot be started";
        // Discovery on loopback, until the fake camera answers.
        for (int attempt = 0; attempt < 100 && m_deviceId.empty(); ++attempt) {
            arv_update_device_list();
            for (unsigned i = 0; i < arv_get_n_devices(); ++i) {
                const char* id = arv_get_device_id(i);
                if (id != nullptr && g_strcmp0(arv_get_device_address(i), kCameraAddress) == 0) m_deviceId = id;
            }
            if (m_deviceId.empty()) std::this_thread::sleep_for(milliseconds(100));
        }
        ASSERT_FALSE(m_deviceId.empty()) << "the fake camera did not appear on " << kCameraAddress;
    }

    // As written by GetRegion, whether it succeeds or not.
    std::array<uint32_t, 4> Region() {
        std::array<uint32_t, 4> r{9, 9, 9, 9};
        m_camera->GetRegion(&r[0], &r[1], &r[2], &r[3]);
        return r;
    }
    // A snapshot object, read as a streamed frame is.
    FrameRecorder::Frame Snapshot(std::vector<uint8_t>* pixels) {
        FrameRecorder recorder;
        ComPtr<IUnknown> image;
        if (m_camera->GrabSnapshot(0, image.Receive()) == S_OK) recorder.OnFrame(0, nullptr, image.Get());
        return recorder.Latest(pixels);
    }

    // Switches the fake camera to RGB8 itself; the first 255 pixels of a raw frame.
    std::vector<uint8_t> PrepareRgb8() {
        GErrorPtr error;
        auto device = GObjectPtr<ArvCamera>::Adopt(arv_camera_new(m_deviceId.c_str(), error.Out()));
        if (device) arv_camera_set_pixel_format(device.Get(), PixelFormatRGB8, error.Out());
        GObjectPtr<ArvBuffer> buffer;
        if (device && !error) buffer = GObjectPtr<ArvBuffer>::Adopt(arv_camera_acquisition(device.Get(), 5000000, error.Out()));
        EXPECT_FALSE(error) << error.Message();
        size_t size = 0;
        const auto* data = static_cast<const uint8_t*>(buffer ? arv_buffer_get_data(buffer.Get(), &size) : nullptr);
        return data != nullptr && size >= 255 * 3 ? std::vector<uint8_t>(data, data + 255 * 3) : std::vector<uint8_t>{};
    }

    test::FakeCameraProcess m_fake{kCameraAddress};
    std::string m_deviceId;
    const std::string m_folder = ::testing::TempDir();
    // Declared before the camera, which stops its stream when released.
    FrameRecorder m_recorder;
    ComPtr<IAravisCamera> m_camera;
};

TEST_F(AravisCameraProcessTest, IdentityOpenByIdQueriesSnapshotsAndExposureBounds) {
    m_camera = test::NewAravisCamera();
    ASSERT_TRUE(m_camera);
    // An unknown or empty id keeps nothing, so nothing reaches a device.
    for (const char* id : {"Nobody-Answers-This", ""}) {
        const CameraDeviceInfo record = test::DeviceRecord(id);
        EXPECT_EQ(E_FAIL, m_camera->Open(&record)) << id;
    }
    EXPECT_EQ((std::array<uint32_t, 4>{}), Region()) << "outputs cleared";
    CameraDeviceInfo info{};
    EXPECT_EQ(E_FAIL, m_camera->GetDeviceInfo(&info));

    const CameraDeviceInfo record = test::DeviceRecord(m_deviceId);
    ASSERT_EQ(S_OK, m_camera->Open(&record));
    // The fake camera has no DeviceUserID: a field whose query fails keeps what it had.
    std::strcpy(info.DeviceUserId, "kept");
    ASSERT_EQ(S_OK, m_camera->GetDeviceInfo(&info));
    EXPECT_STREQ("GV01", info.DeviceId);  // the device's own DeviceID, not the id opened
    EXPECT_STREQ("Aravis", info.VendorName);
    EXPECT_STREQ("Fake", info.ModelName);
    EXPECT_STREQ("GV01", info.SerialNumber);
    EXPECT_STREQ("0.0.0.0", info.IpAddress);  // its persistent address register
    EXPECT_STREQ("kept", info.DeviceUserId);
    EXPECT_EQ(2048u, info.WidthMax);
    EXPECT_EQ(2048u, info.HeightMax);
    EXPECT_EQ(E_FAIL, m_camera->GetDeviceInfo(nullptr));
    EXPECT_EQ(E_FAIL, m_camera->Open(&record)) << "opened once only";

    EXPECT_EQ((std::array<uint32_t, 4>{0, 0, 512, 512}), Region());
    ASSERT_EQ(S_OK, m_camera->SetRegion(16, 8, 320, 240));
    EXPECT_EQ((std::array<uint32_t, 4>{16, 8, 320, 240}), Region());

    CameraPixelFormat formats[16];
    uint32_t count = 0;
    ASSERT_EQ(S_OK, m_camera->GetPixelFormats(formats, 16, &count));
    ASSERT_EQ(7u, count);
    std::map<std::string, uint32_t> codes;
    for (uint32_t i = 0; i < count; ++i) codes[std::string(formats[i].Name, strnlen(formats[i].Name, 16))] = formats[i].Code;
    EXPECT_EQ(PixelFormatMono8, codes["Mono8"]);
    EXPECT_EQ(kPixelFormatMono16, codes["Mono16"]);
    // Too small a list: nothing is written, not even the count.
    CameraPixelFormat two[2] = {};
    count = 12345;
    EXPECT_EQ(E_FAIL, m_camera->GetPixelFormats(two, 2, &count));
    EXPECT_EQ(12345u, count);
    EXPECT_EQ('\0', two[0].Name[0]);

    // Snapshots of the 320 x 240 region, at the camera's own 10 ms exposure.
    for (const std::string extension : {".png", ".jpg", ".bmp"}) {
        const std::string path = m_folder + "aravis-snapshot" + extension;
        ASSERT_EQ(S_OK, m_camera->SaveSnapshot(0, path.c_str())) << extension;
        const cv::Mat picture = cv::imread(path, cv::IMREAD_UNCHANGED);
        std::remove(path.c_str());
        ASSERT_FALSE(picture.empty()) << extension;
        EXPECT_EQ(cv::Size(320, 240), picture.size()) << extension;
        EXPECT_EQ(3, picture.channels()) << extension;
        // Lossless formats hold the ramp exactly.
        if (extension != ".jpg") {
            EXPECT_TRUE(IsGreyRamp({picture.datastart, picture.dataend}, 320, 240, 1, 1)) << extension;
        }
    }
    EXPECT_EQ(E_FAIL, m_camera->SaveSnapshot(0, (m_folder + "aravis-snapshot.unknown").c_str()));
    EXPECT_EQ(E_FAIL, m_camera->SaveSnapshot(0, "/nonexistent-folder/aravis-snapshot.png"));
    EXPECT_EQ(E_POINTER, m_camera->SaveSnapshot(0, nullptr));
    EXPECT_EQ(E_POINTER, m_camera->GrabSnapshot(0, nullptr));

    using std::chrono::system_clock;
    const int64_t before = std::chrono::duration_cast<std::chrono::microseconds>(system_clock::now().time_since_epoch()).count();
    // A quarter turn clockwise stands the picture upright; the ramp then falls along x.
    struct Case { uint32_t rotation, width, height; int dx; };
    for (const Case c : {Case{0, 320, 240, 1}, Case{90, 240, 320, -1}}) {
        ASSERT_EQ(S_OK, m_camera->SetParameter(CameraParameterRotation, c.rotation));
        std::vector<uint8_t> pixels;
        const FrameRecorder::Frame picture = Snapshot(&pixels);
        EXPECT_EQ(c.width, picture.format.Width) << c.rotation;
        EXPECT_EQ(c.height, picture.format.Height) << c.rotation;
        EXPECT_TRUE(IsGreyRamp(pixels, c.width, c.height, c.dx, 1)) << c.rotation;
        EXPECT_EQ(1000000, picture.start.UnitsPerSecond);
        EXPECT_EQ(picture.start.Value, picture.end.Value);
        EXPECT_GE(picture.start.Value, before);
    }

    double low = 0, high = 0;
    ASSERT_EQ(S_OK, m_camera->GetExposureTimeRange(&low, &high));
    EXPECT_EQ(10.0, low);
    EXPECT_EQ(10000000.0, high);
    // The bounds themselves are refused, one microsecond inside is taken.
    for (uint32_t refused : {10u, 10000000u}) EXPECT_EQ(E_FAIL, m_camera->SetParameter(CameraParameterExposureTime, refused));
    for (uint32_t taken : {9999999u, 11u}) EXPECT_EQ(S_OK, m_camera->SetParameter(CameraParameterExposureTime, taken));
    uint32_t exposure = 0;
    EXPECT_EQ(S_OK, m_camera->GetParameter(CameraParameterExposureTime, &exposure));
    EXPECT_EQ(11u, exposure);

    // Close allows no new Open, yet the handle comes back on demand.
    EXPECT_EQ(S_OK, m_camera->Close());
    EXPECT_EQ(E_FAIL, m_camera->Open(&record));
    EXPECT_EQ(320u, Region()[2]);
}

// One camera through the streaming rules, live transforms, stop, restart, close
// while streaming, the camera process dying and coming back, and release.
TEST_F(AravisCameraProcessTest, StreamingRulesTransformsAndReconnection) {
    m_camera = test::NewAravisCamera();
    ASSERT_TRUE(m_camera);
    int context = 0;
    EXPECT_EQ(S_OK, m_camera->StopStreaming());
    ASSERT_EQ(S_OK, m_camera->StartStreaming(&m_recorder, &context));
    EXPECT_EQ(E_FAIL, m_camera->StartStreaming(&m_recorder, &context));
    std::this_thread::sleep_for(milliseconds(700));
    EXPECT_EQ(S_OK, m_camera->StopStreaming());
    EXPECT_EQ(0u, m_recorder.Count()) << "streamed without a device";

    const CameraDeviceInfo record = test::DeviceRecord(m_deviceId);
    ASSERT_EQ(S_OK, m_camera->Open(&record));
    ASSERT_EQ(S_OK, m_camera->SetRegion(0, 0, 320, 240));
    ASSERT_EQ(S_OK, m_camera->SetParameter(CameraParameterFrameRate, 1000));  // 10 per second
    ASSERT_EQ(S_OK, m_camera->StartStreaming(&m_recorder, &context));
    EXPECT_EQ(E_FAIL, m_camera->StartStreaming(&m_recorder, &context));
    ASSERT_TRUE(m_recorder.WaitForCount(12));
    const std::vector<FrameRecorder::Frame> frames = m_recorder.Frames();
    for (size_t i = 0; i < frames.size(); ++i) {
        const FrameRecorder::Frame& f = frames[i];
        EXPECT_TRUE(f.status == 0 && f.format.Width == 320 && f.format.Height == 240 && f.start.UnitsPerSecond == 1000000);
        EXPECT_TRUE(i == 0 || f.start.Value > frames[i - 1].start.Value) << "frame " << i << " out of order";
    }
    // Past the first frames, which may leave together, nine intervals at ten
    // per second span 0.9 s; the camera's own 25 per second would give 0.36 s.
    EXPECT_GE(frames[11].start.Value - frames[2].start.Value, 600000);

    // Rotation and flip reach frames already streaming (the conversion tests
    // cover every combination); frames in the ring of four keep the old setting.
    ASSERT_EQ(S_OK, m_camera->SetParameter(CameraParameterRotation, 90));
    ASSERT_EQ(S_OK, m_camera->SetParameter(CameraParameterFlip, 1));
    ASSERT_TRUE(m_recorder.WaitForCount(m_recorder.Count() + 6));
    std::vector<uint8_t> pixels;
    EXPECT_EQ(240u, m_recorder.Latest(&pixels).format.Width);
    EXPECT_TRUE(IsGreyRamp(pixels, 240, 320, 1, 1));
    EXPECT_EQ(240u, Snapshot(&pixels).format.Width) << "a snapshot from the live stream";

    // Nothing arrives once StopStreaming or Close has returned.
    EXPECT_EQ(S_OK, m_camera->StopStreaming());
    size_t count = m_recorder.Count();
    std::this_thread::sleep_for(milliseconds(500));
    EXPECT_EQ(count, m_recorder.Count()) << "after StopStreaming";
    ASSERT_EQ(S_OK, m_camera->RestartStreaming());
    ASSERT_TRUE(m_recorder.WaitForCount(count + 3)) << "RestartStreaming";
    EXPECT_EQ(S_OK, m_camera->Close());
    count = m_recorder.Count();
    std::this_thread::sleep_for(milliseconds(500));
    EXPECT_EQ(count, m_recorder.Count()) << "after Close";
    ASSERT_EQ(S_OK, m_camera->StartStreaming(&m_recorder, &context));
    ASSERT_TRUE(m_recorder.WaitForCount(count + 3)) << "StartStreaming after Close";

    // The process dies and comes back with its standard region. Setting the small
    // one again while the streaming thread reconnects exercises the handle they
    // share; frames resume without a new StartStreaming.
    m_fake.Kill();
    // Gone once frames stop coming.
    do {
        count = m_recorder.Count();
        std::this_thread::sleep_for(milliseconds(300));
    } while (m_recorder.Count() != count);
    ASSERT_TRUE(m_fake.Start());
    bool regionSet = false;
    for (int attempt = 0; attempt < 120 && !regionSet; ++attempt) {
        regionSet = m_camera->SetRegion(0, 0, 320, 240) == S_OK && Region() == std::array<uint32_t, 4>{0, 0, 320, 240};
        if (!regionSet) std::this_thread::sleep_for(milliseconds(500));
    }
    EXPECT_TRUE(regionSet);
    ASSERT_TRUE(m_recorder.WaitForCount(count + 5, std::chrono::seconds(90))) << "no frames after the comeback";
    EXPECT_EQ(240u, m_recorder.Latest(&pixels).format.Width) << "still turned";
    EXPECT_TRUE(IsGreyRamp(pixels, 240, 320, 1, 1));
    for (const FrameRecorder::Frame& frame : m_recorder.Frames()) EXPECT_EQ(&context, frame.context);
    // Released while streaming (the fixture): the destructor stops the thread.
}

TEST_F(AravisCameraProcessTest, Rgb8KeepsItsColoursAndMono16NeverReachesTheSinkNorSpins) {
    const std::vector<uint8_t> raw = PrepareRgb8();
    ASSERT_FALSE(raw.empty());
    m_camera = test::OpenAravisCamera(m_deviceId);
    ASSERT_TRUE(m_camera);
    ASSERT_EQ(S_OK, m_camera->SetRegion(0, 0, 256, 64));
    std::vector<uint8_t> pixels;
    EXPECT_EQ(64u, Snapshot(&pixels).format.Height);
    ASSERT_GE(pixels.size(), 256u * 64 * 3);
    EXPECT_TRUE(MatchesColourRamp(pixels.data(), 256, raw)) << "image object";
    const std::string path = m_folder + "aravis-colour.png";
    ASSERT_EQ(S_OK, m_camera->SaveSnapshot(0, path.c_str()));
    const cv::Mat file = cv::imread(path, cv::IMREAD_COLOR);
    std::remove(path.c_str());
    ASSERT_FALSE(file.empty());
    EXPECT_TRUE(MatchesColourRamp(file.ptr<uint8_t>(0), 256, raw)) << "file";
    ASSERT_EQ(S_OK, m_camera->StartStreaming(&m_recorder, nullptr));
    ASSERT_TRUE(m_recorder.WaitForCount(3));
    ASSERT_EQ(S_OK, m_camera->StopStreaming());
    EXPECT_EQ(256u, m_recorder.Latest(&pixels).format.Width);
    ASSERT_GE(pixels.size(), 256u * 3);
    EXPECT_TRUE(MatchesColourRamp(pixels.data(), 256, raw)) << "stream";

    // A format outside the five converted ones.
    ASSERT_EQ(S_OK, m_camera->SetParameter(CameraParameterPixelFormat, kPixelFormatMono16));
    EXPECT_EQ(E_FAIL, m_camera->SaveSnapshot(0, path.c_str()));
    ComPtr<IUnknown> image;
    EXPECT_EQ(E_FAIL, m_camera->GrabSnapshot(0, image.Receive()));
    EXPECT_FALSE(image);
    const size_t count = m_recorder.Count();
    ASSERT_EQ(S_OK, m_camera->StartStreaming(&m_recorder, nullptr));
    const std::clock_t cpuBefore = std::clock();  // all threads of the process
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double cpuUsed = double(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
    EXPECT_EQ(S_OK, m_camera->StopStreaming());
    EXPECT_EQ(count, m_recorder.Count());
    // Retries pause between attempts; a spinning thread would use the whole second.
    EXPECT_LT(cpuUsed, 0.5);
}

}  // namespace
}  // namespace optivane
