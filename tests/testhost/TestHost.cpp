// A host that knows the module only through its public header: it loads the
// installed library by path, finds the entry and drives what it creates.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <string>
#include <thread>
#include <utility>

#include "aravis/FakeCameraProcess.h"  // a test helper; nothing of the module's own
#include "optivane/optivane.h"

namespace {

const std::string kModulePath = std::string(OPTIVANE_INSTALL_DIR) + "/libOptivane.so";
const std::string kFakeCameraPath = std::string(OPTIVANE_INSTALL_DIR) + "/optivane-fake-camera";

// Counts the frames it is lent and keeps the first with a reference of its
// own, as a host that holds on to a picture does.
class FrameKeeper : public IAravisCameraCallback {
public:
    HRESULT OnFrame(int32_t status, void*, IUnknown* frame) override {
        if (SUCCEEDED(status) && frame != nullptr && frames++ == 0) {
            frame->AddRef();
            kept = frame;
        }
        return S_OK;
    }
    std::atomic<int> frames{0};
    std::atomic<IUnknown*> kept{nullptr};
};

// Reads a kept frame's picture format and drops the host's reference, the last one.
void ReadAndRelease(IUnknown* frame) {
    ASSERT_NE(frame, nullptr);
    IFrameImage* image = nullptr;
    ASSERT_EQ(frame->QueryInterface(IID_IFrameImage, reinterpret_cast<void**>(&image)), S_OK);
    FrameFormat format{};
    EXPECT_EQ(image->GetFormat(&format), S_OK);
    EXPECT_TRUE(format.Width > 0 && format.Height > 0);
    EXPECT_EQ(image->Release(), 1u);
    EXPECT_EQ(frame->Release(), 0u);
}

// Loads the module for each test; a test may unload it and load it again.
class TestHost : public ::testing::Test {
protected:
    void SetUp() override { Load(); }
    void TearDown() override { Unload(); }
    void Load() {
        m_module = dlopen(kModulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(m_module, nullptr) << dlerror();
        m_create = reinterpret_cast<DllCreateInstanceFn>(dlsym(m_module, "DllCreateInstance"));
        ASSERT_NE(m_create, nullptr) << "the module must export DllCreateInstance";
    }
    void Unload() {
        if (m_module != nullptr) {
            EXPECT_EQ(dlclose(m_module), 0);
        }
        m_module = nullptr;
    }
    IAravisCamera* NewCamera(const CLSID& kind = CLSID_AravisCamera) {
        void* camera = nullptr;
        EXPECT_EQ(m_create(kind, IID_IAravisCamera, &camera), S_OK);
        return static_cast<IAravisCamera*>(camera);
    }
    // Opens a camera of the kind, for up to a minute (its simulator may still
    // be starting), and streams until the keeper has three frames.
    IAravisCamera* OpenAndStream(const CLSID& kind, const char* deviceId, FrameKeeper* keeper) {
        IAravisCamera* camera = NewCamera(kind);
        if (camera == nullptr) return nullptr;
        CameraDeviceInfo device{};
        std::snprintf(device.DeviceId, sizeof device.DeviceId, "%s", deviceId);
        HRESULT opened = E_FAIL;
        for (int attempt = 0; attempt < 600 && FAILED(opened = camera->Open(&device)); ++attempt) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        EXPECT_EQ(opened, S_OK);
        EXPECT_EQ(camera->StartStreaming(keeper, nullptr), S_OK);
        for (int wait = 0; wait < 600 && keeper->frames < 3; ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        EXPECT_GE(keeper->frames.load(), 3);
        EXPECT_EQ(camera->StopStreaming(), S_OK);
        return camera;
    }

    void* m_module = nullptr;
    DllCreateInstanceFn m_create = nullptr;
};

// A class outside the module's table is unavailable; the manager goes with
// its one reference; the Aravis camera answers its own interfaces only.
TEST_F(TestHost, ClassesAndTheAravisCamerasInterfaces) {
    const CLSID unknownClass = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    void* object = nullptr;
    EXPECT_EQ(m_create(unknownClass, IID_IUnknown, &object), CLASS_E_CLASSNOTAVAILABLE);
    ASSERT_EQ(m_create(CLSID_Optivane, IID_IUnknown, &object), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(object)->Release(), 0u);
    // The virtual camera finds the installed Mirvale beside the module.
    ASSERT_EQ(m_create(CLSID_DummyCamera, IID_IAravisCamera, &object), S_OK);
    IAravisCamera* virtualCamera = static_cast<IAravisCamera*>(object);
    CameraDeviceInfo source{};
    std::snprintf(source.DeviceId, sizeof(source.DeviceId), "127.0.0.1:45009");
    EXPECT_EQ(virtualCamera->Open(&source), S_OK);
    EXPECT_EQ(virtualCamera->Release(), 0u);
    object = &object;
    EXPECT_EQ(m_create(CLSID_AravisCamera, IID_IOptivane, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    IAravisCamera* camera = NewCamera();
    ASSERT_NE(camera, nullptr);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(camera->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown->Release(), 1u);
    EXPECT_EQ(camera->Reserved(), S_OK);
    EXPECT_EQ(camera->Close(), S_OK) << "never opened";
    EXPECT_EQ(camera->Release(), 0u);
}

// A host may unload the module and load it again after streaming: the
// process-wide state of the camera libraries (Aravis, and the IDS peak layer's
// library, closed with its last camera) and of OpenCV's thread pool, whose
// threads outlive every camera, must survive that. A streamed frame and a
// snapshot the host keeps are the host's: they stay usable after the camera
// that made them is released and the module is unloaded.
TEST_F(TestHost, CamerasStreamAfterReloadsAndKeptFramesOutliveTheModule) {
    optivane::test::FakeCameraProcess aravisCamera({kFakeCameraPath, "--address", "127.0.0.2"});
    optivane::test::FakeCameraProcess peakCamera(
        {kFakeCameraPath, "--address", "127.0.0.3", "--serial", "P1", "--preset", "ids-peak"});
    ASSERT_TRUE(aravisCamera.Start()) << kFakeCameraPath;
    ASSERT_TRUE(peakCamera.Start()) << kFakeCameraPath;
    const std::pair<CLSID, const char*> kinds[] = {{CLSID_AravisCamera, "Aravis-Fake-GV01"},
                                                   {CLSID_IdsPeakCamera, "IDS/IdsSim/P1"}};
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE(round);
        if (round > 0) {
            ASSERT_NO_FATAL_FAILURE(Load());
        }
        FrameKeeper keeper;
        IAravisCamera* camera = OpenAndStream(kinds[round % 2].first, kinds[round % 2].second, &keeper);
        ASSERT_NE(camera, nullptr);
        IUnknown* snapshot = nullptr;
        EXPECT_EQ(camera->GrabSnapshot(0, &snapshot), S_OK);
        EXPECT_EQ(camera->Close(), S_OK);
        EXPECT_EQ(camera->Release(), 0u);
        Unload();
        ReadAndRelease(keeper.kept.exchange(nullptr));
        ReadAndRelease(snapshot);
    }
}

// A host that releases the manager inside OnDevicesFound and unloads the
// module at once: the search thread still returns through the module's code
// after the callback, so that code must stay loaded.
class ReleasingCallback : public IDeviceSearchCallback {
public:
    HRESULT OnDevicesFound(int32_t, void*, const CameraDeviceInfo*, int32_t) override {
        manager->Release();
        released.set_value();
        // The host unloads the module meanwhile.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return S_OK;
    }
    IOptivane* manager = nullptr;
    std::promise<void> released;
};

TEST_F(TestHost, ManagerReleasedInItsCallbackOutlivesTheUnload) {
    void* object = nullptr;
    ASSERT_EQ(m_create(CLSID_Optivane, IID_IOptivane, &object), S_OK);
    ReleasingCallback callback;
    callback.manager = static_cast<IOptivane*>(object);
    ASSERT_EQ(callback.manager->Initialize(), S_OK);
    std::future<void> released = callback.released.get_future();
    ASSERT_EQ(callback.manager->StartSearch(&callback, nullptr, "127.0.0.1"), S_OK);
    ASSERT_EQ(released.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    Unload();
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
}

}  // namespace
