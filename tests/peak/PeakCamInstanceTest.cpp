// One opened IDS peak device (CPeakCamInstance) against simulated IDS peak
// cameras in this process, read back through their registers.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "aravis/FakeGvCamera.h"
#include "aravis/GvspRelay.h"
#include "peak/CPeakCamInstance.h"
#include "peak/sdk/Library.h"
#include "runtime/CVrelAutoLock.h"

namespace optivane {
namespace {

using namespace std::chrono_literals;

// The simulated camera's registers (tools/fake-camera/ids-peak.xml).
constexpr uint32_t kWidth = 0x100;
constexpr uint32_t kHeight = 0x104;
constexpr uint32_t kAcquisition = 0x124;
constexpr uint32_t kFramePeriod = 0x138;
constexpr uint32_t kTriggerMode = 0x300;
constexpr uint32_t kTriggerSource = 0x304;  // 1: software
constexpr uint32_t kTriggerSoftware = 0x30c;
constexpr uint32_t kTlParamsLocked = 0xA008;
constexpr uint32_t kAcquisitionStopOff = 0xA044;
constexpr uint32_t kOnlyAnalogAll = 0xA048;

constexpr uint32_t kMono8 = 0x01080001;

class PeakCamInstanceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_camera.IsRunning() && m_other.IsRunning());
        m_camera.Write(kFramePeriod, 5000);
        peak::Library::Initialize();
    }
    void TearDown() override {
        while (peak::Library::IsInitialized()) peak::Library::Close();
    }
    // A deliverer ready for frames, delivering to nobody.
    static void StartDeliverer(CVideoCallbacker& deliverer) {
        ASSERT_EQ(deliverer.CreateTasks(), S_OK);
        ASSERT_EQ(deliverer.CreatePools(5, 7, FrameSizing{}), S_OK);
        ASSERT_EQ(deliverer.SetSink(nullptr, nullptr), S_OK);
        ASSERT_EQ(deliverer.Start(), S_OK);
    }
    void OpenAndStart(CPeakCamInstance& instance) {
        CameraDeviceInfo record{};
        ASSERT_EQ(instance.OpenCamera("IDS/IdsSim/P1", &record), S_OK);
        uint32_t count = 0;
        ASSERT_EQ(instance.OpenDataStream(&count), S_OK);
        EXPECT_EQ(count, 5u);
        ASSERT_EQ(instance.StartLiveStreaming(), S_OK);
    }

    test::FakeGvCamera m_camera{"127.0.0.3", "ids-peak.xml", "IDS Imaging Development Systems GmbH", "P1", "IdsSim"};
    test::FakeGvCamera m_other{"127.0.0.2", "ids-peak.xml", "IDS", "P2", "IdsSim"};
};

TEST_F(PeakCamInstanceTest, OpensByTheCutIdentifierAndReadsRecordAndChoices) {
    CPeakCamInstance instance;
    CameraDeviceInfo record{};
    EXPECT_EQ(instance.OpenDataStream(nullptr), E_POINTER);
    uint32_t count = 0;
    EXPECT_EQ(instance.OpenDataStream(&count), E_UNEXPECTED);
    EXPECT_EQ(instance.OpenCamera("IDS/IdsSim/P1-GEV", &record), E_NOINTERFACE);
    EXPECT_EQ(instance.OpenCamera("IDS/IdsSim", &record), E_NOINTERFACE);
    ASSERT_EQ(instance.OpenCamera("IDS/IdsSim/P1", &record), S_OK);
    EXPECT_STREQ(record.DeviceId, "IDS/IdsSim/P1");
    EXPECT_STREQ(record.VendorName, "IDS PeakCamera");
    EXPECT_STREQ(record.IpAddress, "127.0.0.3");
    EXPECT_STREQ(record.ModelName, "IdsSim");
    EXPECT_STREQ(record.SerialNumber, "P1");
    EXPECT_EQ(record.WidthMax, m_camera.Read(kWidth));
    // Never opened twice.
    EXPECT_EQ(instance.OpenCamera("IDS/IdsSim/P1", &record), E_UNEXPECTED);

    CVrelAutoLock lock(&instance.InstanceLock());
    const std::vector<std::string> gains{"DigitalRed", "DigitalGreen", "DigitalBlue", "AnalogAll", "DigitalAll"};
    for (int32_t index = 0; index < CPeakCamInstance::kGainCount; ++index)
        EXPECT_EQ(instance.GainSelectorName(index), gains[index]);
    EXPECT_EQ(instance.PixelFormats().size(), 12u);
    EXPECT_EQ(instance.PixelFormats().front(), "Mono8");
    EXPECT_EQ(instance.UserSets(), (std::vector<std::string>{"Default", "LongExposure"}));
    EXPECT_EQ(instance.DefaultUserSet(), "Default");
    EXPECT_EQ(instance.LongExposureUserSet(), "LongExposure");

    // A second opening in this process shares the device the first holds.
    m_other.Write(kOnlyAnalogAll, 1);
    CPeakCamInstance second;
    ASSERT_EQ(second.OpenCamera("IDS/IdsSim/P1", &record), S_OK);
    CPeakCamInstance analogOnly;
    ASSERT_EQ(analogOnly.OpenCamera("IDS/IdsSim/P2", &record), S_OK);
    EXPECT_STREQ(record.IpAddress, "127.0.0.2");
    const std::vector<std::string> fallbacks{"Red", "Green", "Blue", "AnalogAll", ""};
    for (int32_t index = 0; index < CPeakCamInstance::kGainCount; ++index)
        EXPECT_EQ(analogOnly.GainSelectorName(index), fallbacks[index]);
}

