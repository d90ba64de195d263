// The factory rules, exercised through a component that exists only here.
#include <gtest/gtest.h>

#include "TestWidget.h"
#include "frame/ComponentTable.h"
#include "optivane/optivane.h"

namespace optivane::test {
namespace {

inline constexpr CLSID CLSID_NotBuilt = {0x5A1D0E22, 0x1C0B, 0x4F61, {0x9D, 0x33, 0x42, 0x0A, 0x7E, 0x11, 0x6C, 0x03}};
inline constexpr CLSID CLSID_Unknown = {0x5A1D0E22, 0x1C0B, 0x4F61, {0x9D, 0x33, 0x42, 0x0A, 0x7E, 0x11, 0x6C, 0x04}};

const ComponentTableRow kRows[] = {
    {"Not Built", &CLSID_NotBuilt, nullptr},
    {"Test Widget", &CLSID_TestWidget, &TestWidget::CreateInstance},
};

class ComponentTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestWidget::nextCreation = TestWidget::Creation::Normal;
        TestWidget::failureStatus = E_FAIL;
        TestWidget::destroyedCount = 0;
    }
    void TearDown() override { EXPECT_EQ(TestWidget::liveCount.load(), 0) << "an object outlived its last reference"; }

    HRESULT Create(const CLSID& classId, const IID& interfaceId, void** object) {
        return CreateFromTable(kRows, classId, interfaceId, object);
    }
};

TEST_F(ComponentTableTest, NullOutPointerIsReportedBeforeTheClassIsLookedAt) {
    EXPECT_EQ(Create(CLSID_Unknown, IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(Create(CLSID_TestWidget, IID_ITestWidget, nullptr), E_POINTER);
    EXPECT_EQ(TestWidget::destroyedCount.load(), 0) << "nothing may be created for a null out-pointer";
}

TEST_F(ComponentTableTest, UnknownOrUnbuiltClassLeavesTheOutPointerAsItWas) {
    int sentinel = 0;
    void* object = &sentinel;
    EXPECT_EQ(Create(CLSID_Unknown, IID_IUnknown, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, &sentinel);
    EXPECT_EQ(Create(CLSID_NotBuilt, IID_IUnknown, &object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(object, &sentinel);
}

TEST_F(ComponentTableTest, IUnknownRequestYieldsTheNonDelegatingUnknownWithOneReference) {
    void* object = nullptr;
    ASSERT_EQ(Create(CLSID_TestWidget, IID_IUnknown, &object), S_OK);
    auto* unknown = static_cast<IUnknown*>(object);
    ITestWidget* widget = nullptr;
    ASSERT_EQ(unknown->QueryInterface(IID_ITestWidget, reinterpret_cast<void**>(&widget)), S_OK);
    EXPECT_EQ(widget->Release(), 1u) << "the request handed out exactly one reference";
    EXPECT_EQ(unknown->Release(), 0u);
    EXPECT_EQ(TestWidget::destroyedCount.load(), 1);
}

TEST_F(ComponentTableTest, OwnInterfaceCarriesExactlyOneReference) {
    ITestWidget* widget = nullptr;
    ASSERT_EQ(Create(CLSID_TestWidget, IID_ITestWidget, reinterpret_cast<void**>(&widget)), S_OK);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->Value(), 42);
    EXPECT_EQ(widget->Release(), 0u);
    EXPECT_EQ(TestWidget::destroyedCount.load(), 1);
}

TEST_F(ComponentTableTest, UnsupportedInterfaceDestroysTheNewObjectAndNullsTheOutPointer) {
    int sentinel = 0;
    void* object = &sentinel;
    EXPECT_EQ(Create(CLSID_TestWidget, IID_IAravisCamera, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(TestWidget::destroyedCount.load(), 1);
}

TEST_F(ComponentTableTest, CreationStatusDecidesTheResult) {
    void* object = nullptr;
    TestWidget::nextCreation = TestWidget::Creation::NullWithStatus;
    TestWidget::failureStatus = E_HANDLE;
    EXPECT_EQ(Create(CLSID_TestWidget, IID_ITestWidget, &object), E_HANDLE);

    TestWidget::nextCreation = TestWidget::Creation::NullWithoutStatus;
    EXPECT_EQ(Create(CLSID_TestWidget, IID_ITestWidget, &object), E_OUTOFMEMORY);

    TestWidget::nextCreation = TestWidget::Creation::ObjectWithFailure;
    TestWidget::failureStatus = E_UNEXPECTED;
    EXPECT_EQ(Create(CLSID_TestWidget, IID_ITestWidget, &object), E_UNEXPECTED);
    EXPECT_EQ(TestWidget::destroyedCount.load(), 1) << "an object built with a failure status is destroyed";
    EXPECT_EQ(object, nullptr);
}

}  // namespace
}  // namespace optivane::test
