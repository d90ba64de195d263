// The phone camera against simulated phones in the network namespace: what
// it sends for each setting (read from the simulator's log), the record a
// query fills, snapshots against the decoder, streaming's pace and stop, and
// that nothing overlaps on the wire. Short limits and pauses stand in for
// the real ones.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include <opencv2/imgcodecs.hpp>

#include "FakePhoneProcess.h"
#include "frame/ComPtr.h"
#include "frame/FixedText.h"
#include "smartphone/CSmartPhoneCamera.h"

namespace optivane {
namespace {

using Clock = std::chrono::steady_clock;
using test::FakePhoneProcess;

constexpr phone::PhoneTimings kShort{2000, 2000, 2000, 2000, 2000, 4000, 4000, 300, 10};

ComPtr<IAravisCamera> Camera(const char* id) {
    HRESULT status = S_OK;
    CUnknown* object = CSmartPhoneCamera::CreateInstance(nullptr, &status, kShort);
    ComPtr<IAravisCamera> camera;
    EXPECT_EQ(object->NonDelegatingQueryInterface(IID_IAravisCamera, camera.ReceiveVoid()), S_OK);
    CameraDeviceInfo record{};
    CopyText(record.DeviceId, id);
    if (id[0] != '\0') {
        EXPECT_EQ(camera->Open(&record), S_OK);
    }
    return camera;
}

size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

TEST(SmartPhoneCamera, RefusesWorkBeforeOpenAndTakesTheAddressFromTheId) {
    ComPtr<IAravisCamera> unopened = Camera("");
    CameraDeviceInfo record{};
    EXPECT_EQ(unopened->GetDeviceInfo(&record), E_FAIL);
    EXPECT_EQ(unopened->SetParameter(6, 400), E_FAIL);
    ComPtr<IUnknown> frame;
    EXPECT_EQ(unopened->GrabSnapshot(0, frame.Receive()), E_FAIL);

    FakePhoneProcess phone("127.0.0.3", 60000, {"--model", "Pixel 7", "--serial", "S-77", "--size", "320x200",
                                                "--exposure-range", "[100000,3000000000000]", "--iso-range",
                                                "[50,3200]"});
    ASSERT_TRUE(phone.IsRunning());
    ComPtr<IAravisCamera> camera = Camera("SMPHCA00127.0.0.3:60000");
    ASSERT_EQ(camera->GetDeviceInfo(&record), S_OK);
    EXPECT_STREQ(record.DeviceId, "SMPHCA00127.0.0.3:60000");
    EXPECT_STREQ(record.IpAddress, "127.0.0.3");
    EXPECT_STREQ(record.ModelName, "Pixel 7");
    EXPECT_STREQ(record.SerialNumber, "S-77");
    EXPECT_EQ(record.WidthMax, 320u);
    EXPECT_EQ(record.HeightMax, 200u);
    double minimum = 0, maximum = 0;
    camera->GetExposureTimeRange(&minimum, &maximum);
    EXPECT_EQ(minimum, 100.0);
    EXPECT_EQ(maximum, 4294967.0);  // beyond 32 bits of nanoseconds: limited, still usable
    uint32_t low = 0, high = 0;
    camera->GetParameterRange(4, &low, &high);
    EXPECT_EQ(low, 5000u);
    EXPECT_EQ(high, 320000u);

    // An id without a colon keeps the default address 0.0.0.0, which the
    // connection refuses before sending anything.
    ComPtr<IAravisCamera> plain = Camera("SMPHCA00127.0.0.3");
    EXPECT_EQ(plain->GetDeviceInfo(&record), E_INVALIDARG);
    EXPECT_EQ(Count(phone.Log(), "received"), 2u);
}

TEST(SmartPhoneCamera, SettingsSendWhatTheTableAndLimitsGive) {
    FakePhoneProcess phone("127.0.0.2", 60000);
    ASSERT_TRUE(phone.IsRunning());
    ComPtr<IAravisCamera> camera = Camera("SMPHCA00127.0.0.2:60000");
    struct Row { int32_t id; uint32_t value; const char* sent; uint32_t step, time, iso; };
    const Row rows[] = {
        {10, 19, "setup exp 16666666 ", 19, 16666, 100},
        {8, 30000, "setup exp 30000000 ", 18, 30000, 100},
        {8, 58333, "setup exp 58333000 ", 16, 58333, 100},       // as near 1/15 s as 1/20 s: lower index
        {8, 3000000, "setup exp 3000000000 ", 9, 1000000, 100},  // sent as asked, stored limited
        {10, 0, "setup exp 30000000000 ", 0, 1000000, 100},
        {6, 12345, "setup iso 123 ", 0, 1000000, 123},
        {6, 50, "setup iso 100 ", 0, 1000000, 100},
        {6, 0xFFFFFF00, "setup iso 6400 ", 0, 1000000, 6400},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(camera->SetParameter(row.id, row.value), S_OK) << row.sent;
        EXPECT_EQ(Count(phone.Log(), row.sent), 1u) << row.sent;
        uint32_t step = 0, time = 0, iso = 0;
        camera->GetParameter(10, &step);
        camera->GetParameter(8, &time);
        camera->GetParameter(6, &iso);
        EXPECT_EQ(step, row.step) << row.sent;
        EXPECT_EQ(time, row.time) << row.sent;
        EXPECT_EQ(iso, row.iso * 100) << row.sent;
    }
    const size_t received = Count(phone.Log(), "received");
    EXPECT_EQ(camera->SetParameter(10, 20), E_FAIL);
    EXPECT_EQ(camera->SetParameter(3, 1), S_OK);  // connects, sends nothing
    EXPECT_EQ(Count(phone.Log(), "received"), received);
}

TEST(SmartPhoneCamera, SnapshotsCarryThePictureAndFaultsFail) {
    FakePhoneProcess phone("127.0.0.4", 60000, {"--size", "96x64", "--fault", "not-jpeg", "--fault-every", "2"});
    ASSERT_TRUE(phone.IsRunning());
    ComPtr<IAravisCamera> camera = Camera("SMPHCA00127.0.0.4:60000");
    ComPtr<IUnknown> frame;
    ASSERT_EQ(camera->GrabSnapshot(0, frame.Receive()), S_OK);
    ComPtr<IFrameImage> image;
    ASSERT_EQ(frame->QueryInterface(IID_IFrameImage, image.ReceiveVoid()), S_OK);
    FrameFormat format{};
    image->GetFormat(&format);
    EXPECT_EQ(format.Width, 96u);
    EXPECT_EQ(format.Height, 64u);
    uint8_t* data = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(image->GetBuffer(&data, &size), S_OK);
    // The capture number's first blocks are black on a mid-grey picture, rows top first.
    EXPECT_LT(data[(8 * 96 + 8) * 3], 20);
    EXPECT_NEAR(data[(48 * 96 + 48) * 3 + 1], 128, 6);
    ComPtr<IUnknown> second;
    EXPECT_EQ(camera->GrabSnapshot(0, second.Receive()), E_FAIL);  // the second photograph is no JPEG
    EXPECT_FALSE(second);
}

struct FrameCounter : IAravisCameraCallback {
    HRESULT OnFrame(int32_t status, void*, IUnknown*) override {
        if (status == S_OK) times.push_back(Clock::now());
        return S_OK;
    }
    std::vector<Clock::time_point> times;
};

TEST(SmartPhoneCamera, StreamsAtItsPaceSwitchesCallbacksAndStopsInThePause) {
    FakePhoneProcess phone("127.0.0.5", 60000, {"--size", "64x48", "--capture-delay", "50"});
    ASSERT_TRUE(phone.IsRunning());
    ComPtr<IAravisCamera> camera = Camera("SMPHCA00127.0.0.5:60000");
    FrameCounter first, second;
    ASSERT_EQ(camera->StartStreaming(&first, nullptr), S_OK);
    // Snapshots and settings meanwhile must wait their turn on the wire.
    for (int round = 0; round < 3; ++round) {
        ComPtr<IUnknown> frame;
        EXPECT_EQ(camera->GrabSnapshot(0, frame.Receive()), S_OK);
        EXPECT_EQ(camera->SetParameter(6, 400), S_OK);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_EQ(camera->StartStreaming(&second, nullptr), S_FALSE);
    std::this_thread::sleep_for(std::chrono::milliseconds(900));
    const auto stopAt = Clock::now();
    EXPECT_EQ(camera->StopStreaming(), S_OK);
    EXPECT_LT(Clock::now() - stopAt, std::chrono::milliseconds(100));
    ASSERT_GE(first.times.size(), 1u);
    EXPECT_GE(second.times.size(), 2u);
    // Capture (50 ms) plus the pause (300 ms) between frames at least.
    for (size_t at = 1; at < second.times.size(); ++at)
        EXPECT_GE(second.times[at] - second.times[at - 1], std::chrono::milliseconds(340));
    EXPECT_EQ(phone.Log().find("overlap"), std::string::npos) << phone.Log();
}

}  // namespace
}  // namespace optivane
