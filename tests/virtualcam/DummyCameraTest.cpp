// The virtual camera through the module's DllCreateInstance, against
// optivane-frame-source run as a child: calls before Open, Open's parsing of
// the device id, snapshots outside streaming and as PNG, the callback
// switched at full rate, Release while streaming, and Mirvale missing. The
// camera has no thread of its own: a stop during a stalled frame is the
// receiver's test.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <thread>

#include "frame/ComPtr.h"
#include "frame/modules/ModuleLoader.h"
#include "optivane/optivane.h"
#include "platform/SharedLibrary.h"
#include "platform/TempDir.h"
#include "tools/SourceProcess.h"

namespace optivane::test {
namespace {

const ModuleLoader g_module("./" + platform::SharedLibrary::FileNameFor("Optivane"));

ComPtr<IAravisCamera> NewCamera(const ModuleLoader& module = g_module) {
    ComPtr<IAravisCamera> camera;
    EXPECT_EQ(module.CreateInstance(CLSID_DummyCamera, IID_IAravisCamera, camera.ReceiveVoid()), S_OK);
    return camera;
}

CameraDeviceInfo Record(const char* id, size_t length) {
    CameraDeviceInfo device{};
    std::memcpy(device.DeviceId, id, std::min(length, sizeof(device.DeviceId)));
    return device;
}

std::unique_ptr<SourceProcess> StartSource(uint16_t port) {
    auto source = std::make_unique<SourceProcess>(
        OPTIVANE_FRAME_SOURCE, std::vector<std::string>{"--size", "20x10", "--fps", "0", "--port", std::to_string(port)});
    EXPECT_EQ(source->FirstLine(), "listening on 127.0.0.1:" + std::to_string(port) + "\n");
    return source;
}

// Counts frames per context; each call checks that the callback and context belong together.
class Counter : public IAravisCameraCallback {
public:
    HRESULT OnFrame(int32_t status, void* context, IUnknown* frame) override {
        if (status != 0 || frame == nullptr || context != this) mismatched = true;
        ++frames;
        return S_OK;
    }
    std::atomic<int> frames{0};
    std::atomic<bool> mismatched{false};
};

TEST(DummyCamera, CallsBeforeOpenFixedSettingsAndShortLists) {
    ComPtr<IAravisCamera> camera = NewCamera();
    uint32_t value = 7, count = 9;
    IUnknown* frame = nullptr;
    Counter counter;
    EXPECT_EQ(camera->GetParameter(0, &value), E_FAIL);
    EXPECT_EQ(camera->GrabSnapshot(0, &frame), E_FAIL);
    EXPECT_EQ(camera->StartStreaming(&counter, &counter), E_FAIL);
    EXPECT_EQ(camera->StopStreaming(), S_OK);
    EXPECT_EQ(camera->Close(), S_OK);
    const CameraDeviceInfo none = Record("no colon here", 13);
    ASSERT_EQ(camera->Open(&none), S_OK);
    EXPECT_EQ(camera->StartStreaming(nullptr, nullptr), E_POINTER);
    // Writes are taken and change nothing; ids outside the table read as 0 and fail.
    for (int32_t id : {-1, 0, 8, 13, 14}) {
        uint32_t before = 0;
        const HRESULT known = camera->GetParameter(id, &before);
        EXPECT_EQ(camera->SetParameter(id, before + 5), S_OK);
        EXPECT_EQ(camera->GetParameter(id, &value), known) << id;
        EXPECT_EQ(known == S_OK, id >= 0 && id <= 13) << id;
        EXPECT_EQ(value, before) << id;
    }
    CameraPixelFormat formats[2] = {};
    EXPECT_EQ(camera->GetPixelFormats(formats, 0, &count), S_OK);
    EXPECT_TRUE(count == 0 && formats[0].Name[0] == '\0') << "no room: nothing written";
    EXPECT_EQ(camera->GetPixelFormats(formats, 2, &count), S_OK);
    EXPECT_TRUE(count == 1 && formats[1].Name[0] == '\0');
}

TEST(DummyCamera, OpenParsesTheDeviceId) {
    struct Case { const char* id; size_t length; const char* deviceId; const char* ip; };
    const Case cases[] = {
        {"127.0.0.1:45003", 15, "127.0.0.1:45003", "127.0.0.1"},
        {":45003", 6, ":45003", ""},
        {"127.0.0.5:70000", 15, "127.0.0.5:4464", "127.0.0.5"},  // cut to 16 bits
        {"no colon", 8, "127.0.0.1:45000", "127.0.0.1"},
        // 32 bytes, unterminated: read within the field, rewritten within it.
        {"127.0.0.1:45001xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx", 32, "127.0.0.1:45001", "127.0.0.1"},
        {"127.000.000.001.000.000.000:450", 31, "127.000.000.001.000.000.000:450", "127.000.000.001.000.000"},  // IpAddress holds 23
    };
    for (const Case& c : cases) {
        ComPtr<IAravisCamera> camera = NewCamera();
        const CameraDeviceInfo record = Record(c.id, c.length);
        ASSERT_EQ(camera->Open(&record), S_OK) << c.id;
        EXPECT_EQ(camera->Open(&record), S_OK) << "a second Open keeps the receiver";
        CameraDeviceInfo device{};
        ASSERT_EQ(camera->GetDeviceInfo(&device), S_OK);
        EXPECT_EQ(std::string(device.DeviceId, strnlen(device.DeviceId, 32)), c.deviceId) << c.id;
        EXPECT_STREQ(device.IpAddress, c.ip) << c.id;
        EXPECT_STREQ(device.SerialNumber, "00000000");
    }
}

TEST(DummyCamera, SnapshotsStreamingAndRelease) {
    auto source = StartSource(45020);
    ComPtr<IAravisCamera> camera = NewCamera();
    const CameraDeviceInfo record = Record("127.0.0.1:45020", 15);
    ASSERT_EQ(camera->Open(&record), S_OK);
    // Outside streaming: a connection per snapshot; the PNG is the frame.
    ComPtr<IUnknown> frame;
    ASSERT_EQ(camera->GrabSnapshot(0, frame.Receive()), S_OK);
    ComPtr<IFrameImage> image;
    ASSERT_EQ(frame->QueryInterface(IID_IFrameImage, image.ReceiveVoid()), S_OK);
    uint8_t* data = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(image->GetBuffer(&data, &size), S_OK);
    ASSERT_EQ(size, 20u * 10 * 3);
    TempDir folder;
    ASSERT_EQ(camera->SaveSnapshot(0, folder.File("shot.png").c_str()), S_OK);
    const cv::Mat saved = cv::imread(folder.File("shot.png"), cv::IMREAD_COLOR);
    ASSERT_EQ(saved.total() * 3, size_t{size});
    // Each snapshot is frame 0 of a new connection.
    EXPECT_EQ(std::memcmp(saved.data, data, size), 0);
    EXPECT_EQ(camera->SaveSnapshot(0, folder.File("shot.unknown-extension").c_str()), E_FAIL);

    // Streaming, with the callback switched at full rate: callback and context stay one pair.
    Counter a, b;
    ASSERT_EQ(camera->StartStreaming(&a, &a), S_OK);
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(camera->StartStreaming(i % 2 ? &a : &b, i % 2 ? &a : &b), S_FALSE);
    }
    ComPtr<IUnknown> streamed;
    EXPECT_EQ(camera->GrabSnapshot(0, streamed.Receive()), S_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_GT(a.frames + b.frames, 0);
    EXPECT_FALSE(a.mismatched || b.mismatched);
    EXPECT_EQ(camera->StopStreaming(), S_OK);
    const int after = a.frames + b.frames;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(a.frames + b.frames, after) << "no frame after StopStreaming";
    EXPECT_EQ(camera->RestartStreaming(), S_OK);
    // Released while streaming: the release stops it; kept frames stay valid.
    camera.Reset();
    FrameFormat format{};
    EXPECT_EQ(image->GetFormat(&format), S_OK);
    EXPECT_EQ(format.Width, 20u);

    // Nothing listening: Connect's status comes back.
    ComPtr<IAravisCamera> lonely = NewCamera();
    const CameraDeviceInfo nowhere = Record("127.0.0.1:45029", 15);
    ASSERT_EQ(lonely->Open(&nowhere), S_OK);
    EXPECT_EQ(lonely->StartStreaming(&a, &a), MIRVALE_E_REFUSED);
    EXPECT_EQ(lonely->GrabSnapshot(0, frame.Receive()), MIRVALE_E_REFUSED);
}

TEST(DummyCamera, MirvaleMissing) {
    TempDir folder;
    const std::string name = platform::SharedLibrary::FileNameFor("Optivane");
    const std::filesystem::path here = std::filesystem::path(platform::SharedLibrary::PathOfThisBinary()).parent_path();
    std::filesystem::copy_file(here / name, std::filesystem::path(folder.Path()) / name);
    const ModuleLoader alone(std::filesystem::relative(folder.File(name), here).string());
    ASSERT_NE(alone.Entry(), nullptr);
    ComPtr<IAravisCamera> camera = NewCamera(alone);
    const CameraDeviceInfo record = Record("127.0.0.1:45000", 15);
    EXPECT_EQ(camera->Open(&record), E_HANDLE);
}

}  // namespace
}  // namespace optivane::test
