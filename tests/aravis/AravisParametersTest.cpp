// The numbered parameters against GigE Vision cameras simulated in this process
// with our GenICam descriptions (genicam/), checked in the device's registers.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>
#include <cstdio>
#include <memory>

#include "aravis/AravisUserSets.h"
#include "aravis/CameraUnderTest.h"
#include "aravis/FakeGvCamera.h"
#include "aravis/FrameRecorder.h"
#include "frame/ExposureSteps.h"

namespace optivane {
namespace {

using namespace test::genicam;
constexpr HRESULT kChannelAbsent = 0x13C;
constexpr uint32_t kLongExposureUserSet = aravis::kLongExposureUserSet;
constexpr uint32_t kReadFailed = 0xBAD;

struct Device { const char* address; const char* genicamFile; const char* vendorName; };
const Device kIds{"127.0.0.3", "ids.xml", "IDS Imaging"};
const Device kGev{"127.0.0.4", "gev.xml", "GEV Tech"};
// Longer than the vendor field of the device record: kept cut short.
const Device kDahua{"127.0.0.5", "dahua.xml", "Dahua Technology"};
const Device kUnknown{"127.0.0.6", "ids.xml", "Acme Optics"};

// One simulated device and a camera opened on it by its address.
class ParametersTest : public ::testing::Test {
protected:
    ::testing::AssertionResult Start(const Device& device) {
        Stop();
        m_device = std::make_unique<test::FakeGvCamera>(device.address, device.genicamFile, device.vendorName);
        if (m_device->IsRunning()) m_camera = test::OpenAravisCamera(device.address);
        if (m_camera) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "no camera opens on " << device.address;
    }
    // Close stops any stream before the sink goes.
    void Stop() {
        if (m_camera) m_camera->Close();
        m_camera.Reset();
        m_device.reset();
    }
    void TearDown() override { Stop(); }

    HRESULT Get(int32_t id, uint32_t* value) { return m_camera->GetParameter(id, value); }
    HRESULT Set(int32_t id, uint32_t value) { return m_camera->SetParameter(id, value); }
    uint32_t Value(int32_t id) {
        uint32_t value = 0;
        return Get(id, &value) == S_OK ? value : kReadFailed;
    }
    double Exposure() const { return m_device->ReadDouble(kExposureTime); }
    uint32_t UserSet() const { return m_device->Read(kUserSetSelector); }

