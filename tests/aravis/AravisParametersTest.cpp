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

TEST_F(ParametersTest, VendorRulesForColourAndGainChannels) {
    // Range maxima of channels 0..4 (-1: the range fails); results of ids 2..5 and of id 6.
    struct Case { Device device; int64_t maxima[5]; HRESULT colourAndGain, furtherGain; };
    const Case cases[] = {{kIds, {400, 400, 400, 2400, 400}, S_OK, S_OK},
                          {kGev, {4095, 4095, 4095, 4800, -1}, S_OK, kChannelAbsent},
                          {kDahua, {1500, 1500, 1500, 4800, -1}, S_OK, kChannelAbsent},
                          {kUnknown, {-1, -1, -1, -1, -1}, E_FAIL, E_FAIL}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.device.vendorName);
        ASSERT_TRUE(Start(c.device));
        for (int32_t channel = 0; channel < 5; ++channel) {
            uint32_t min = 7, max = 7;
            const bool fails = c.maxima[channel] < 0;
            EXPECT_EQ(fails ? E_FAIL : S_OK, m_camera->GetParameterRange(channel, &min, &max)) << channel;
            EXPECT_EQ(fails ? 7u : 0u, min) << channel;
            EXPECT_EQ(fails ? 7 : c.maxima[channel], max) << channel;
        }
        for (int32_t id = 2; id <= 6; ++id) {
            const HRESULT expected = id == 6 ? c.furtherGain : c.colourAndGain;
            uint32_t value = 9;
            EXPECT_EQ(expected, Set(id, 100)) << id;
            EXPECT_EQ(expected, Get(id, &value)) << id;
            EXPECT_TRUE(expected == S_OK || value == 0) << id << ": failed reads give 0";
        }
        ASSERT_EQ(S_OK, Set(0, 42)) << "the other parameters work whatever the vendor";
        EXPECT_EQ(42u, m_device->Read(kBrightness));
    }
}

TEST_F(ParametersTest, IdsGainsUseTheirSelectorAndRoundExceptTheMasterGain) {
    ASSERT_TRUE(Start(kIds));
    struct Case { int32_t id; uint32_t selector, read; };
    const Case cases[] = {{2, 21, 124}, {3, 22, 124}, {4, 23, 124}, {5, 10, 123}, {6, 20, 124}};
    for (const Case& c : cases) m_device->WriteDouble(kGain + 8 * c.selector, 1.239);
    for (const Case& c : cases) {
        EXPECT_EQ(c.read, Value(c.id)) << c.id;
        EXPECT_EQ(c.selector, m_device->Read(kGainSelector)) << c.id;
        ASSERT_EQ(S_OK, Set(c.id, 150 + c.id)) << c.id;
        EXPECT_DOUBLE_EQ((150 + c.id) / 100.0, m_device->ReadDouble(kGain + 8 * c.selector)) << c.id;
    }
}

TEST_F(ParametersTest, IdsExposureBoundsAreRefusedAndStepsFollowTheThresholds) {
    ASSERT_TRUE(Start(kIds));
    // The device's range is 10 us to 10 s; step 2 is 10 s, no reason to switch user sets.
    m_device->WriteDouble(kExposureTime, 5000);
    for (uint32_t refused : {10u, 10000000u, static_cast<uint32_t>(-20)}) EXPECT_EQ(E_FAIL, Set(8, refused)) << refused;
    EXPECT_EQ(E_FAIL, Set(10, 2));
    EXPECT_EQ(5000.0, Exposure()) << "refused values never reach the device";
    EXPECT_EQ(0u, UserSet());
    EXPECT_EQ(S_OK, Set(8, 11));
    EXPECT_EQ(11.0, Exposure());

    struct Reading { double time; uint32_t step, microseconds; };
    for (const Reading r : {Reading{25000.0, 19, 25000}, Reading{25000.5, 18, 25001}}) {
        m_device->WriteDouble(kExposureTime, r.time);
        EXPECT_EQ(r.step, Value(10)) << r.time;
        EXPECT_EQ(r.microseconds, Value(8)) << r.time;
    }
    ASSERT_EQ(S_OK, Set(10, 25));
    EXPECT_EQ(1000000.0 / 6, Exposure()) << "steps outside the table";
    for (uint32_t step = 3; step < 20; ++step) {
        ASSERT_EQ(S_OK, Set(10, step)) << step;
        EXPECT_EQ(exposure::StepTime(step), Exposure()) << step;
        EXPECT_EQ(step, Value(10));
    }
    EXPECT_EQ(0u, UserSet());
}

