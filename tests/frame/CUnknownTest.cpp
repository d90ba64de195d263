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
struct RecordingOuter : IUnknown {
    HRESULT QueryInterface(const IID&, void** object) override { return ++queries, *object = nullptr, E_NOINTERFACE; }
    ULONG AddRef() override { return ++addRefs; }
    ULONG Release() override { return ++releases; }
    ULONG queries = 0, addRefs = 0, releases = 0;
};

// Counts never read 0 before the last release, which destroys the object
// once, even when its destructor takes and drops a reference of its own.
TEST(CUnknownTest, CountsStayAboveZeroUntilTheLastReleaseDestroysOnceAndNullOutPointersAreRefused) {
    for (bool touchSelf : {false, true}) {
        auto* widget = new TestWidget(nullptr);
        widget->touchSelfWhenDestroyed = touchSelf;
        const int destroyedBefore = TestWidget::destroyedCount.load();
        std::vector<ULONG> counts;
        for (int i = 0; i < 3; ++i) counts.push_back(widget->NonDelegatingAddRef());
        // The base's own interface and a class's, stored through GetInterface.
        EXPECT_EQ(widget->NonDelegatingQueryInterface(IID_IUnknown, nullptr), E_POINTER);
        EXPECT_EQ(widget->NonDelegatingQueryInterface(IID_ITestWidget, nullptr), E_POINTER);
        for (int i = 0; i < 3; ++i) counts.push_back(widget->NonDelegatingRelease());
        EXPECT_EQ(counts, (std::vector<ULONG>{1, 2, 3, 2, 1, 0})) << "touch self " << touchSelf;
        EXPECT_EQ(TestWidget::destroyedCount.load(), destroyedBefore + 1);
    }
}

TEST(CUnknownTest, OutwardSlotsReachTheObjectItselfOrElseTheOuterUnknown) {
    // Without an outer unknown: one identity, one count.
    auto* widget = new TestWidget(nullptr);
    ITestWidget* face = widget;
    IUnknown *viaFace = nullptr, *inner = nullptr;
    EXPECT_EQ(face->AddRef(), 1u);
    ASSERT_EQ(face->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaFace)), S_OK);
    ASSERT_EQ(widget->NonDelegatingQueryInterface(IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
    EXPECT_EQ(inner, viaFace);
    const std::vector<ULONG> counts{inner->Release(), viaFace->Release(), face->Release()};
    EXPECT_EQ(counts, (std::vector<ULONG>{2, 1, 0}));

    // With one, the outward calls reach it; the non-delegating side answers
    // for the inner object, adding the reference it hands out through the outer.
    RecordingOuter outer;
    widget = new TestWidget(&outer);
    face = widget;
    face->AddRef();
    face->Release();
    void* object = nullptr;
    EXPECT_EQ(face->QueryInterface(IID_ITestWidget, &object), E_NOINTERFACE);
    ASSERT_EQ(widget->NonDelegatingQueryInterface(IID_ITestWidget, &object), S_OK);
    EXPECT_EQ((std::vector<ULONG>{outer.queries, outer.addRefs, outer.releases}), (std::vector<ULONG>{1, 2, 1}));
    EXPECT_EQ(widget->ReferenceCount(), 0) << "the inner count is untouched by outward calls";
    delete static_cast<CBaseObject*>(widget);
}

TEST(CUnknownTest, ConcurrentReferenceTrafficNeverReachesZeroAndDestroysExactlyOnce) {
    const int destroyedBefore = TestWidget::destroyedCount.load();
    ComPtr<ITestWidget> held = ComPtr<ITestWidget>::Share(new TestWidget(nullptr));
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
    EXPECT_EQ(TestWidget::destroyedCount.load(), destroyedBefore);
    held.Reset();
    EXPECT_EQ(TestWidget::destroyedCount.load(), destroyedBefore + 1);
}

}  // namespace
}  // namespace optivane::test