    test::FrameRecorder m_sink;
    std::unique_ptr<test::FakeGvCamera> m_device;
    ComPtr<IAravisCamera> m_camera;
};

// Channels 0..4 (ids 2..6) of each vendor: the range maximum (-1: the range
// fails); where a value written lands ('d' divided by 100, 'f' divided by 100 in
// single precision, 'i' as it is; 0 nowhere); what the device's k + 1.239
// (integers: 777 + k) in channel k reads as (0: the read fails).
TEST_F(ParametersTest, VendorRulesForColourAndGainChannels) {
    struct Channel { int64_t maximum; uint32_t address = 0; char kind = 0; uint32_t read = 0; };
    struct Case { Device device; HRESULT colourAndGain, furtherGain; Channel channels[5]; };
    const Case cases[] = {
        // IDS selects each channel through GainSelector (21, 22, 23, 10, 20); the master gain reads unrounded.
        {kIds, S_OK, S_OK, {{400, kGain + 8 * 21, 'd', 124}, {400, kGain + 8 * 22, 'd', 224},
                            {400, kGain + 8 * 23, 'd', 324}, {2400, kGain + 8 * 10, 'd', 423},
                            {400, kGain + 8 * 20, 'd', 524}}},
        {kGev, S_OK, kChannelAbsent, {{4095, kBalanceRatio, 'i', 777}, {4095, kBalanceRatio + 4, 'i', 778},
                                      {4095, kBalanceRatio + 8, 'i', 779}, {4800, kGain, 'd', 424}, {-1}}},
        {kDahua, S_OK, kChannelAbsent, {{1500, kBalanceRatio, 'f', 124}, {1500, kBalanceRatio + 8, 'f', 224},
                                        {1500, kBalanceRatio + 16, 'f', 324}, {4800, kGain, 'd', 424}, {-1}}},
        {kUnknown, E_FAIL, E_FAIL, {{-1}, {-1}, {-1}, {-1}, {-1}}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.device.vendorName);
        ASSERT_TRUE(Start(c.device));
        for (int32_t channel = 0; channel < 5; ++channel) {
            SCOPED_TRACE(channel);
            const Channel& where = c.channels[channel];
            uint32_t min = 7, max = 7;
            EXPECT_EQ(where.maximum < 0 ? E_FAIL : S_OK, m_camera->GetParameterRange(channel, &min, &max));
            EXPECT_EQ(where.maximum < 0 ? std::make_pair(7u, 7u) : std::make_pair(0u, uint32_t(where.maximum)),
                      std::make_pair(min, max));
            const HRESULT expected = channel == 4 ? c.furtherGain : c.colourAndGain;
            const int32_t id = channel + 2;
            const uint32_t written = 150 + id;
            EXPECT_EQ(expected, Set(id, written));
            if (where.kind == 'i') {
                EXPECT_EQ(written, m_device->Read(where.address));
                m_device->Write(where.address, 777 + channel);
            } else if (where.kind != 0) {
                const double ratio = where.kind == 'f' ? double(float(written) / 100.0f) : written / 100.0;
                EXPECT_EQ(ratio, m_device->ReadDouble(where.address));
                m_device->WriteDouble(where.address, channel + 1.239);
            }
            uint32_t value = 9;
            EXPECT_EQ(expected, Get(id, &value));
            EXPECT_EQ(where.read, value);
        }
        ASSERT_EQ(S_OK, Set(0, 42)) << "the other parameters work whatever the vendor";
        EXPECT_EQ(42u, m_device->Read(kBrightness));
    }
}

TEST_F(ParametersTest, IdsExposureBoundsStepsAndTheLongExposureUserSet) {
    ASSERT_TRUE(Start(kIds));
    // The device's range is 10 us to 10 s; step 2 is 10 s, no reason to switch user sets.
    double low = 0, high = 0;
    ASSERT_EQ(S_OK, m_camera->GetExposureTimeRange(&low, &high));
    EXPECT_EQ(std::make_pair(10.0, 10000000.0), std::make_pair(low, high));
    m_device->WriteDouble(kExposureTime, 5000);
    for (uint32_t refused : {10u, 10000000u, static_cast<uint32_t>(-20)}) EXPECT_EQ(E_FAIL, Set(8, refused)) << refused;
    EXPECT_EQ(E_FAIL, Set(10, 2));
    EXPECT_EQ(5000.0, Exposure()) << "refused values never reach the device";
    EXPECT_EQ(0u, UserSet());
    // One microsecond inside either bound is taken.
    for (uint32_t taken : {9999999u, 11u}) EXPECT_EQ(S_OK, Set(8, taken)) << taken;
    EXPECT_EQ(11.0, Exposure());

    struct Reading { double time; uint32_t step, microseconds; };
    for (const Reading r : {Reading{25000.0, 19, 25000}, Reading{25000.5, 18, 25001}}) {
        m_device->WriteDouble(kExposureTime, r.time);
        EXPECT_EQ(std::make_pair(r.step, r.microseconds), std::make_pair(Value(10), Value(8))) << r.time;
    }
    ASSERT_EQ(S_OK, Set(10, 25));
    EXPECT_EQ(1000000.0 / 6, Exposure()) << "steps outside the table";
    for (uint32_t step = 3; step < 20; ++step) {
        ASSERT_EQ(S_OK, Set(10, step)) << step;
        EXPECT_EQ(exposure::StepTime(step), Exposure()) << step;
        EXPECT_EQ(step, Value(10));
    }
    EXPECT_EQ(0u, UserSet());

    // Step 0 lies beyond the default set's range and selects the long-exposure set, step 19 below that
    // set's own range and leaves it; step 9 differs between the two. A snapshot taken from Mono8 leaves
    // the device, and what the camera reads, in snapshotFormat: Bayer in the long-exposure set.
    const std::string file = ::testing::TempDir() + "aravis-parameters.png";
    struct Step { uint32_t step, userSet; double exposure; uint32_t snapshotFormat; };
    for (const Step s : {Step{0, kLongExposureUserSet, 30000000.0, 0},
                         {9, kLongExposureUserSet, 1100000.0, PixelFormatBayerRG8},
                         {19, 0, 1000000.0 / 60, 0},
                         {9, 0, 1000000.0, PixelFormatMono8}}) {
        SCOPED_TRACE(s.step);
        ASSERT_EQ(S_OK, Set(10, s.step));
        EXPECT_EQ(std::make_pair(s.userSet, s.exposure), std::make_pair(UserSet(), Exposure()));
        if (s.snapshotFormat == 0) continue;
        ASSERT_EQ(S_OK, Set(11, PixelFormatMono8));
        ASSERT_EQ(S_OK, m_camera->SaveSnapshot(0, file.c_str()));
        EXPECT_EQ(std::make_pair(s.snapshotFormat, s.snapshotFormat),
                  std::make_pair(m_device->Read(kPixelFormat), Value(11)));
    }
    std::remove(file.c_str());
    EXPECT_EQ(1u, m_device->Read(kUserSetLoad));

    ASSERT_EQ(S_OK, Set(13, 1));
    EXPECT_EQ(kLongExposureUserSet, UserSet());
    EXPECT_EQ(kReadFailed, Value(13)) << "write only";
    ASSERT_EQ(S_OK, Set(13, 1)) << "already selected";
    ASSERT_EQ(S_OK, Set(13, 5));
    EXPECT_EQ(0u, UserSet()) << "any value but 1 selects the default set";
}

// One stream through rate calls, a reconnecting streaming thread and a user
// set switch: frames keep reaching the same sink without a new StartStreaming.
TEST_F(ParametersTest, IdsStreamSurvivesRateCallsReconnectionAndUserSetSwitch) {
    ASSERT_TRUE(Start(kIds));
    ASSERT_EQ(S_OK, Set(12, 2997));
    EXPECT_NEAR(1000000.0 / 29.97, m_device->Read(kFramePeriod), 1.0);
    // Changed behind the camera's back: the next run puts back the rate last read.
    m_device->Write(kFramePeriod, 40000);
    EXPECT_EQ(2500u, Value(12));
    m_device->Write(kFramePeriod, 100000);
    ASSERT_EQ(S_OK, Set(11, PixelFormatMono8));
    ASSERT_EQ(S_OK, m_camera->StartStreaming(&m_sink, nullptr));
    ASSERT_TRUE(m_sink.WaitForCount(2));
    EXPECT_EQ(40000u, m_device->Read(kFramePeriod));
    const FrameFormat format = m_sink.Frames().back().format;
    EXPECT_EQ(std::make_pair(25000u, 1000u), std::make_pair(format.FrameRateNumerator, format.FrameRateDenominator));
    for (uint32_t rate = 1000; rate < 3000; rate += 40) {
        ASSERT_EQ(S_OK, Set(12, rate));
        ASSERT_NE(kReadFailed, Value(12));
    }

    // No frames without a trigger: the streaming thread replaces the handle again and
    // again while this thread uses it; a call may fail in between, never crash.
    ASSERT_EQ(S_OK, Set(12, 2500));
    m_device->Write(kTriggerMode, 1);
    int answered = 0;
    for (const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(4);
         std::chrono::steady_clock::now() < until;) {
        if (Set(0, 7) == S_OK && Value(0) == 7) ++answered;
        Set(14, 90);
    }
    EXPECT_GT(answered, 0);
    m_device->Write(kTriggerMode, 0);
    ASSERT_TRUE(m_sink.WaitForCount(m_sink.Count() + 3)) << "no frames after the trigger came back";

    // The switch stops and restarts the stream, which then runs in Bayer.
    ASSERT_EQ(S_OK, Set(10, 0));
    EXPECT_EQ(std::make_pair(kLongExposureUserSet, 30000000.0), std::make_pair(UserSet(), Exposure()));
    EXPECT_TRUE(m_sink.WaitForCount(m_sink.Count() + 3)) << "no frames after the switch";
    EXPECT_EQ(PixelFormatBayerRG8, m_device->Read(kPixelFormat));
}

TEST_F(ParametersTest, IdsModesAndPlainValuesReachTheDeviceUnknownIdsFail) {
    ASSERT_TRUE(Start(kIds));
    struct Case { int32_t id; uint32_t value, address, onDevice, read; };  // address 0: kept by the camera
    const Case cases[] = {{1, 1, kGainAuto, 1, 1},
                          {1, 7, kGainAuto, 0, 0},  // unknown modes turn it off
                          {7, 2, kExposureAuto, 2, 2},
                          {9, 1, kBalanceWhiteAuto, 1, 1},
                          {0, static_cast<uint32_t>(-5), kBrightness, 0xFFFFFFFB, 0xFFFFFFFB},
                          {11, PixelFormatRGB8, kPixelFormat, PixelFormatRGB8, PixelFormatRGB8},
                          {14, 270, 0, 0, 270},
                          {15, 12345, 0, 0, 12345}};  // stored without a check
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.id << "=" << c.value);
        ASSERT_EQ(S_OK, Set(c.id, c.value));
        EXPECT_EQ(c.onDevice, c.address != 0 ? m_device->Read(c.address) : 0);
        EXPECT_EQ(c.read, Value(c.id));
    }
    EXPECT_EQ(E_INVALIDARG, Set(9, 3));
    EXPECT_EQ(1u, m_device->Read(kBalanceWhiteAuto)) << "invalid modes never reach the device";
    m_device->Write(kBalanceWhiteAuto, 3);  // "Auto", an IDS mode of its own
    EXPECT_EQ(0u, Value(9));
    EXPECT_EQ(E_FAIL, Set(11, 0x01100003)) << "Mono10 is no entry of this device";

