// The Zendra library as the tests reach it: loaded from the test's own folder
// through the module loader, once per test program.
#pragma once

#include <gtest/gtest.h>

#include "frame/ComPtr.h"
#include "frame/modules/ModuleLoader.h"
#include "optivane/host_framework.h"

namespace optivane::test {

class ZendraModule {
public:
    static const ModuleLoader& Loader();

    // A new object of the class through the interface; fails the test on error.
    template <typename T>
    static ComPtr<T> Create(const CLSID& classId, const IID& interfaceId) {
        ComPtr<T> object;
        const HRESULT status = Loader().CreateInstance(classId, interfaceId, object.ReceiveVoid());
        EXPECT_EQ(status, S_OK);
        return object;
    }

    static ComPtr<ISamplePool> CreatePool() { return Create<ISamplePool>(CLSID_SamplePool, IID_ISamplePool); }
    static ComPtr<IFrameImage> CreateImage() { return Create<IFrameImage>(CLSID_FrameImage, IID_IFrameImage); }
    static ComPtr<IFrameImage> CreateSnapshotImage() {
        return Create<IFrameImage>(CLSID_SnapshotFrameImage, IID_IFrameImage);
    }
    static ComPtr<IRawSample> CreateSample() { return Create<IRawSample>(CLSID_RawSample, IID_IRawSample); }
};

}  // namespace optivane::test