TEST_F(ParametersTest, IdsLongExposureUserSetSwitchesBothWaysAndSnapshotsInItUseBayer) {
    ASSERT_TRUE(Start(kIds));
    const std::string file = ::testing::TempDir() + "aravis-parameters.png";
    ASSERT_EQ(S_OK, Set(11, PixelFormatMono8));
    ASSERT_EQ(S_OK, Set(10, 0));
    EXPECT_EQ(kLongExposureUserSet, UserSet());
    EXPECT_EQ(1u, m_device->Read(kUserSetLoad));
    EXPECT_EQ(30000000.0, Exposure());
    ASSERT_EQ(S_OK, Set(10, 9));
    EXPECT_EQ(1100000.0, Exposure()) << "step 9 in the long-exposure set";
    ASSERT_EQ(S_OK, m_camera->SaveSnapshot(0, file.c_str()));
    EXPECT_EQ(PixelFormatBayerRG8, m_device->Read(kPixelFormat));
    EXPECT_EQ(PixelFormatBayerRG8, Value(11));

    // Below the long-exposure set's lower bound: back to the default set.
    ASSERT_EQ(S_OK, Set(10, 19));
    EXPECT_EQ(0u, UserSet());
    EXPECT_EQ(1000000.0 / 60, Exposure());
    ASSERT_EQ(S_OK, Set(10, 9));
    EXPECT_EQ(1000000.0, Exposure()) << "step 9 in the default set";
    ASSERT_EQ(S_OK, Set(11, PixelFormatMono8));
    ASSERT_EQ(S_OK, m_camera->SaveSnapshot(0, file.c_str()));
    EXPECT_EQ(PixelFormatMono8, m_device->Read(kPixelFormat));
    std::remove(file.c_str());

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
    int context = 0;
    ASSERT_EQ(S_OK, Set(12, 2997));
    EXPECT_NEAR(1000000.0 / 29.97, m_device->Read(kFramePeriod), 1.0);
    // Changed behind the camera's back: the next run puts back the rate last read.
    m_device->Write(kFramePeriod, 40000);
    EXPECT_EQ(2500u, Value(12));
    m_device->Write(kFramePeriod, 100000);
    ASSERT_EQ(S_OK, Set(11, PixelFormatMono8));
    ASSERT_EQ(S_OK, m_camera->StartStreaming(&m_sink, &context));
    ASSERT_TRUE(m_sink.WaitForCount(2));
    EXPECT_EQ(40000u, m_device->Read(kFramePeriod));
    const FrameFormat format = m_sink.Frames().back().format;
    EXPECT_EQ(25000u, format.FrameRateNumerator);
    EXPECT_EQ(1000u, format.FrameRateDenominator);
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
    EXPECT_EQ(kLongExposureUserSet, UserSet());
    EXPECT_EQ(30000000.0, Exposure());
    EXPECT_TRUE(m_sink.WaitForCount(m_sink.Count() + 3)) << "no frames after the switch";
    EXPECT_EQ(PixelFormatBayerRG8, m_device->Read(kPixelFormat));
    EXPECT_EQ(E_FAIL, m_camera->StartStreaming(&m_sink, &context)) << "still streaming";
    EXPECT_EQ(S_OK, m_camera->StopStreaming());
    for (const test::FrameRecorder::Frame& frame : m_sink.Frames()) EXPECT_EQ(&context, frame.context);
}

TEST_F(ParametersTest, IdsModesAndPlainValuesReachTheDevice) {
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
}

TEST_F(ParametersTest, UnknownIdsAndACameraWithoutDeviceFailAndClearTheValue) {
    ComPtr<IAravisCamera> unopened = test::NewAravisCamera();
    ASSERT_TRUE(unopened && Start(kIds));
    IAravisCamera* const opened = m_camera.Get();
    struct Case { IAravisCamera* camera; int32_t id; };
    for (const Case c : {Case{opened, 16}, {opened, -1}, {opened, 1000}, {unopened.Get(), 0}, {unopened.Get(), 8},
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

TEST_F(ParametersTest, GevRatiosAreUnscaledIntegersAndLongStepsFailWithoutLongExposure) {
    ASSERT_TRUE(Start(kGev));
    ASSERT_EQ(S_OK, Set(2, 1234));
    ASSERT_EQ(S_OK, Set(4, 99));
    EXPECT_EQ(1234u, m_device->Read(kBalanceRatio));
    EXPECT_EQ(0u, m_device->Read(kBalanceRatio + 4));
    EXPECT_EQ(99u, m_device->Read(kBalanceRatio + 8));
    m_device->Write(kBalanceRatio + 4, 777);
    EXPECT_EQ(777u, Value(3));
    ASSERT_EQ(S_OK, Set(5, 1250));
    EXPECT_EQ(12.5, m_device->ReadDouble(kGain));
    m_device->WriteDouble(kGain, 1.239);
    EXPECT_EQ(124u, Value(5));

    m_device->WriteDouble(kExposureTime, 5000);
    EXPECT_EQ(E_FAIL, Set(10, 0));
    EXPECT_EQ(5000.0, Exposure());
    ASSERT_EQ(S_OK, Set(13, 1)) << "nothing to switch";
    EXPECT_EQ(0u, UserSet());
    EXPECT_EQ(0u, m_device->Read(kUserSetLoad));
}

TEST_F(ParametersTest, DahuaRatiosAreSinglePrecisionAndAUserSetThatNeverTakesIsRetried) {
    ASSERT_TRUE(Start(kDahua));
    ASSERT_EQ(S_OK, Set(2, 157));
    EXPECT_EQ(static_cast<double>(157.0f / 100.0f), m_device->ReadDouble(kBalanceRatio)) << "not 1.57";
    EXPECT_EQ(157u, Value(2));
    m_device->WriteDouble(kBalanceRatio + 16, 1.239);
    EXPECT_EQ(124u, Value(4));

    // Retried for the whole window (300 ms here), and still reported done.
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
