// The numbered parameters of the Aravis camera against GigE Vision cameras
// simulated in this process: an IDS device with gain selectors and a
// long-exposure user set, a GEV device with integer balance ratios and no
// long exposure, a Dahua device with float balance ratios whose user set never
// switches, and a device of no known vendor. Each test reads the device's
// registers directly to see what really reached it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "aravis/CAravisCamera.h"
#include "aravis/FakeGvCamera.h"
#include "aravis/FrameRecorder.h"
#include "frame/ComPtr.h"
#include "platform/TempDir.h"

namespace optivane {
namespace {

using test::FakeGvCamera;
namespace reg = test::genicam;

constexpr HRESULT kChannelAbsent = 0x13C;
constexpr uint32_t kLongExposureUserSet = 9920;

ComPtr<IAravisCamera> CreateCamera() {
    HRESULT status = S_OK;
    CUnknown* object = CAravisCamera::CreateInstance(nullptr, &status);
    ComPtr<IAravisCamera> camera;
    if (object != nullptr) object->NonDelegatingQueryInterface(IID_IAravisCamera, camera.ReceiveVoid());
    return camera;
}

// One simulated device and a camera opened on it.
class ParametersTest : public ::testing::Test {
protected:
    void Start(const char* address, const char* genicamFile, const char* vendorName) {
        m_device = std::make_unique<FakeGvCamera>(address, genicamFile, vendorName);
        ASSERT_TRUE(m_device->IsRunning()) << "no simulated camera on " << address;
        m_camera = CreateCamera();
        ASSERT_TRUE(m_camera);
        const CameraDeviceInfo record = m_device->Record();
        ASSERT_EQ(S_OK, m_camera->Open(&record));
    }
    void TearDown() override {
        if (m_camera) m_camera->Close();
        m_camera.Reset();
        m_device.reset();
    }

    HRESULT Get(int32_t id, uint32_t* value) { return m_camera->GetParameter(id, value); }
    HRESULT Set(int32_t id, uint32_t value) { return m_camera->SetParameter(id, value); }

