// The IDS peak camera, its SDK manager and the device listing against
// simulated IDS peak cameras in this process: made with short pauses and
// time limits through the class's own creation, and once through the
// module's entry for the class table.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "aravis/FakeGvCamera.h"
#include "aravis/FrameRecorder.h"
#include "frame/ComPtr.h"
#include "frame/modules/ModuleLoader.h"
#include "peak/CIdsPeakCamera.h"
#include "peak/CIdsPeakManager.h"
#include "peak/CPeakSdkManager.h"
#include "peak/sdk/Library.h"
#include "platform/SharedLibrary.h"
#include "runtime/CTimeUtil.h"

namespace optivane {
namespace {

using namespace std::chrono_literals;
using test::FakeGvCamera;
using test::FrameRecorder;

// Registers of tools/fake-camera/ids-peak.xml.
constexpr uint32_t kPixelFormat = 0x128;
// The long-exposure user set's pixel format; the default set's is kPixelFormat.
constexpr uint32_t kLongSetPixelFormat = 0xA050;
constexpr uint32_t kFramePeriod = 0x138;
constexpr uint32_t kUserSet = 0xA000;
constexpr uint32_t kColorCorrection = 0xA010;
constexpr uint32_t kFrameRateMax = 0xA018;
constexpr uint32_t kExposure = 0xA020;
constexpr uint32_t kSensorNameOff = 0xA040;
// Gains: one double per user set and selector (AnalogAll is selector 9).
constexpr uint32_t kAnalogAllDefaultSet = 0xA100 + 9 * 8;
constexpr uint32_t kAnalogAllLongSet = 0xA100 + (16 + 9) * 8;

constexpr uint32_t kBayerRG8 = 0x01080009;
constexpr uint32_t kBayerRG12p = 0x010C0059;
constexpr uint32_t kMono12 = 0x01100005;

const char* const kVendor = "IDS Imaging Development Systems GmbH";

PeakTimings QuickTimings() {
    PeakTimings timings;
    timings.minimumBufferWaitMs = 300;
    timings.framePauseMs = 5;
    timings.lostDevicePollMs = 100;
    // Room for the other camera's first frame after a restart even under a
    // sanitizer on a loaded machine.
    timings.restartSpacingMs = 4000;
    timings.snapshotPollMs = 10;
    return timings;
}

ComPtr<IAravisCamera> NewCamera() {
    HRESULT status = S_OK;
    CUnknown* made = ::CIdsPeakCamera::CreateInstance(nullptr, &status, QuickTimings());
    ComPtr<IAravisCamera> camera;
    made->NonDelegatingAddRef();
    EXPECT_EQ(made->NonDelegatingQueryInterface(IID_IAravisCamera, camera.ReceiveVoid()), S_OK);
    made->NonDelegatingRelease();
    return camera;
}

CameraDeviceInfo Record(const char* id) {
    CameraDeviceInfo record{};
    std::strncpy(record.DeviceId, id, sizeof record.DeviceId - 1);
    return record;
}

std::unique_ptr<FakeGvCamera> Plug(const char* address, const char* serial) {
    auto camera = std::make_unique<FakeGvCamera>(address, "ids-peak.xml", kVendor, serial, "IdsSim");
    // 50 frames a second: faster, a loaded machine loses packets of most.
    camera->Write(kFramePeriod, 20000);
    camera->WriteDouble(kExposure, 10000);
    camera->WriteDouble(kAnalogAllDefaultSet, 1);
    return camera;
}

class IdsPeakCameraTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_camera->IsRunning()); }
    void TearDown() override { EXPECT_FALSE(peak::Library::IsInitialized()) << "a camera kept the library open"; }

    std::unique_ptr<FakeGvCamera> m_camera = Plug("127.0.0.3", "P1");
};

