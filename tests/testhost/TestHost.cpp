// A host that knows the module only through its public header: it loads the
// installed library by path, finds the entry and drives what it creates.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "optivane/optivane.h"

namespace {

const std::string kModulePath = std::string(OPTIVANE_INSTALL_DIR) + "/libOptivane.so";

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

TEST_F(TestHost, NullOutPointerIsRefused) {
    EXPECT_EQ(m_create(CLSID_AravisCamera, IID_IAravisCamera, nullptr), E_POINTER);
    const CLSID unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    EXPECT_EQ(m_create(unknown, IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(TestHost, UnknownClassIsNotAvailable) {
    const CLSID unknown = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    int sentinel = 0;
    void* object = &sentinel;
    EXPECT_EQ(m_create(unknown, IID_IUnknown, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, &sentinel) << "the out-pointer's target stays as it was";
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

// A host may unload the module and load it again; the camera library's
// process-wide state must survive that.
TEST(TestHostReload, CameraWorksAfterTheModuleWasUnloadedAndLoadedAgain) {
    for (int round = 0; round < 3; ++round) {
        void* module = dlopen(kModulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module, nullptr) << dlerror();
        auto create = reinterpret_cast<DllCreateInstanceFn>(dlsym(module, "DllCreateInstance"));
        ASSERT_NE(create, nullptr);
        IAravisCamera* camera = nullptr;
        ASSERT_EQ(create(CLSID_AravisCamera, IID_IAravisCamera, reinterpret_cast<void**>(&camera)), S_OK);
        CameraDeviceInfo missing{};
        std::snprintf(missing.DeviceId, sizeof missing.DeviceId, "%s", "No-Such-Camera-0000");
        EXPECT_EQ(camera->Open(&missing), E_FAIL) << "round " << round;
        EXPECT_EQ(camera->Release(), 0u);
        EXPECT_EQ(dlclose(module), 0);
    }
}

TEST_F(TestHost, CameraAnswersNoOtherInterface) {
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(m_create(CLSID_AravisCamera, IID_IOptivane, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
}

TEST_F(TestHost, PrivateSymbolsAreNotVisible) {
    EXPECT_EQ(dlsym(m_module, "_ZN8optivane15CreateFromTableEPKNS_17ComponentTableRowEmRK4GUIDS5_PPv"), nullptr);
}

}  // namespace