    // Unknown ids, and a camera without a device, fail and clear the value.
    ComPtr<IAravisCamera> unopened = test::NewAravisCamera();
    ASSERT_TRUE(unopened);
    IAravisCamera* const opened = m_camera.Get();
    struct Call { IAravisCamera* camera; int32_t id; };
    for (const Call c : {Call{opened, 16}, {opened, -1}, {opened, 1000}, {unopened.Get(), 0}, {unopened.Get(), 8},
                         {unopened.Get(), 12}, {unopened.Get(), 14}, {unopened.Get(), 15}}) {
        uint32_t value = 7;
        EXPECT_EQ(E_FAIL, c.camera->GetParameter(c.id, &value)) << c.id;
        EXPECT_EQ(0u, value) << c.id;
        EXPECT_EQ(E_FAIL, c.camera->SetParameter(c.id, 90)) << c.id;
    }
    uint32_t min = 5, max = 6;
    EXPECT_EQ(E_FAIL, unopened->GetParameterRange(0, &min, &max));
    EXPECT_EQ(5u, min);
    EXPECT_EQ(E_POINTER, m_camera->GetParameter(0, nullptr));
    EXPECT_EQ(E_POINTER, m_camera->GetParameterRange(0, nullptr, &max));
}

// Host threads racing to open one camera: exactly one Open wins, every
// other fails, and the camera then works as opened.
TEST_F(ParametersTest, ConcurrentOpensLetExactlyOneWin) {
    ASSERT_TRUE(Start(kGev));
    m_camera->Close();  // the device admits one controller
    for (int round = 0; round < 5; ++round) {
        ComPtr<IAravisCamera> camera = test::NewAravisCamera();
        const CameraDeviceInfo record = test::DeviceRecord(kGev.address);
        std::atomic<int> opened{0};
        std::vector<std::thread> hosts;
        for (int i = 0; i < 4; ++i) hosts.emplace_back([&] { opened += camera->Open(&record) == S_OK; });
        for (std::thread& host : hosts) host.join();
        EXPECT_EQ(1, opened.load()) << "round " << round;
        ASSERT_EQ(S_OK, camera->SetParameter(CameraParameterRed, 321));
        EXPECT_EQ(321u, m_device->Read(kBalanceRatio)) << "the winner's vendor rules";
    }
}

TEST_F(ParametersTest, GevLongStepsFailWithoutLongExposureAndNothingIsSwitched) {
    ASSERT_TRUE(Start(kGev));
    m_device->WriteDouble(kExposureTime, 5000);
    EXPECT_EQ(E_FAIL, Set(10, 0));
    EXPECT_EQ(5000.0, Exposure());
    ASSERT_EQ(S_OK, Set(13, 1));
    EXPECT_EQ(std::make_pair(0u, 0u), std::make_pair(UserSet(), m_device->Read(kUserSetLoad)));
}

TEST_F(ParametersTest, DahuaUserSetThatNeverTakesIsRetriedForTheWholeWindow) {
    ASSERT_TRUE(Start(kDahua));
    // 300 ms here; still reported done.
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(S_OK, Set(13, 1));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    // The device kept the part of 9920 that fits its selector, never 9920 itself.
    EXPECT_NE(0u, UserSet());
    EXPECT_NE(kLongExposureUserSet, UserSet());
    EXPECT_EQ(1u, m_device->Read(kUserSetLoad));
}

}  // namespace
}  // namespace optivane