TEST_F(IdsPeakCameraTest, OpenMovesOffWideBayerAndTheParametersFollowTheTable) {
    m_camera->Write(kPixelFormat, kBayerRG12p);
    m_camera->WriteDouble(kFrameRateMax, 20);
    m_camera->WriteDouble(kExposure, 9999.6);
    m_camera->WriteDouble(kAnalogAllDefaultSet, 1.5);
    ComPtr<IAravisCamera> camera = NewCamera();
    uint32_t value = 77;
    EXPECT_EQ(camera->GetParameter(5, &value), E_FAIL) << "not open";
    const CameraDeviceInfo unknown = Record("IDS/IdsSim/P9");
    EXPECT_EQ(camera->Open(&unknown), E_NOINTERFACE);
    const CameraDeviceInfo known = Record("IDS/IdsSim/P1");
    const auto openStart = std::chrono::steady_clock::now();
    ASSERT_EQ(camera->Open(&known), S_OK);
    RecordProperty("open_ms", static_cast<int>((std::chrono::steady_clock::now() - openStart) / 1ms));
    EXPECT_EQ(m_camera->Read(kPixelFormat), kBayerRG8);
    CameraDeviceInfo info{};
    ASSERT_EQ(camera->GetDeviceInfo(&info), S_OK);
    EXPECT_STREQ(info.VendorName, "IDS PeakCamera");
    EXPECT_STREQ(info.IpAddress, "127.0.0.3");

    EXPECT_EQ(camera->GetParameter(5, &value), S_OK);
    EXPECT_EQ(value, 150u);
    EXPECT_EQ(camera->SetParameter(5, 250), S_OK);
    EXPECT_DOUBLE_EQ(m_camera->ReadDouble(kAnalogAllDefaultSet), 2.5);
    EXPECT_EQ(camera->GetParameter(8, &value), S_OK);
    EXPECT_EQ(value, 10000u);
    for (const auto& [exposure, step] : {std::pair<double, uint32_t>{25000, 19}, {25001, 18}, {500000, 10}}) {
        m_camera->WriteDouble(kExposure, exposure);
        EXPECT_EQ(camera->GetParameter(10, &value), S_OK);
        EXPECT_EQ(value, step) << exposure;
    }
    EXPECT_EQ(camera->SetParameter(10, 15), S_OK);
    EXPECT_DOUBLE_EQ(m_camera->ReadDouble(kExposure), 100000);
    EXPECT_EQ(camera->SetParameter(12, 3000), S_OK);
    EXPECT_EQ(camera->GetParameter(12, &value), S_OK);
    EXPECT_EQ(value, 2000u);
    EXPECT_EQ(camera->SetParameter(16, 7), S_OK);
    EXPECT_EQ(m_camera->Read(kColorCorrection), 1u);
    value = 77;
    EXPECT_EQ(camera->GetParameter(1, &value), S_OK);
    EXPECT_EQ(value, 77u);
    EXPECT_EQ(camera->SetParameter(11, 0), S_OK);
    EXPECT_EQ(camera->GetParameter(11, &value), S_OK);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(camera->SetParameter(11, 12), E_INVALIDARG);
    uint32_t low = 0, high = 0;
    EXPECT_EQ(camera->GetParameterRange(5, &low, &high), E_INVALIDARG);
    EXPECT_EQ(camera->GetParameterRange(3, &low, &high), S_OK);
    EXPECT_EQ(high, 1600u);

    CameraPixelFormat formats[2] = {};
    uint32_t count = 9;
    EXPECT_EQ(camera->GetPixelFormats(formats, 0, &count), S_OK);
    EXPECT_EQ(count, 9u);
    EXPECT_EQ(camera->GetPixelFormats(formats, 2, &count), S_OK);
    EXPECT_EQ(count, 2u);
    EXPECT_STREQ(formats[1].Name, "BayerGR8");
    EXPECT_EQ(formats[1].Code, 1u);

    // Beyond the default set's range: the long-exposure set, gain kept.
    EXPECT_EQ(camera->SetParameter(8, 2000000), S_OK);
    EXPECT_EQ(m_camera->Read(kUserSet), 1u);
    EXPECT_EQ(m_camera->Read(kLongSetPixelFormat), m_camera->Read(kPixelFormat));
    EXPECT_DOUBLE_EQ(m_camera->ReadDouble(kAnalogAllLongSet), 2.5);
    EXPECT_DOUBLE_EQ(m_camera->ReadDouble(kExposure), 2000000);
    EXPECT_EQ(camera->SetParameter(10, 19), S_OK);
    EXPECT_EQ(m_camera->Read(kUserSet), 0u);

    EXPECT_EQ(camera->Close(), S_OK);
    EXPECT_EQ(camera->GetParameter(5, &value), E_FAIL);
}

