// The Aravis camera against the fake GigE Vision camera of aravis-tools, run as
// a separate process on 127.0.0.2 and opened by that address. It draws a
// diagonal ramp: in Mono8 the pixel (x, y) is (x + y + frame count) % 255; in
// RGB8 each ramp value has a colour.
#include <arv.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <ctime>
#include <map>
#include <opencv2/imgcodecs.hpp>
#include <thread>
#include <tuple>

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

// The first 255 blue-green-red pixels of a row of the RGB8 ramp hold the 255 raw
// colours (red, green, blue), shifted cyclically.
bool MatchesColourRamp(const std::vector<uint8_t>& bgr, const std::vector<uint8_t>& raw) {
    for (size_t shift = 0; shift < 255 && raw.size() == 255 * 3 && bgr.size() >= 255 * 3; ++shift) {
        bool match = true;
        for (size_t t = 0; t < 255 && match; ++t) {
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
        // Until the fake camera answers; asked at once, it would miss the question and time out.
        bool answers = false;
        for (int attempt = 0; attempt < 100 && !answers; ++attempt) {
            std::this_thread::sleep_for(milliseconds(100));
            answers = bool(RawDevice());
        }
        ASSERT_TRUE(answers) << "the fake camera did not appear on " << kCameraAddress;
    }
    // The device through Aravis alone, while no camera under test holds it.
    static GObjectPtr<ArvCamera> RawDevice(GError** error = nullptr) {
        return GObjectPtr<ArvCamera>::Adopt(arv_camera_new(kCameraAddress, error));
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

    // True when no frame arrives during the pause.
    bool Quiet(milliseconds pause) {
        const size_t count = m_recorder.Count();
        std::this_thread::sleep_for(pause);
        return m_recorder.Count() == count;
    }

    // Switches the fake camera to RGB8 itself; the first 255 pixels of a raw frame.
    std::vector<uint8_t> PrepareRgb8() {
        GErrorPtr error;
        const GObjectPtr<ArvCamera> device = RawDevice(error.Out());
        if (device) arv_camera_set_pixel_format(device.Get(), PixelFormatRGB8, error.Out());
        GObjectPtr<ArvBuffer> buffer;
        if (device && !error) buffer = GObjectPtr<ArvBuffer>::Adopt(arv_camera_acquisition(device.Get(), 5000000, error.Out()));
        EXPECT_FALSE(error) << error.Message();
        size_t size = 0;
        const auto* data = static_cast<const uint8_t*>(buffer ? arv_buffer_get_data(buffer.Get(), &size) : nullptr);
        return data != nullptr && size >= 255 * 3 ? std::vector<uint8_t>(data, data + 255 * 3) : std::vector<uint8_t>{};
    }

    test::FakeCameraProcess m_fake{{"arv-fake-gv-camera-0.8", "-i", kCameraAddress}};
    const CameraDeviceInfo m_record = test::DeviceRecord(kCameraAddress);
    const std::string m_folder = ::testing::TempDir();
    // Declared before the camera, which stops its stream when released.
    FrameRecorder m_recorder;
    ComPtr<IAravisCamera> m_camera;
};

// One camera through the open rules, identity, region, pixel formats,
// snapshots in Mono8 and close; then a new one in RGB8 and a format that is
// never converted.
TEST_F(AravisCameraProcessTest, IdentityOpenRulesSnapshotsAndPixelFormats) {
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

    ASSERT_EQ(S_OK, m_camera->Open(&m_record));
    // The fake camera has no DeviceUserID: a field whose query fails keeps what it had.
    std::strcpy(info.DeviceUserId, "kept");
    ASSERT_EQ(S_OK, m_camera->GetDeviceInfo(&info));
    // The device's own DeviceID, not the address opened; the address is its persistent address register.
    using S = std::string;
    EXPECT_EQ(std::make_tuple(S("GV01"), S("Aravis"), S("Fake"), S("GV01"), S("0.0.0.0"), S("kept"), 2048u, 2048u),
              std::make_tuple(S(info.DeviceId), S(info.VendorName), S(info.ModelName), S(info.SerialNumber),
                              S(info.IpAddress), S(info.DeviceUserId), info.WidthMax, info.HeightMax));
    EXPECT_EQ(E_FAIL, m_camera->GetDeviceInfo(nullptr));
    EXPECT_EQ(E_FAIL, m_camera->Open(&m_record)) << "opened once only";

    EXPECT_EQ((std::array<uint32_t, 4>{0, 0, 512, 512}), Region());
    ASSERT_EQ(S_OK, m_camera->SetRegion(16, 8, 320, 240));
    EXPECT_EQ((std::array<uint32_t, 4>{16, 8, 320, 240}), Region());

    CameraPixelFormat formats[16];
    uint32_t count = 0;
    ASSERT_EQ(S_OK, m_camera->GetPixelFormats(formats, 16, &count));
    ASSERT_EQ(7u, count);
    std::map<std::string, uint32_t> codes;
    for (uint32_t i = 0; i < count; ++i) codes[std::string(formats[i].Name, strnlen(formats[i].Name, 16))] = formats[i].Code;
    EXPECT_EQ(std::make_pair(PixelFormatMono8, kPixelFormatMono16), std::make_pair(codes["Mono8"], codes["Mono16"]));
    CameraPixelFormat two[2] = {};
    count = 12345;
    EXPECT_EQ(E_FAIL, m_camera->GetPixelFormats(two, 2, &count));
    EXPECT_TRUE(count == 12345 && two[0].Name[0] == '\0') << "too small a list: nothing written, not even the count";

    // Snapshots of the 320 x 240 region, at the camera's own 10 ms exposure.
    for (const std::string extension : {".png", ".jpg", ".bmp"}) {
        const std::string path = m_folder + "aravis-snapshot" + extension;
        SCOPED_TRACE(extension);
        ASSERT_EQ(S_OK, m_camera->SaveSnapshot(0, path.c_str()));
        const cv::Mat picture = cv::imread(path, cv::IMREAD_UNCHANGED);
        std::remove(path.c_str());
        EXPECT_EQ(std::make_pair(cv::Size(320, 240), 3), std::make_pair(picture.size(), picture.channels()));
        // Lossless formats hold the ramp exactly.
        EXPECT_TRUE(extension == ".jpg" || IsGreyRamp({picture.datastart, picture.dataend}, 320, 240, 1, 1));
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
        SCOPED_TRACE(c.rotation);
        ASSERT_EQ(S_OK, m_camera->SetParameter(CameraParameterRotation, c.rotation));
        std::vector<uint8_t> pixels;
        const FrameRecorder::Frame picture = Snapshot(&pixels);
        EXPECT_EQ(std::make_pair(c.width, c.height), std::make_pair(picture.format.Width, picture.format.Height));
        EXPECT_TRUE(IsGreyRamp(pixels, c.width, c.height, c.dx, 1));
        EXPECT_TRUE(picture.start.UnitsPerSecond == 1000000 && picture.end.Value == picture.start.Value &&
                    picture.start.Value >= before);
    }

    // Close allows no new Open, yet the handle comes back on demand.
    EXPECT_EQ(S_OK, m_camera->Close());
    EXPECT_EQ(E_FAIL, m_camera->Open(&m_record));
    EXPECT_EQ(320u, Region()[2]);

    // RGB8, set on the device behind the back of the next camera, keeps its
    // colours in the image object, the file and the stream.
    m_camera.Reset();
    const std::vector<uint8_t> raw = PrepareRgb8();
    ASSERT_FALSE(raw.empty());
    m_camera = test::OpenAravisCamera(kCameraAddress);
    ASSERT_TRUE(m_camera);
    std::vector<uint8_t> pixels;
    EXPECT_EQ(240u, Snapshot(&pixels).format.Height);
    EXPECT_TRUE(MatchesColourRamp(pixels, raw)) << "image object";
    const std::string path = m_folder + "aravis-colour.png";
    ASSERT_EQ(S_OK, m_camera->SaveSnapshot(0, path.c_str()));
    const cv::Mat file = cv::imread(path, cv::IMREAD_COLOR);
    std::remove(path.c_str());
    EXPECT_TRUE(MatchesColourRamp({file.datastart, file.dataend}, raw)) << "file";
    ASSERT_EQ(S_OK, m_camera->StartStreaming(&m_recorder, nullptr));
    ASSERT_TRUE(m_recorder.WaitForCount(3));
    ASSERT_EQ(S_OK, m_camera->StopStreaming());
    EXPECT_EQ(320u, m_recorder.Latest(&pixels).format.Width);
    EXPECT_TRUE(MatchesColourRamp(pixels, raw)) << "stream";

    // A format outside the five converted ones.
    ASSERT_EQ(S_OK, m_camera->SetParameter(CameraParameterPixelFormat, kPixelFormatMono16));
    EXPECT_EQ(E_FAIL, m_camera->SaveSnapshot(0, path.c_str()));
    ComPtr<IUnknown> image;
    EXPECT_EQ(E_FAIL, m_camera->GrabSnapshot(0, image.Receive()));
    EXPECT_FALSE(image);
    ASSERT_EQ(S_OK, m_camera->StartStreaming(&m_recorder, nullptr));
    const std::clock_t cpuBefore = std::clock();  // all threads of the process
    EXPECT_TRUE(Quiet(milliseconds(1000)));
    const double cpuUsed = double(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
    EXPECT_EQ(S_OK, m_camera->StopStreaming());
    // Retries pause between attempts; a spinning thread would use the whole second.
    EXPECT_LT(cpuUsed, 0.5);
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
    EXPECT_TRUE(Quiet(milliseconds(300))) << "streamed without a device";
    EXPECT_EQ(S_OK, m_camera->StopStreaming());

    ASSERT_EQ(S_OK, m_camera->Open(&m_record));
    ASSERT_EQ(S_OK, m_camera->SetRegion(0, 0, 320, 240));
    ASSERT_EQ(S_OK, m_camera->SetParameter(CameraParameterFrameRate, 1000));  // 10 per second
    ASSERT_EQ(S_OK, m_camera->StartStreaming(&m_recorder, &context));
    ASSERT_TRUE(m_recorder.WaitForCount(12));
    const std::vector<FrameRecorder::Frame> frames = m_recorder.Frames();
    for (size_t i = 0; i < frames.size(); ++i) {
        const FrameRecorder::Frame& f = frames[i];
        EXPECT_TRUE(f.status == 0 && f.format.Width == 320 && f.format.Height == 240 &&
                    f.start.UnitsPerSecond == 1000000 && (i == 0 || f.start.Value > frames[i - 1].start.Value))
            << "frame " << i << " wrong or out of order";
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
    EXPECT_TRUE(Quiet(milliseconds(300))) << "after StopStreaming";
    ASSERT_EQ(S_OK, m_camera->RestartStreaming());
    ASSERT_TRUE(m_recorder.WaitForCount(m_recorder.Count() + 3)) << "RestartStreaming";
    EXPECT_EQ(S_OK, m_camera->Close());
    EXPECT_TRUE(Quiet(milliseconds(300))) << "after Close";
    ASSERT_EQ(S_OK, m_camera->StartStreaming(&m_recorder, &context));
    ASSERT_TRUE(m_recorder.WaitForCount(m_recorder.Count() + 3)) << "StartStreaming after Close";

    // The process dies and comes back with its standard region. Setting the small
    // one again while the streaming thread reconnects exercises the handle they
    // share; frames resume without a new StartStreaming.
    m_fake.Kill();
    while (!Quiet(milliseconds(300))) continue;  // gone once frames stop coming
    const size_t count = m_recorder.Count();
    ASSERT_TRUE(m_fake.Start());
    bool regionSet = false;
    for (int attempt = 0; attempt < 300 && !regionSet; ++attempt) {
        regionSet = m_camera->SetRegion(0, 0, 320, 240) == S_OK && Region() == std::array<uint32_t, 4>{0, 0, 320, 240};
        if (!regionSet) std::this_thread::sleep_for(milliseconds(200));
    }
    EXPECT_TRUE(regionSet);
    ASSERT_TRUE(m_recorder.WaitForCount(count + 5, std::chrono::seconds(90))) << "no frames after the comeback";
    EXPECT_EQ(240u, m_recorder.Latest(&pixels).format.Width) << "still turned";
    EXPECT_TRUE(IsGreyRamp(pixels, 240, 320, 1, 1));
    for (const FrameRecorder::Frame& frame : m_recorder.Frames()) EXPECT_EQ(&context, frame.context);
    // Released while streaming (the fixture): the destructor stops the thread.
}

}  // namespace
}  // namespace optivane