TEST_F(PeakCamInstanceTest, UserSetsMoveTheExposureRangeAndKeepTheirOwnGains) {
    CPeakCamInstance instance;
    CameraDeviceInfo record{};
    ASSERT_EQ(instance.OpenCamera("IDS/IdsSim/P1", &record), S_OK);
    const double defaultMaximum = instance.ExposureMaximum();
    ASSERT_EQ(instance.SetGain("AnalogAll", 2.0), S_OK);

    ASSERT_EQ(instance.SelectUserSet("LongExposure"), S_OK);
    EXPECT_EQ(instance.CurrentUserSet(), "LongExposure");
    EXPECT_GT(instance.ExposureMaximum(), defaultMaximum);
    EXPECT_EQ(instance.SetExposure(instance.ExposureMaximum()), S_OK);
    double minimum = 0, maximum = 0, value = 0;
    ASSERT_EQ(instance.GetGainByIndex(3, &minimum, &maximum, &value), S_OK);
    EXPECT_NE(value, 2.0);
    EXPECT_EQ(instance.SelectUserSet("UserSet1"), E_FAIL);
    EXPECT_EQ(instance.CurrentUserSet(), "LongExposure");

    ASSERT_EQ(instance.SelectUserSet("Default"), S_OK);
    EXPECT_EQ(instance.ExposureMaximum(), defaultMaximum);
    ASSERT_EQ(instance.GetGainByIndex(3, &minimum, &maximum, &value), S_OK);
    EXPECT_EQ(value, 2.0);
    EXPECT_EQ(instance.GetGainByIndex(5, &minimum, &maximum, &value), E_INVALIDARG);
    EXPECT_EQ(instance.GetGainByIndex(-1, &minimum, &maximum, &value), E_INVALIDARG);
    // Above the range: the device refuses.
    EXPECT_EQ(instance.SetExposure(defaultMaximum * 2), E_FAIL);

    uint32_t code = 0;
    EXPECT_EQ(CPeakCamInstance::PixelFormatCode("BayerBG8", &code), S_OK);
    EXPECT_EQ(code, 0x0108000Bu);
    EXPECT_EQ(CPeakCamInstance::PixelFormatCode("BayerRG12p", &code), E_UNEXPECTED);
    std::string format;
    ASSERT_EQ(instance.SetPixelFormat("BayerRG12p"), S_OK);
    ASSERT_EQ(instance.GetPixelFormat(&format), S_OK);
    EXPECT_EQ(format, "BayerRG12p");
    EXPECT_EQ(instance.SetPixelFormat("NoSuchFormat"), E_FAIL);
}