TEST_F(IdsPeakCameraTest, StreamsToTheFirstCallbackAndStopsCleanlyAcrossALongExposureSwitch) {
    // Declared before the camera, so an early return stops it first.
    FrameRecorder first, second;
    ComPtr<IAravisCamera> camera = NewCamera();
    const CameraDeviceInfo known = Record("IDS/IdsSim/P1");
    ASSERT_EQ(camera->Open(&known), S_OK);
    m_camera->WriteDouble(kAnalogAllDefaultSet, 3);
    ASSERT_EQ(camera->StartStreaming(&first, &first), S_OK);
    ASSERT_TRUE(first.WaitForCount(3, 20s));
    EXPECT_EQ(camera->StartStreaming(&second, &second), S_FALSE);
    const auto frame = first.Frames().front();
    EXPECT_EQ(frame.status, 0);
    EXPECT_EQ(frame.context, &first);
    EXPECT_EQ(frame.format.Width, 512u);

    const uint32_t format = m_camera->Read(kPixelFormat);
    ASSERT_EQ(camera->SetParameter(8, 5000000), S_OK);
    EXPECT_EQ(m_camera->Read(kUserSet), 1u);
    EXPECT_EQ(m_camera->Read(kLongSetPixelFormat), format);
    EXPECT_DOUBLE_EQ(m_camera->ReadDouble(kAnalogAllLongSet), 3);
    const size_t before = first.Count();
    EXPECT_TRUE(first.WaitForCount(before + 3, 20s)) << "streaming did not resume";

    const auto stopStart = std::chrono::steady_clock::now();
    ASSERT_EQ(camera->StopStreaming(), S_OK);
    RecordProperty("stop_ms", static_cast<int>((std::chrono::steady_clock::now() - stopStart) / 1ms));
    const size_t stopped = first.Count();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(first.Count(), stopped) << "a frame after StopStreaming returned";
    EXPECT_EQ(second.Count(), 0u);
    EXPECT_EQ(camera->StopStreaming(), S_OK);
}

TEST_F(IdsPeakCameraTest, SnapshotsWhileIdleAndFramesResumeAfterAnUnplug) {
    FrameRecorder recorder;
    ComPtr<IAravisCamera> camera = NewCamera();
    const CameraDeviceInfo known = Record("IDS/IdsSim/P1");
    ASSERT_EQ(camera->Open(&known), S_OK);
    ComPtr<IUnknown> frame;
    ASSERT_EQ(camera->GrabSnapshot(0, frame.Receive()), S_OK);
    ASSERT_TRUE(frame);
    const auto folder = std::filesystem::temp_directory_path();
    const std::string path = (folder / "ids-peak-snapshot.png").string();
    EXPECT_EQ(camera->SaveSnapshot(0, path.c_str()), S_OK);
    EXPECT_TRUE(std::filesystem::exists(path));
    std::filesystem::remove(path);
    EXPECT_EQ(camera->SaveSnapshot(0, (folder / "no-such-folder" / "x.png").string().c_str()), E_FAIL);
    EXPECT_EQ(camera->SaveSnapshot(0, (folder / "no-extension").string().c_str()), E_FAIL);

    ASSERT_EQ(camera->StartStreaming(&recorder, nullptr), S_OK);
    ASSERT_TRUE(recorder.WaitForCount(3, 20s));
    m_camera.reset();
    const auto unplugged = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(2s);
    m_camera = Plug("127.0.0.3", "P1");
    const size_t before = recorder.Count();
    EXPECT_TRUE(recorder.WaitForCount(before + 3, 40s)) << "frames did not resume";
    RecordProperty("resume_ms", static_cast<int>((std::chrono::steady_clock::now() - unplugged) / 1ms));
    EXPECT_EQ(camera->StopStreaming(), S_OK);
    EXPECT_EQ(camera->Close(), S_OK);
}

// The library's generation, 0 while a restart has it closed.
uint64_t Generation() {
    try {
        return peak::Library::Generation();
    } catch (const std::exception&) {
        return 0;
    }
}

