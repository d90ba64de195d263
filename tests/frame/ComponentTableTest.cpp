// The factory rules, exercised through a component that exists only here.
#include <gtest/gtest.h>

#include <vector>

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
        TestWidget::createsObject = true;
        TestWidget::creationStatus = S_OK;
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

TEST_F(ComponentTableTest, FailuresHandOutNothingAndDestroyWhatWasBuilt) {
    // Out-pointer afterwards: as it was, null, or either (but never an object).
    enum Out { kKept, kNulled, kNoObject };
    struct Case {
        const CLSID* classId;
        const IID* interfaceId;
        bool createsObject;
        HRESULT creationStatus, expected;
        Out out;
        int destroyed;
    };
    int sentinel = 0;
    for (const Case& c : {Case{&CLSID_Unknown, &IID_IUnknown, true, S_OK, CLASS_E_CLASSNOTAVAILABLE, kKept, 0},
                          Case{&CLSID_NotBuilt, &IID_IUnknown, true, S_OK, CLASS_E_CLASSNOTAVAILABLE, kKept, 0},
                          Case{&CLSID_TestWidget, &IID_IAravisCamera, true, S_OK, E_NOINTERFACE, kNulled, 1},
                          Case{&CLSID_TestWidget, &IID_ITestWidget, false, E_HANDLE, E_HANDLE, kNoObject, 0},
                          Case{&CLSID_TestWidget, &IID_ITestWidget, false, S_OK, E_OUTOFMEMORY, kNoObject, 0},
                          Case{&CLSID_TestWidget, &IID_ITestWidget, true, E_UNEXPECTED, E_UNEXPECTED, kNoObject, 1}}) {
        TestWidget::createsObject = c.createsObject;
        TestWidget::creationStatus = c.creationStatus;
        TestWidget::destroyedCount = 0;
        void* object = &sentinel;
        EXPECT_EQ(Create(*c.classId, *c.interfaceId, &object), c.expected);
        const bool kept = object == &sentinel;
        EXPECT_TRUE(c.out == kKept ? kept : c.out == kNulled ? object == nullptr : kept || object == nullptr);
        EXPECT_EQ(TestWidget::destroyedCount.load(), c.destroyed) << "expected " << std::hex << c.expected;
    }
}

TEST_F(ComponentTableTest, EitherInterfaceCarriesExactlyOneReference) {
    // IID_IUnknown yields the non-delegating unknown.
    IUnknown* unknown = nullptr;
    ITestWidget* widget = nullptr;
    ASSERT_EQ(Create(CLSID_TestWidget, IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    ASSERT_EQ(unknown->QueryInterface(IID_ITestWidget, reinterpret_cast<void**>(&widget)), S_OK);
    EXPECT_EQ((std::vector<ULONG>{widget->Release(), unknown->Release()}), (std::vector<ULONG>{1, 0}));

    ASSERT_EQ(Create(CLSID_TestWidget, IID_ITestWidget, reinterpret_cast<void**>(&widget)), S_OK);
    EXPECT_EQ(widget->Value(), 42);
    EXPECT_EQ(widget->Release(), 0u);
    EXPECT_EQ(TestWidget::destroyedCount.load(), 2);
}

}  // namespace
}  // namespace optivane::test