TEST_F(PeakCamInstanceTest, FramesReachTheDelivererAndStoppingUnlocksEvenWithoutAcquisitionStop) {
    CVideoCallbacker deliverer;
    StartDeliverer(deliverer);
    CPeakCamInstance instance;
    EXPECT_EQ(instance.LiveStreaming(kMono8, &deliverer), E_UNEXPECTED);
    OpenAndStart(instance);
    EXPECT_EQ(instance.StartLiveStreaming(), E_UNEXPECTED);
    EXPECT_EQ(m_camera.Read(kTlParamsLocked), 1u);
    EXPECT_EQ(m_camera.Read(kAcquisition), 1u);
    // More frames than buffers: each goes back to the stream after its copy.
    // Each is delivered before the next, so a slow conversion drops none. A
    // frame that lost packets on a loaded machine is dropped, not delivered,
    // and its call still succeeds: a few calls more are allowed for those.
    for (int call = 0; call < 16 && deliverer.Produced() < 8; ++call) {
        ASSERT_EQ(instance.LiveStreaming(kMono8, &deliverer), S_OK);
        for (int wait = 0; wait < 500 && deliverer.Consumed() < deliverer.Produced(); ++wait)
            std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(deliverer.Produced(), 8);

    // Frames without pixels (the firmware set the height to 0): every call
    // succeeds and gives its buffer back, but only the frames already waiting
    // in the five buffers are delivered.
    const uint32_t height = m_camera.Read(kHeight);
    m_camera.Write(kHeight, 0);
    std::this_thread::sleep_for(100ms);
    for (int call = 0; call < 12; ++call) ASSERT_EQ(instance.LiveStreaming(kMono8, &deliverer), S_OK) << call;
    EXPECT_LE(deliverer.Produced(), 8 + 5);
    m_camera.Write(kHeight, height);
    const int64_t beforeRestore = deliverer.Produced();
    for (int call = 0; call < 16 && deliverer.Produced() < beforeRestore + 2; ++call)
        ASSERT_EQ(instance.LiveStreaming(kMono8, &deliverer), S_OK);
    EXPECT_GE(deliverer.Produced(), beforeRestore + 2);
    uint32_t count = 0;

    // Without AcquisitionStop the device keeps sending, yet the data stream
    // stops and the transport parameters unlock.
    m_camera.Write(kAcquisitionStopOff, 1);
    EXPECT_EQ(instance.StopLiveStreaming(), E_FAIL);
    EXPECT_EQ(m_camera.Read(kTlParamsLocked), 0u);
    EXPECT_EQ(instance.LiveStreaming(kMono8, &deliverer), E_UNEXPECTED);
    // A new data stream replaces the stopped one.
    ASSERT_EQ(instance.OpenDataStream(&count), S_OK);
    m_camera.Write(kAcquisitionStopOff, 0);
    EXPECT_EQ(instance.StopLiveStreaming(), S_OK);
    deliverer.Stop();
}

TEST_F(PeakCamInstanceTest, FramesThatLostPacketsAreGivenBackUndelivered) {
    // One frame per software trigger, so each call below meets exactly the frame triggered for it.
    m_camera.Write(kTriggerMode, 1);
    m_camera.Write(kTriggerSource, 1);
    // Small frames: a few packets each, never more than the link's buffer holds.
    m_camera.Write(kWidth, 128);
    m_camera.Write(kHeight, 64);
    CVideoCallbacker deliverer;
    StartDeliverer(deliverer);
    CPeakCamInstance instance;
    OpenAndStart(instance);
    test::GvspRelay link(m_camera);
    ASSERT_TRUE(link.IsRelaying());
    const auto nextFrame = [&] {
        m_camera.Write(kTriggerSoftware, 1);
        const HRESULT result = instance.LiveStreaming(kMono8, &deliverer);
        for (int wait = 0; wait < 500 && deliverer.Consumed() < deliverer.Produced(); ++wait)
            std::this_thread::sleep_for(10ms);
        return result;
    };

    // A loaded machine may lose a whole frame now and then: a few calls more are allowed for those.
    for (int call = 0; call < 4 && deliverer.Produced() < 1; ++call) ASSERT_EQ(nextFrame(), S_OK);
    ASSERT_EQ(deliverer.Produced(), 1);
    // Frames without their payload: each call succeeds and requeues the buffer, and nothing is delivered.
    link.LosePayload(true);
    for (int frame = 0; frame < 3; ++frame) EXPECT_EQ(nextFrame(), S_OK) << frame;
    EXPECT_EQ(link.DamagedFrames(), 3);
    EXPECT_EQ(deliverer.Produced(), 1);
    // More frames than buffers: all came back, and whole frames are delivered again.
    link.LosePayload(false);
    for (int call = 0; call < 10 && deliverer.Produced() < 7; ++call) ASSERT_EQ(nextFrame(), S_OK) << call;
    EXPECT_EQ(deliverer.Produced(), 7);
    EXPECT_EQ(instance.StopLiveStreaming(), S_OK);
    deliverer.Stop();
}

TEST_F(PeakCamInstanceTest, AWaitOutlastsTwoTimeOutsNotThreeAndEndsOnStopDataStream) {
    PeakTimings timings;
    // Waits long enough for a frame that lost packets, under a sanitizer.
    timings.minimumBufferWaitMs = 600;
    // No frame without a software trigger.
    m_camera.Write(kTriggerMode, 1);
    m_camera.Write(kTriggerSource, 1);
    {
        CPeakCamInstance instance(timings);
        OpenAndStart(instance);
        // The trigger comes between the second time-out and the third.
        auto triggered =
            std::async(std::launch::async, [&instance] { return instance.LiveStreaming(kMono8, nullptr); });
        std::this_thread::sleep_for(1500ms);
        m_camera.Write(kTriggerSoftware, 1);
        EXPECT_EQ(triggered.get(), S_OK);

        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(instance.LiveStreaming(kMono8, nullptr), E_FAIL);
        EXPECT_GE(std::chrono::steady_clock::now() - start, 1800ms);
        EXPECT_EQ(instance.StopLiveStreaming(), S_OK);
    }

    timings.minimumBufferWaitMs = 5000;
    CPeakCamInstance patient(timings);
    OpenAndStart(patient);
    auto waiting = std::async(std::launch::async, [&patient] { return patient.LiveStreaming(kMono8, nullptr); });
    std::this_thread::sleep_for(50ms);
    const auto stopped = std::chrono::steady_clock::now();
    EXPECT_EQ(patient.StopDataStream(), S_OK);
    EXPECT_EQ(waiting.get(), E_FAIL);
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, 500ms);
    EXPECT_EQ(patient.StopLiveStreaming(), S_OK);
}

}  // namespace
}  // namespace optivane
