// The SDK layer's lifetime rules and device listing, against GigE Vision
// cameras simulated in this process.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "aravis/FakeGvCamera.h"
#include "peak/sdk/DeviceManager.h"
#include "peak/sdk/Exception.h"
#include "peak/sdk/Library.h"

namespace optivane::peak {
namespace {

std::vector<std::string> Identifiers(const std::vector<std::shared_ptr<DeviceDescriptor>>& devices) {
    std::vector<std::string> identifiers;
    for (const auto& device : devices) identifiers.push_back(device->Identifier());
    return identifiers;
}

// Every test leaves the library closed; a failed expectation must not leave
// it open for the next.
class PeakSdkTest : public ::testing::Test {
protected:
    void TearDown() override {
        while (Library::IsInitialized()) Library::Close();
    }
};

TEST_F(PeakSdkTest, InitialisationIsCountedAndItsEndInvalidates) {
    EXPECT_THROW(DeviceManager::Instance(), NotInitializedException);
    EXPECT_THROW(Library::Close(), NotInitializedException);
    EXPECT_THROW(Library::Generation(), NotInitializedException);

    Library::Initialize();
    Library::Initialize();
    const uint64_t first = Library::Generation();
    Library::Close();
    // One close short of the last: nothing ends.
    EXPECT_NO_THROW(DeviceManager::Instance().Devices());
    EXPECT_NO_THROW(Library::CheckGeneration(first));
    Library::Close();
    EXPECT_THROW(DeviceManager::Instance(), NotInitializedException);
    EXPECT_THROW(Library::Close(), NotInitializedException);

    // A new span is a new generation: the old one's objects stay dead.
    Library::Initialize();
    EXPECT_THROW(Library::CheckGeneration(first), NotInitializedException);
    EXPECT_NO_THROW(Library::CheckGeneration(Library::Generation()));
}

TEST_F(PeakSdkTest, ListsIdsGigEDevicesSortedAndDropsThemAtTheLastClose) {
    // Only "IDS" itself or "IDS " followed by more is the vendor.
    test::FakeGvCamera second("127.0.0.2", "ids.xml", "IDS", "P2", "IdsSim");
    test::FakeGvCamera first("127.0.0.3", "ids.xml", "IDS Imaging Development Systems GmbH", "P1", "IdsSim");
    test::FakeGvCamera lookalike("127.0.0.4", "ids.xml", "IDSX Optics", "X1", "IdsSim");
    test::FakeGvCamera other("127.0.0.5", "gev.xml", "GEV Tech", "G1", "GevSim");
    ASSERT_TRUE(first.IsRunning() && second.IsRunning() && lookalike.IsRunning() && other.IsRunning());

    Library::Initialize();
    DeviceManager& manager = DeviceManager::Instance();
    EXPECT_TRUE(manager.Devices().empty());
    manager.Update();
    const auto listed = manager.Devices();
    const std::vector<std::string> expected{"IDS/IdsSim/P1-GEV", "IDS/IdsSim/P2-GEV"};
    EXPECT_EQ(Identifiers(listed), expected);
    // A device still there keeps its descriptor.
    manager.Update();
    EXPECT_EQ(manager.Devices(), listed);

    Library::Close();
    ASSERT_FALSE(listed.empty());
    EXPECT_THROW(listed.front()->Identifier(), NotInitializedException);
    Library::Initialize();
    EXPECT_THROW(listed.front()->Identifier(), NotInitializedException);
    EXPECT_TRUE(DeviceManager::Instance().Devices().empty());
    DeviceManager::Instance().Update();
    const auto relisted = DeviceManager::Instance().Devices();
    EXPECT_EQ(Identifiers(relisted), expected);
    ASSERT_EQ(relisted.size(), 2u);
    EXPECT_NE(relisted.front(), listed.front());
}

}  // namespace
}  // namespace optivane::peak
