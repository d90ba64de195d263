// A component used only by the tests of the class factory and object base.
#pragma once

#include <atomic>

#include "frame/CUnknown.h"

namespace optivane::test {

inline constexpr IID IID_ITestWidget = {0x5A1D0E22, 0x1C0B, 0x4F61, {0x9D, 0x33, 0x42, 0x0A, 0x7E, 0x11, 0x6C, 0x01}};
inline constexpr CLSID CLSID_TestWidget = {0x5A1D0E22, 0x1C0B, 0x4F61, {0x9D, 0x33, 0x42, 0x0A, 0x7E, 0x11, 0x6C, 0x02}};

struct ITestWidget : IUnknown {
    virtual int Value() = 0;
};

class TestWidget : public ITestWidget, public CUnknown {
public:
    // How the next CreateInstance behaves: whether it builds an object, and
    // the status it writes (none for S_OK).
    static inline bool createsObject = true;
    static inline HRESULT creationStatus = S_OK;
    static inline std::atomic<int> liveCount{0}, destroyedCount{0};

    static CUnknown* CreateInstance(IUnknown* outer, HRESULT* status) {
        if (creationStatus != S_OK) *status = creationStatus;
        return createsObject ? new TestWidget(outer) : nullptr;
    }

    explicit TestWidget(IUnknown* outer) : CUnknown(outer) { ++liveCount; }
    ~TestWidget() override {
        if (touchSelfWhenDestroyed) {
            NonDelegatingAddRef();
            NonDelegatingRelease();
        }
        --liveCount;
        ++destroyedCount;
    }

    OPTIVANE_DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(const IID& iid, void** object) override {
        if (iid == IID_ITestWidget) return GetInterface(static_cast<ITestWidget*>(this), object);
        return CUnknown::NonDelegatingQueryInterface(iid, object);
    }
    int Value() override { return 42; }

    // Makes the destructor take and drop a reference, as a component whose
    // tear-down hands itself to a helper would.
    bool touchSelfWhenDestroyed = false;
};

}  // namespace optivane::test
