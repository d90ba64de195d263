#include "TestWidget.h"

namespace optivane::test {

TestWidget::Creation TestWidget::nextCreation = TestWidget::Creation::Normal;
HRESULT TestWidget::failureStatus = E_FAIL;
std::atomic<int> TestWidget::liveCount{0};
std::atomic<int> TestWidget::destroyedCount{0};

CUnknown* TestWidget::CreateInstance(IUnknown* outer, HRESULT* status) {
    switch (nextCreation) {
        case Creation::NullWithStatus:
            *status = failureStatus;
            return nullptr;
        case Creation::NullWithoutStatus:
            return nullptr;
        case Creation::ObjectWithFailure:
            *status = failureStatus;
            return new TestWidget(outer);
        case Creation::Normal:
            break;
    }
    return new TestWidget(outer);
}

TestWidget::TestWidget(IUnknown* outer) : CUnknown(outer) { ++liveCount; }

TestWidget::~TestWidget() {
    if (touchSelfWhenDestroyed) {
        NonDelegatingAddRef();
        NonDelegatingRelease();
    }
    --liveCount;
    ++destroyedCount;
}

HRESULT TestWidget::NonDelegatingQueryInterface(const IID& iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_ITestWidget) return GetInterface(static_cast<ITestWidget*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

}  // namespace optivane::test
