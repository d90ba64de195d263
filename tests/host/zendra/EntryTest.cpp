// The library's entry: what it exports and the factory rules.
#include <gtest/gtest.h>

#include "ZendraModule.h"
#include "platform/SharedLibrary.h"

namespace optivane::test {
namespace {

TEST(ZendraEntry, ExportsOnlyTheEntry) {
    ASSERT_NE(ZendraModule::Loader().Entry(), nullptr) << "libZendra must lie beside the test program";
    const std::string path = ModuleLoader::ResolvePath(platform::SharedLibrary::PathOfThisBinary(),
                                                       platform::SharedLibrary::FileNameFor("Zendra"));
    const platform::SharedLibrary library(path);
    ASSERT_TRUE(library.IsLoaded());
    EXPECT_NE(library.Symbol("DllCreateInstance"), nullptr);
    for (const char* internal : {"_ZN8optivane11CSamplePool4TakeEPP8IUnknown",
                                 "_ZN8optivane11CSamplePool14CreateInstanceEP8IUnknownPi",
                                 "_ZN8optivane15CreateFromTableEPKNS_17ComponentTableRowEmRK4GUIDS5_PPv",
                                 "_ZN8optivane8CUnknown27NonDelegatingQueryInterfaceERK4GUIDPPv",
                                 "_ZTVN8optivane11CFrameImageE"}) {
        EXPECT_EQ(library.Symbol(internal), nullptr) << internal;
    }
}

TEST(ZendraEntry, FactoryRules) {
    const ModuleLoader& loader = ZendraModule::Loader();
    EXPECT_EQ(loader.CreateInstance(CLSID_SamplePool, IID_ISamplePool, nullptr), E_POINTER);

    // Unknown class: the out-pointer is left as it was.
    void* untouched = &untouched;
    EXPECT_EQ(loader.CreateInstance(IID_ISamplePool, IID_ISamplePool, &untouched), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(untouched, &untouched);

    // Interfaces a class does not have: no object, nothing leaked.
    void* object = &object;
    EXPECT_EQ(loader.CreateInstance(CLSID_SamplePool, IID_IFrameImage, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(loader.CreateInstance(CLSID_FrameImage, IID_IImageRowAccess, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(loader.CreateInstance(CLSID_RawSample, IID_IFrameImage, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
}

TEST(ZendraEntry, EveryClassAnswersItsInterfacesAndOneIdentity) {
    struct Case {
        const CLSID* classId;
        const IID* interfaceId;
    };
    for (const Case& c : {Case{&CLSID_SamplePool, &IID_ISamplePool}, Case{&CLSID_FrameImage, &IID_IFrameImage},
                          Case{&CLSID_SnapshotFrameImage, &IID_IFrameImage},
                          Case{&CLSID_SnapshotFrameImage, &IID_IImageRowAccess},
                          Case{&CLSID_RawSample, &IID_IRawSample}}) {
        ComPtr<IUnknown> object = ZendraModule::Create<IUnknown>(*c.classId, *c.interfaceId);
        ASSERT_TRUE(object);
        ComPtr<IUnknown> identity1;
        ComPtr<IUnknown> identity2;
        ComPtr<IUnknown> again;
        ASSERT_EQ(object->QueryInterface(IID_IUnknown, identity1.ReceiveVoid()), S_OK);
        ASSERT_EQ(object->QueryInterface(*c.interfaceId, again.ReceiveVoid()), S_OK);
        ASSERT_EQ(again->QueryInterface(IID_IUnknown, identity2.ReceiveVoid()), S_OK);
        EXPECT_EQ(identity1.Get(), identity2.Get());
        EXPECT_EQ(again.Get(), object.Get());
        EXPECT_EQ(object->QueryInterface(*c.interfaceId, nullptr), E_POINTER);
    }
}

TEST(ZendraEntry, SnapshotInterfacesShareOneReferenceCount) {
    ComPtr<IFrameImage> image = ZendraModule::CreateSnapshotImage();
    ComPtr<IImageRowAccess> rows;
    ASSERT_EQ(image->QueryInterface(IID_IImageRowAccess, rows.ReceiveVoid()), S_OK);
    EXPECT_EQ(rows->AddRef(), 3u);
    EXPECT_EQ(image->Release(), 2u);
    ComPtr<IFrameImage> back;
    ASSERT_EQ(rows->QueryInterface(IID_IFrameImage, back.ReceiveVoid()), S_OK);
    EXPECT_EQ(back.Get(), image.Get());
}

}  // namespace
}  // namespace optivane::test