TEST_F(IdsPeakCameraTest, ACameraInMono12RestartsTheLibraryWithoutStoppingTheOther) {
    auto stuck = Plug("127.0.0.2", "P2");
    stuck->Write(kPixelFormat, kMono12);
    // Declared before the cameras, so an early return stops them first.
    FrameRecorder goodFrames, badFrames;
    ComPtr<IAravisCamera> good = NewCamera();
    ComPtr<IAravisCamera> bad = NewCamera();
    const CameraDeviceInfo goodId = Record("IDS/IdsSim/P1"), badId = Record("IDS/IdsSim/P2");
    ASSERT_EQ(good->Open(&goodId), S_OK);
    ASSERT_EQ(bad->Open(&badId), S_OK);
    ASSERT_EQ(good->StartStreaming(&goodFrames, nullptr), S_OK);
    ASSERT_EQ(bad->StartStreaming(&badFrames, nullptr), S_OK);
    // Each restart reopens both cameras; the good one streams again after
    // each, before the next.
    uint64_t seen = Generation();
    for (int restart = 0; restart < 2; ++restart) {
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        uint64_t now = Generation();
        for (; now <= seen && std::chrono::steady_clock::now() < deadline; now = Generation())
            std::this_thread::sleep_for(10ms);
        ASSERT_GT(now, seen) << "no restart " << restart;
        seen = now;
        // Taken after the restart released every device, so by a new stream.
        const int64_t restarted = CTimeUtil().NowMicroseconds();
        const auto until = std::chrono::steady_clock::now() + 20s;
        bool streamed = false;
        while (!streamed && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(10ms);
            for (const auto& frame : goodFrames.Frames()) streamed = streamed || frame.start.Value >= restarted;
        }
        EXPECT_TRUE(streamed) << "no frame after restart " << restart;
    }
    EXPECT_EQ(badFrames.Count(), 0u);
    // Close races the restarts.
    EXPECT_EQ(bad->Close(), S_OK);
    EXPECT_EQ(good->Close(), S_OK);
}

TEST(PeakManagers, OneSdkManagerWhileHeldAndTheListingStopsAtAnUnreadableDevice) {
    auto first = Plug("127.0.0.2", "P1");
    auto second = Plug("127.0.0.3", "P2");
    const ModuleLoader module("./" + platform::SharedLibrary::FileNameFor("Optivane"));
    ComPtr<IPeakSdkManager> manager, again;
    ASSERT_EQ(module.CreateInstance(CLSID_PeakSdkManager, IID_IPeakSdkManager, manager.ReceiveVoid()), S_OK);
    ASSERT_EQ(module.CreateInstance(CLSID_PeakSdkManager, IID_IPeakSdkManager, again.ReceiveVoid()), S_OK);
    EXPECT_EQ(manager.Get(), again.Get());
    ::CIdsPeakCamera* someCamera = reinterpret_cast<::CIdsPeakCamera*>(&again);
    EXPECT_EQ(manager->RegisterCamera(someCamera), S_OK);
    EXPECT_EQ(manager->RegisterCamera(someCamera), S_FALSE);
    EXPECT_EQ(manager->UnregisterCamera(someCamera), S_OK);
    EXPECT_EQ(manager->UnregisterCamera(someCamera), S_OK);
    EXPECT_EQ(manager->ReinitializeSdk(), S_OK);
    again.Reset();
    manager.Reset();
    ASSERT_EQ(module.CreateInstance(CLSID_PeakSdkManager, IID_IPeakSdkManager, manager.ReceiveVoid()), S_OK);
    ComPtr<IAravisCamera> camera;
    ASSERT_EQ(module.CreateInstance(CLSID_IdsPeakCamera, IID_IAravisCamera, camera.ReceiveVoid()), S_OK);
    const CameraDeviceInfo known = Record("IDS/IdsSim/P2");
    EXPECT_EQ(camera->Open(&known), S_OK);

    // The statically linked listing has a copy of the layer of its own, to
    // which the module's camera is a foreign controller: the walk ends there.
    peak::Library::Initialize();
    CIdsPeakManager listing;
    std::vector<CameraDeviceInfo> records(3);
    EXPECT_EQ(listing.EnumerateDevices(records), 0);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_STREQ(records[0].SerialNumber, "P1");
    EXPECT_EQ(camera->Close(), S_OK);
    EXPECT_EQ(listing.EnumerateDevices(records), 0);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_STREQ(records[0].DeviceId, "IDS/IdsSim/P1");
    EXPECT_STREQ(records[0].IpAddress, "127.0.0.2");
    EXPECT_STREQ(records[1].SerialNumber, "P2");
    EXPECT_EQ(records[1].WidthMax, 512u);
    first->Write(kSensorNameOff, 1);
    EXPECT_EQ(listing.EnumerateDevices(records), 0);
    EXPECT_TRUE(records.empty());
    first.reset();
    second.reset();
    EXPECT_EQ(listing.EnumerateDevices(records), 1);
    peak::Library::Close();
}

}  // namespace
}  // namespace optivane