    std::unique_ptr<FakeGvCamera> m_device;
    ComPtr<IAravisCamera> m_camera;
};

class IdsParametersTest : public ParametersTest {
protected:
    void SetUp() override { Start("127.0.0.3", "ids.xml", "IDS Imaging"); }
    double Exposure() { return m_device->ReadDouble(reg::kExposureTime); }
    uint32_t UserSet() { return m_device->ReadRegister(reg::kUserSetSelector); }
};

class GevParametersTest : public ParametersTest {
protected:
    void SetUp() override { Start("127.0.0.4", "gev.xml", "GEV Tech"); }
};

class DahuaParametersTest : public ParametersTest {
protected:
    // Longer than the 16-byte field of the device record: kept cut short.
    void SetUp() override { Start("127.0.0.5", "dahua.xml", "Dahua Technology"); }
};

class UnknownVendorParametersTest : public ParametersTest {
protected:
    void SetUp() override { Start("127.0.0.6", "ids.xml", "Acme Optics"); }
};

TEST(ParametersWithoutDevice, EveryIdFailsWithoutADeviceIdAndNullOutputsAreRefused) {
    ComPtr<IAravisCamera> camera = CreateCamera();
    ASSERT_TRUE(camera);
    uint32_t value = 7;
    uint32_t min = 5;
    uint32_t max = 6;
    for (int32_t id : {0, 8, 12, 14, 15}) {
        EXPECT_EQ(E_FAIL, camera->GetParameter(id, &value)) << id;
        EXPECT_EQ(0u, value) << "the value is cleared first";
        EXPECT_EQ(E_FAIL, camera->SetParameter(id, 90)) << id;
    }
    EXPECT_EQ(E_FAIL, camera->GetParameterRange(0, &min, &max));
    EXPECT_EQ(5u, min);
    EXPECT_EQ(6u, max);
    EXPECT_EQ(E_POINTER, camera->GetParameter(0, nullptr));
    EXPECT_EQ(E_POINTER, camera->GetParameterRange(0, nullptr, &max));
}

TEST_F(IdsParametersTest, GainsReadRoundedExceptTheMasterGain) {
    for (uint32_t selector : {21u, 22u, 23u, 10u, 20u}) m_device->WriteDouble(reg::kGain + 8 * selector, 1.239);
    uint32_t value = 0;
    for (int32_t id : {2, 3, 4, 6}) {
        ASSERT_EQ(S_OK, Get(id, &value)) << id;
        EXPECT_EQ(124u, value) << id;
    }
    ASSERT_EQ(S_OK, Get(5, &value));
    EXPECT_EQ(123u, value) << "selector 10 reads without the rounding offset";
    EXPECT_EQ(10u, m_device->ReadRegister(reg::kGainSelector));
}

TEST_F(IdsParametersTest, GainsGoToTheSelectedRegisterAndRangesFollowTheSelector) {
    ASSERT_EQ(S_OK, Set(2, 150));
    ASSERT_EQ(S_OK, Set(5, 1250));
    ASSERT_EQ(S_OK, Set(6, 75));
    EXPECT_DOUBLE_EQ(1.5, m_device->ReadDouble(reg::kGain + 8 * 21));
    EXPECT_DOUBLE_EQ(12.5, m_device->ReadDouble(reg::kGain + 8 * 10));
    EXPECT_DOUBLE_EQ(0.75, m_device->ReadDouble(reg::kGain + 8 * 20));
    EXPECT_DOUBLE_EQ(0.0, m_device->ReadDouble(reg::kGain + 8 * 22)) << "green untouched";

    uint32_t min = 9;
    uint32_t max = 9;
    ASSERT_EQ(S_OK, m_camera->GetParameterRange(1, &min, &max));
    EXPECT_EQ(0u, min);
    EXPECT_EQ(400u, max);
    ASSERT_EQ(S_OK, m_camera->GetParameterRange(3, &min, &max));
    EXPECT_EQ(2400u, max);
    EXPECT_EQ(10u, m_device->ReadRegister(reg::kGainSelector));
}

TEST_F(IdsParametersTest, ExposureBoundsAreRefusedAndTheFirstMicrosecondInsideIsTaken) {
    double lower = 0;
    double upper = 0;
    ASSERT_EQ(S_OK, m_camera->GetExposureTimeRange(&lower, &upper));
    ASSERT_EQ(10.0, lower);
    ASSERT_EQ(10000000.0, upper);
    m_device->WriteDouble(reg::kExposureTime, 5000);

    EXPECT_EQ(E_FAIL, Set(8, 10));
    EXPECT_EQ(E_FAIL, Set(8, 10000000));
    EXPECT_EQ(E_FAIL, Set(8, static_cast<uint32_t>(-20))) << "taken as signed";
    EXPECT_EQ(5000.0, Exposure()) << "refused values never reach the device";
    EXPECT_EQ(S_OK, Set(8, 11));
    EXPECT_EQ(11.0, Exposure());
    EXPECT_EQ(S_OK, Set(8, 9999999));
    EXPECT_EQ(9999999.0, Exposure());
}

TEST_F(IdsParametersTest, ExposureReadsRoundedAndStepsFollowTheThresholds) {
    uint32_t value = 0;
    m_device->WriteDouble(reg::kExposureTime, 25000.0);
    ASSERT_EQ(S_OK, Get(10, &value));
    EXPECT_EQ(19u, value);
    ASSERT_EQ(S_OK, Get(8, &value));
    EXPECT_EQ(25000u, value);

    m_device->WriteDouble(reg::kExposureTime, 25000.5);
    ASSERT_EQ(S_OK, Get(10, &value));
    EXPECT_EQ(18u, value);
    ASSERT_EQ(S_OK, Get(8, &value));
    EXPECT_EQ(25001u, value);

    // Every step inside the default range reads back as itself.
    for (uint32_t index = 3; index < 20; ++index) {
        ASSERT_EQ(S_OK, Set(10, index)) << index;
        EXPECT_EQ(CAravisCamera::ExposureStepTime(index), Exposure()) << index;
        ASSERT_EQ(S_OK, Get(10, &value));
        EXPECT_EQ(index, value);
    }
    EXPECT_EQ(0u, UserSet());
}

TEST_F(IdsParametersTest, StepsOutsideTheTableSetOneSixthOfASecond) {
    ASSERT_EQ(S_OK, Set(10, 25));
    EXPECT_EQ(1000000.0 / 6, Exposure());
    EXPECT_EQ(0u, UserSet());
}

TEST_F(IdsParametersTest, TheTenSecondStepIsTheDefaultSetsUpperBoundAndFails) {
    m_device->WriteDouble(reg::kExposureTime, 5000);
    EXPECT_EQ(E_FAIL, Set(10, 2));
    EXPECT_EQ(0u, UserSet()) << "10 s is not above the upper bound: no switch";
    EXPECT_EQ(5000.0, Exposure());
}

TEST_F(IdsParametersTest, LongStepsSwitchToTheLongExposureSetAndShortStepsBack) {
    ASSERT_EQ(S_OK, Set(10, 0));
    EXPECT_EQ(kLongExposureUserSet, UserSet());
    EXPECT_EQ(1u, m_device->ReadRegister(reg::kUserSetLoad));
    EXPECT_EQ(30000000.0, Exposure());

    ASSERT_EQ(S_OK, Set(10, 9));
    EXPECT_EQ(1100000.0, Exposure()) << "step 9 in the long-exposure set";
    EXPECT_EQ(kLongExposureUserSet, UserSet());

    // Below the long-exposure set's lower bound: back to the default set.
    ASSERT_EQ(S_OK, Set(10, 19));
    EXPECT_EQ(0u, UserSet());
    EXPECT_EQ(1000000.0 / 60, Exposure());

    ASSERT_EQ(S_OK, Set(10, 9));
    EXPECT_EQ(1000000.0, Exposure()) << "step 9 in the default set";
}

TEST_F(IdsParametersTest, LongExposureIdSelectsTheUserSet) {
    uint32_t value = 0;
    ASSERT_EQ(S_OK, Set(13, 1));
    EXPECT_EQ(kLongExposureUserSet, UserSet());
    EXPECT_EQ(E_FAIL, Get(13, &value)) << "write only";
    ASSERT_EQ(S_OK, Set(13, 1)) << "already selected";
    ASSERT_EQ(S_OK, Set(13, 5));
    EXPECT_EQ(0u, UserSet()) << "any value but 1 selects the default set";
}

TEST_F(IdsParametersTest, SnapshotsInTheLongExposureSetSwitchToBayer) {
    ASSERT_EQ(S_OK, Set(11, PixelFormatMono8));
    ASSERT_EQ(S_OK, Set(13, 1));
    m_device->WriteDouble(reg::kExposureTime, 2000000);
    test::TempDir folder;
    ASSERT_EQ(S_OK, m_camera->SaveSnapshot(0, folder.File("long.png").c_str()));
    EXPECT_EQ(PixelFormatBayerRG8, m_device->ReadRegister(reg::kPixelFormat));
    uint32_t value = 0;
    ASSERT_EQ(S_OK, Get(11, &value));
    EXPECT_EQ(PixelFormatBayerRG8, value);

    // In the default set the format stays as it is.
    ASSERT_EQ(S_OK, Set(13, 0));
    ASSERT_EQ(S_OK, Set(11, PixelFormatMono8));
    ASSERT_EQ(S_OK, m_camera->SaveSnapshot(0, folder.File("short.png").c_str()));
    EXPECT_EQ(PixelFormatMono8, m_device->ReadRegister(reg::kPixelFormat));
}

TEST_F(IdsParametersTest, SwitchingWhileStreamingRestartsTheStreamToTheSameSink) {
    test::FrameRecorder sink;
    int context = 0;
    ASSERT_EQ(S_OK, Set(11, PixelFormatMono8));
    ASSERT_EQ(S_OK, m_camera->StartStreaming(&sink, &context));
    ASSERT_TRUE(sink.WaitForCount(3, std::chrono::seconds(30)));

    ASSERT_EQ(S_OK, Set(10, 0));
    EXPECT_EQ(kLongExposureUserSet, UserSet());
    EXPECT_EQ(30000000.0, Exposure());

    // Frames come again without a new StartStreaming, in the long-exposure format.
    const size_t before = sink.Count();
    EXPECT_TRUE(sink.WaitForCount(before + 3, std::chrono::seconds(30)));
    EXPECT_EQ(PixelFormatBayerRG8, m_device->ReadRegister(reg::kPixelFormat));
    EXPECT_EQ(E_FAIL, m_camera->StartStreaming(&sink, &context)) << "still streaming";
    EXPECT_EQ(S_OK, m_camera->StopStreaming());
    for (const auto& frame : sink.Frames()) EXPECT_EQ(&context, frame.context);
}

TEST_F(IdsParametersTest, FrameRateReadSetsTheRateOfTheNextAcquisition) {
    uint32_t value = 0;
    ASSERT_EQ(S_OK, Set(12, 2997));
    ASSERT_EQ(S_OK, Get(12, &value));
    EXPECT_EQ(2997u, value);
    const uint32_t period = m_device->ReadRegister(reg::kFramePeriod);
    EXPECT_NEAR(1000000.0 / 29.97, period, 1.0);

    // The device is changed behind the camera's back; the acquisition run
    // puts back the rate that was last read.
    m_device->WriteRegister(reg::kFramePeriod, 40000);
    ASSERT_EQ(S_OK, Get(12, &value));
    EXPECT_EQ(2500u, value);
    m_device->WriteRegister(reg::kFramePeriod, 100000);
    test::FrameRecorder sink;
    ASSERT_EQ(S_OK, m_camera->StartStreaming(&sink, nullptr));
    ASSERT_TRUE(sink.WaitForCount(2, std::chrono::seconds(30)));
    EXPECT_EQ(40000u, m_device->ReadRegister(reg::kFramePeriod));
    const auto frame = sink.Frames().back();
    EXPECT_EQ(25000u, frame.format.FrameRateNumerator);
    EXPECT_EQ(1000u, frame.format.FrameRateDenominator);
    m_camera->StopStreaming();
}

TEST_F(IdsParametersTest, FrameRateCallsRaceTheStreamingThreadSafely) {
    test::FrameRecorder sink;
    ASSERT_EQ(S_OK, m_camera->StartStreaming(&sink, nullptr));
    uint32_t value = 0;
    for (uint32_t rate = 1000; rate < 3000; rate += 40) {
        ASSERT_EQ(S_OK, Set(12, rate));
        ASSERT_EQ(S_OK, Get(12, &value));
    }
    EXPECT_TRUE(sink.WaitForCount(2, std::chrono::seconds(30)));
    m_camera->StopStreaming();
}

// Frames stop (the device waits for a trigger that never comes), so the
// streaming thread replaces the device handle again and again while this
// thread keeps using it; when frames come back they reach the same sink.
TEST_F(IdsParametersTest, ParametersStayUsableWhileTheStreamingThreadReconnects) {
    test::FrameRecorder sink;
    ASSERT_EQ(S_OK, Set(12, 2500));
    ASSERT_EQ(S_OK, m_camera->StartStreaming(&sink, nullptr));
    ASSERT_TRUE(sink.WaitForCount(2, std::chrono::seconds(30)));

    m_device->WriteRegister(reg::kTriggerMode, 1);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(4);
    uint32_t value = 0;
    int answered = 0;
    while (std::chrono::steady_clock::now() < until) {
        // A call may meet the device between two connections and fail; it must never crash.
        if (Set(0, 7) == S_OK && Get(0, &value) == S_OK && value == 7) ++answered;
        Set(14, 90);
    }
    EXPECT_GT(answered, 0);

    m_device->WriteRegister(reg::kTriggerMode, 0);
    const size_t before = sink.Count();
    EXPECT_TRUE(sink.WaitForCount(before + 3, std::chrono::seconds(60)));
    EXPECT_EQ(S_OK, m_camera->StopStreaming());
}

TEST_F(IdsParametersTest, AutoModesAndWhiteBalanceTexts) {
    uint32_t value = 9;
    ASSERT_EQ(S_OK, Set(1, 1));
    EXPECT_EQ(1u, m_device->ReadRegister(reg::kGainAuto));
    ASSERT_EQ(S_OK, Set(7, 2));
    EXPECT_EQ(2u, m_device->ReadRegister(reg::kExposureAuto));
    ASSERT_EQ(S_OK, Get(7, &value));
    EXPECT_EQ(2u, value);
    ASSERT_EQ(S_OK, Set(1, 7));
    EXPECT_EQ(0u, m_device->ReadRegister(reg::kGainAuto)) << "unknown modes turn it off";

    ASSERT_EQ(S_OK, Set(9, 1));
    EXPECT_EQ(1u, m_device->ReadRegister(reg::kBalanceWhiteAuto)) << "\"Once\"";
    ASSERT_EQ(S_OK, Get(9, &value));
    EXPECT_EQ(1u, value);
    EXPECT_EQ(E_INVALIDARG, Set(9, 3));
    EXPECT_EQ(1u, m_device->ReadRegister(reg::kBalanceWhiteAuto)) << "invalid modes never reach the device";

    m_device->WriteRegister(reg::kBalanceWhiteAuto, 3);  // "Auto"
    value = 9;
    ASSERT_EQ(S_OK, Get(9, &value));
    EXPECT_EQ(0u, value);
}

TEST_F(IdsParametersTest, BrightnessPixelFormatRotationFlipAndUnknownIds) {
    uint32_t value = 0;
    ASSERT_EQ(S_OK, Set(0, static_cast<uint32_t>(-5)));
    EXPECT_EQ(0xFFFFFFFBu, m_device->ReadRegister(reg::kBrightness)) << "sign-extended";
    ASSERT_EQ(S_OK, Get(0, &value));
    EXPECT_EQ(0xFFFFFFFBu, value);

    ASSERT_EQ(S_OK, Set(11, PixelFormatRGB8));
    EXPECT_EQ(PixelFormatRGB8, m_device->ReadRegister(reg::kPixelFormat));
    EXPECT_EQ(E_FAIL, Set(11, 0x01100003)) << "Mono10 is no entry of this device";

    ASSERT_EQ(S_OK, Set(14, 270));
    ASSERT_EQ(S_OK, Set(15, 12345));
    ASSERT_EQ(S_OK, Get(14, &value));
    EXPECT_EQ(270u, value);
    ASSERT_EQ(S_OK, Get(15, &value));
    EXPECT_EQ(12345u, value) << "stored without a check";

    for (int32_t id : {16, 17, -1, 1000}) {
        value = 3;
        EXPECT_EQ(E_FAIL, Get(id, &value)) << id;
        EXPECT_EQ(0u, value);
        EXPECT_EQ(E_FAIL, Set(id, 1)) << id;
    }
}

TEST_F(GevParametersTest, FurtherGainIsAbsentAndBalanceRatiosAreUnscaledIntegers) {
    uint32_t value = 12345;
    EXPECT_EQ(kChannelAbsent, Get(6, &value));
    EXPECT_EQ(0u, value);
    EXPECT_EQ(kChannelAbsent, Set(6, 100));

    ASSERT_EQ(S_OK, Set(2, 1234));
    ASSERT_EQ(S_OK, Set(4, 99));
    EXPECT_EQ(1234u, m_device->ReadRegister(reg::kBalanceRatio));
    EXPECT_EQ(0u, m_device->ReadRegister(reg::kBalanceRatio + 4));
    EXPECT_EQ(99u, m_device->ReadRegister(reg::kBalanceRatio + 8));
    m_device->WriteRegister(reg::kBalanceRatio + 4, 777);
    ASSERT_EQ(S_OK, Get(3, &value));
    EXPECT_EQ(777u, value);

    ASSERT_EQ(S_OK, Set(5, 1250));
    EXPECT_EQ(12.5, m_device->ReadDouble(reg::kGain));
    m_device->WriteDouble(reg::kGain, 1.239);
    ASSERT_EQ(S_OK, Get(5, &value));
    EXPECT_EQ(124u, value);
}

TEST_F(GevParametersTest, Ranges) {
    uint32_t min = 1;
    uint32_t max = 1;
    for (int32_t channel : {0, 1, 2}) {
        ASSERT_EQ(S_OK, m_camera->GetParameterRange(channel, &min, &max));
        EXPECT_EQ(0u, min);
        EXPECT_EQ(4095u, max) << "unscaled";
    }
    ASSERT_EQ(S_OK, m_camera->GetParameterRange(3, &min, &max));
    EXPECT_EQ(4800u, max);
    min = max = 7;
    EXPECT_EQ(E_FAIL, m_camera->GetParameterRange(4, &min, &max));
    EXPECT_EQ(E_FAIL, m_camera->GetParameterRange(5, &min, &max));
    EXPECT_EQ(E_FAIL, m_camera->GetParameterRange(-1, &min, &max));
    EXPECT_EQ(7u, min);
    EXPECT_EQ(7u, max);
}

TEST_F(GevParametersTest, WithoutLongExposureLongStepsFailAndTheUserSetStays) {
    m_device->WriteDouble(reg::kExposureTime, 5000);
    EXPECT_EQ(E_FAIL, Set(10, 0));
    EXPECT_EQ(0u, m_device->ReadRegister(reg::kUserSetSelector));
    EXPECT_EQ(5000.0, m_device->ReadDouble(reg::kExposureTime));

    ASSERT_EQ(S_OK, Set(13, 1)) << "nothing to switch";
    EXPECT_EQ(0u, m_device->ReadRegister(reg::kUserSetSelector));
    EXPECT_EQ(0u, m_device->ReadRegister(reg::kUserSetLoad));
}

TEST_F(DahuaParametersTest, BalanceRatiosAreFloatsWrittenInSinglePrecision) {
    ASSERT_EQ(S_OK, Set(2, 157));
    const double written = m_device->ReadDouble(reg::kBalanceRatio);
    EXPECT_EQ(static_cast<double>(157.0f / 100.0f), written);
    EXPECT_NE(1.57, written);
    uint32_t value = 0;
    ASSERT_EQ(S_OK, Get(2, &value));
    EXPECT_EQ(157u, value);

    m_device->WriteDouble(reg::kBalanceRatio + 16, 1.239);
    ASSERT_EQ(S_OK, Get(4, &value));
    EXPECT_EQ(124u, value);

    value = 8;
    EXPECT_EQ(kChannelAbsent, Get(6, &value));
    EXPECT_EQ(0u, value);

    uint32_t min = 1;
    uint32_t max = 1;
    ASSERT_EQ(S_OK, m_camera->GetParameterRange(1, &min, &max));
    EXPECT_EQ(0u, min);
    EXPECT_EQ(1500u, max);
    ASSERT_EQ(S_OK, m_camera->GetParameterRange(3, &min, &max));
    EXPECT_EQ(4800u, max);
    EXPECT_EQ(E_FAIL, m_camera->GetParameterRange(4, &min, &max));
}

// The one slow case: a device that never takes the user set is retried for
// 20 seconds, and the switch still reports success.
TEST_F(DahuaParametersTest, AUserSetThatNeverTakesIsRetriedThenGivenUp) {
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(S_OK, Set(13, 1));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::seconds(18));
    // It kept the part of 9920 that fits its selector, never 9920 itself.
    EXPECT_NE(0u, m_device->ReadRegister(reg::kUserSetSelector));
    EXPECT_NE(kLongExposureUserSet, m_device->ReadRegister(reg::kUserSetSelector));
    EXPECT_EQ(1u, m_device->ReadRegister(reg::kUserSetLoad));
}

TEST_F(UnknownVendorParametersTest, ColourAndGainChannelsFail) {
    uint32_t value = 5;
    uint32_t min = 5;
    uint32_t max = 5;
    for (int32_t id = 2; id <= 6; ++id) {
        EXPECT_EQ(E_FAIL, Get(id, &value)) << id;
        EXPECT_EQ(0u, value);
        EXPECT_EQ(E_FAIL, Set(id, 100)) << id;
        EXPECT_EQ(E_FAIL, m_camera->GetParameterRange(id - 2, &min, &max)) << id;
    }
    EXPECT_EQ(5u, min);
    EXPECT_EQ(0.0, m_device->ReadDouble(reg::kGain + 8 * 21));
    ASSERT_EQ(S_OK, Set(0, 42)) << "the other parameters still work";
    EXPECT_EQ(42u, m_device->ReadRegister(reg::kBrightness));
}

}  // namespace
}  // namespace optivane
