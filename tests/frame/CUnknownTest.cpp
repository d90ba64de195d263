// Reference counting and delegation of the object base.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "TestWidget.h"
#include "frame/ComPtr.h"

namespace optivane::test {
namespace {

// An outer object that records what reaches it.
class RecordingOuter : public IUnknown {
public:
    HRESULT QueryInterface(const IID&, void** object) override {
        ++queries;
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++addRefs; }
    ULONG Release() override { return ++releases; }
    ULONG queries = 0, addRefs = 0, releases = 0;
};

TEST(CUnknownTest, AddRefAndReleaseNeverReturnZeroExceptForTheLastRelease) {
    auto* widget = new TestWidget(nullptr);
    EXPECT_EQ(widget->NonDelegatingAddRef(), 1u);
    EXPECT_EQ(widget->NonDelegatingAddRef(), 2u);
    EXPECT_EQ(widget->NonDelegatingAddRef(), 3u);
    EXPECT_EQ(widget->NonDelegatingRelease(), 2u);
    EXPECT_EQ(widget->NonDelegatingRelease(), 1u);
    const int destroyedBefore = TestWidget::destroyedCount.load();
    EXPECT_EQ(widget->NonDelegatingRelease(), 0u);
    EXPECT_EQ(TestWidget::destroyedCount.load(), destroyedBefore + 1);
}

TEST(CUnknownTest, ReleaseDuringDestructionDoesNotDestroyTwice) {
    auto* widget = new TestWidget(nullptr);
    widget->touchSelfWhenDestroyed = true;
    widget->NonDelegatingAddRef();
    const int destroyedBefore = TestWidget::destroyedCount.load();
    EXPECT_EQ(widget->NonDelegatingRelease(), 0u);
    EXPECT_EQ(TestWidget::destroyedCount.load(), destroyedBefore + 1);
}

TEST(CUnknownTest, OutwardSlotsReachTheObjectItselfWithoutAnOuterUnknown) {
    auto* widget = new TestWidget(nullptr);
    ITestWidget* face = widget;
    EXPECT_EQ(face->AddRef(), 1u);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(face->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    IUnknown* again = nullptr;
    ASSERT_EQ(widget->NonDelegatingQueryInterface(IID_IUnknown, reinterpret_cast<void**>(&again)), S_OK);
    EXPECT_EQ(again, unknown) << "the object has one identity";
    EXPECT_EQ(widget->ReferenceCount(), 3);
    EXPECT_EQ(again->Release(), 2u);
    EXPECT_EQ(unknown->Release(), 1u);
    EXPECT_EQ(face->Release(), 0u);
}

TEST(CUnknownTest, OutwardSlotsForwardToTheOuterUnknown) {
    RecordingOuter outer;
    auto* widget = new TestWidget(&outer);
    ITestWidget* face = widget;
    face->AddRef();
    face->Release();
    void* object = nullptr;
    EXPECT_EQ(face->QueryInterface(IID_ITestWidget, &object), E_NOINTERFACE);
    EXPECT_EQ(outer.addRefs, 1u);
    EXPECT_EQ(outer.releases, 1u);
    EXPECT_EQ(outer.queries, 1u);
    EXPECT_EQ(widget->ReferenceCount(), 0) << "the inner count is untouched by outward calls";
    // The non-delegating side answers for the inner object itself.
    ASSERT_EQ(widget->NonDelegatingQueryInterface(IID_ITestWidget, &object), S_OK);
    EXPECT_EQ(outer.addRefs, 2u) << "the interface handed out adds its reference through the outer unknown";
    delete static_cast<CBaseObject*>(widget);
}

TEST(CUnknownTest, NullOutPointerOfAQueryIsRefused) {
    auto* widget = new TestWidget(nullptr);
    widget->NonDelegatingAddRef();
    EXPECT_EQ(widget->NonDelegatingQueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(widget->NonDelegatingQueryInterface(IID_ITestWidget, nullptr), E_POINTER);
    widget->NonDelegatingRelease();
}

TEST(CUnknownTest, ConcurrentReferenceTrafficNeverReachesZeroAndDestroysExactlyOnce) {
    const int destroyedBefore = TestWidget::destroyedCount.load();
    auto* widget = new TestWidget(nullptr);
    ComPtr<ITestWidget> held = ComPtr<ITestWidget>::Share(widget);
    std::atomic<bool> zeroSeen{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([face = held.Get(), &zeroSeen] {
            for (int i = 0; i < 20000; ++i) {
                if (face->AddRef() == 0 || face->Release() == 0) zeroSeen = true;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_FALSE(zeroSeen.load());
    EXPECT_EQ(widget->ReferenceCount(), 1);
    EXPECT_EQ(TestWidget::destroyedCount.load(), destroyedBefore);
    held.Reset();
    EXPECT_EQ(TestWidget::destroyedCount.load(), destroyedBefore + 1);
}

}  // namespace
}  // namespace optivane::test
