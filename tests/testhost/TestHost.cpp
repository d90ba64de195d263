// A host that knows the module only through its public header: it loads the
// installed library by path, finds the entry and drives what it creates.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "optivane/optivane.h"

namespace {

const std::string kModulePath = std::string(OPTIVANE_INSTALL_DIR) + "/libOptivane.so";
const std::string kFakeCameraPath = std::string(OPTIVANE_INSTALL_DIR) + "/optivane-fake-camera";

// The installed simulated camera on 127.0.0.2, a child process for the
// object's lifetime.
class FakeCameraProcess {
public:
    FakeCameraProcess() {
        std::string address = "127.0.0.2";
        std::string option = "--address";
        std::string program = kFakeCameraPath;
        char* const arguments[] = {program.data(), option.data(), address.data(), nullptr};
        if (posix_spawn(&m_pid, program.c_str(), nullptr, nullptr, arguments, environ) != 0) m_pid = 0;
    }
    ~FakeCameraProcess() {
        if (m_pid <= 0) return;
        kill(m_pid, SIGTERM);
        int status = 0;
        waitpid(m_pid, &status, 0);
    }
    FakeCameraProcess(const FakeCameraProcess&) = delete;
    FakeCameraProcess& operator=(const FakeCameraProcess&) = delete;
    bool Started() const { return m_pid > 0; }

private:
    pid_t m_pid = 0;
};

class FrameCounter : public IAravisCameraCallback {
public:
    HRESULT OnFrame(int32_t, void*, IUnknown*) override {
        ++m_frames;
        return S_OK;
    }
    int Frames() const { return m_frames.load(); }

private:
    std::atomic<int> m_frames{0};
};

// Keeps the first frame it is lent, with a reference of its own, as a host
// that holds on to a picture does.
class FrameKeeper : public IAravisCameraCallback {
public:
    ~FrameKeeper() {
        if (IUnknown* frame = Take()) frame->Release();
    }
    HRESULT OnFrame(int32_t status, void*, IUnknown* frame) override {
        if (FAILED(status) || frame == nullptr || m_kept.load() != nullptr) return S_OK;
        frame->AddRef();
        m_kept.store(frame);
        return S_OK;
    }
    bool HasKept() const { return m_kept.load() != nullptr; }
    IUnknown* Take() { return m_kept.exchange(nullptr); }

private:
    std::atomic<IUnknown*> m_kept{nullptr};
};

// Until the camera answers, for up to a minute: it may still be starting.
HRESULT OpenFakeCamera(IAravisCamera* camera) {
    CameraDeviceInfo device{};
    std::snprintf(device.DeviceId, sizeof device.DeviceId, "%s", "Aravis-Fake-GV01");
    HRESULT status = E_FAIL;
    for (int attempt = 0; attempt < 60 && FAILED(status); ++attempt) {
        status = camera->Open(&device);
        if (FAILED(status)) std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    return status;
}

class TestHost : public ::testing::Test {
protected:
    void SetUp() override {
        m_module = dlopen(kModulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(m_module, nullptr) << dlerror();
        m_create = reinterpret_cast<DllCreateInstanceFn>(dlsym(m_module, "DllCreateInstance"));
        ASSERT_NE(m_create, nullptr) << "the module must export DllCreateInstance";
    }
    void TearDown() override {
        if (m_module != nullptr) {
            EXPECT_EQ(dlclose(m_module), 0);
        }
    }

    void* m_module = nullptr;
    DllCreateInstanceFn m_create = nullptr;
};

// Classes of the module's table not built yet answer as unknown ones do.
TEST_F(TestHost, UnknownOrUnbuiltClassIsNotAvailable) {
    const CLSID unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    for (const CLSID* classId : {&unknown, &CLSID_Optivane, &CLSID_DummyCamera, &CLSID_SmartPhoneCamera,
                                 &CLSID_IdsPeakCamera, &CLSID_PeakSdkManager}) {
        int sentinel = 0;
        void* object = &sentinel;
        EXPECT_EQ(m_create(*classId, IID_IUnknown, &object), CLASS_E_CLASSNOTAVAILABLE) << classId->Data1;
        EXPECT_EQ(object, &sentinel) << "the out-pointer's target stays as it was";
    }
}

TEST_F(TestHost, AravisCameraIsCreatedReferenceCountedAndGuarded) {
    IAravisCamera* camera = nullptr;
    ASSERT_EQ(m_create(CLSID_AravisCamera, IID_IAravisCamera, reinterpret_cast<void**>(&camera)), S_OK);
    ASSERT_NE(camera, nullptr);

    IUnknown* unknown = nullptr;
    ASSERT_EQ(camera->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown->Release(), 1u);

    // Nothing opened yet: no device id, so every device query fails cleanly.
    CameraDeviceInfo info{};
    EXPECT_EQ(camera->GetDeviceInfo(&info), E_FAIL);
    uint32_t value = 7;
    EXPECT_EQ(camera->GetParameter(CameraParameterGain, &value), E_FAIL);
    EXPECT_EQ(camera->StopStreaming(), S_OK);
    EXPECT_EQ(camera->Reserved(), S_OK);

    // An id that no device answers (this runs in a namespace with loopback only).
    CameraDeviceInfo missing{};
    std::snprintf(missing.DeviceId, sizeof missing.DeviceId, "%s", "No-Such-Camera-0000");
    EXPECT_EQ(camera->Open(&missing), E_FAIL);
    EXPECT_EQ(camera->Close(), S_OK);
    EXPECT_EQ(camera->Release(), 0u);
}

// A host may unload the module and load it again after streaming; the
// process-wide state of the camera library and of OpenCV's thread pool,
// whose threads outlive every camera, must survive that.
TEST(TestHostReload, CameraStreamsAfterTheModuleWasUnloadedAndLoadedAgain) {
    FakeCameraProcess fakeCamera;
    ASSERT_TRUE(fakeCamera.Started()) << kFakeCameraPath;
    for (int round = 0; round < 3; ++round) {
        void* module = dlopen(kModulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module, nullptr) << dlerror();
        auto create = reinterpret_cast<DllCreateInstanceFn>(dlsym(module, "DllCreateInstance"));
        ASSERT_NE(create, nullptr);
        IAravisCamera* camera = nullptr;
        ASSERT_EQ(create(CLSID_AravisCamera, IID_IAravisCamera, reinterpret_cast<void**>(&camera)), S_OK);
        ASSERT_EQ(OpenFakeCamera(camera), S_OK) << "round " << round;
        FrameCounter counter;
        ASSERT_EQ(camera->StartStreaming(&counter, nullptr), S_OK);
        for (int wait = 0; wait < 600 && counter.Frames() < 3; ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        EXPECT_GE(counter.Frames(), 3) << "round " << round;
        EXPECT_EQ(camera->StopStreaming(), S_OK);
        EXPECT_EQ(camera->Close(), S_OK);
        EXPECT_EQ(camera->Release(), 0u);
        EXPECT_EQ(dlclose(module), 0);
    }
}

// A frame the host keeps is the host's: it must stay usable after the camera
// that made it is closed and released and the module is unloaded.
class KeptFrame : public TestHost {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_fakeCamera.Started()) << kFakeCameraPath;
        TestHost::SetUp();
        if (HasFatalFailure()) return;
        ASSERT_EQ(m_create(CLSID_AravisCamera, IID_IAravisCamera, reinterpret_cast<void**>(&m_camera)), S_OK);
        ASSERT_EQ(OpenFakeCamera(m_camera), S_OK);
    }
    void TearDown() override { CloseCameraAndUnload(); }

    void CloseCameraAndUnload() {
        if (m_camera != nullptr) {
            EXPECT_EQ(m_camera->StopStreaming(), S_OK);
            EXPECT_EQ(m_camera->Close(), S_OK);
            EXPECT_EQ(m_camera->Release(), 0u);
            m_camera = nullptr;
        }
        if (m_module != nullptr) {
            EXPECT_EQ(dlclose(m_module), 0);
            m_module = nullptr;
        }
    }

    // Reads the kept frame's picture format and drops the host's reference,
    // the last one.
    static void ReadAndRelease(IUnknown* frame) {
        IFrameImage* image = nullptr;
        ASSERT_EQ(frame->QueryInterface(IID_IFrameImage, reinterpret_cast<void**>(&image)), S_OK);
        FrameFormat format{};
        EXPECT_EQ(image->GetFormat(&format), S_OK);
        EXPECT_GT(format.Width, 0u);
        EXPECT_GT(format.Height, 0u);
        EXPECT_EQ(image->Release(), 1u);
        EXPECT_EQ(frame->Release(), 0u);
    }

    FakeCameraProcess m_fakeCamera;
    IAravisCamera* m_camera = nullptr;
};

TEST_F(KeptFrame, StreamedFrameOutlivesTheCameraAndTheModule) {
    FrameKeeper keeper;
    ASSERT_EQ(m_camera->StartStreaming(&keeper, nullptr), S_OK);
    for (int wait = 0; wait < 600 && !keeper.HasKept(); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    CloseCameraAndUnload();
    IUnknown* frame = keeper.Take();
    ASSERT_NE(frame, nullptr) << "no frame arrived";
    ReadAndRelease(frame);
}

TEST_F(KeptFrame, SnapshotFrameOutlivesTheCameraAndTheModule) {
    IUnknown* frame = nullptr;
    ASSERT_EQ(m_camera->GrabSnapshot(0, &frame), S_OK);
    ASSERT_NE(frame, nullptr);
    CloseCameraAndUnload();
    ReadAndRelease(frame);
}

TEST_F(TestHost, CameraAnswersNoOtherInterface) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(m_create(CLSID_AravisCamera, IID_IOptivane, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
}

}  // namespace
