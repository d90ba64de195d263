// The SDK layer's lifetime rules and device listing, against GigE Vision
// cameras simulated in this process.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "aravis/FakeCameraProcess.h"
#include "aravis/FakeGvCamera.h"
#include "peak/sdk/CommandNode.h"
#include "peak/sdk/DataStream.h"
#include "peak/sdk/EnumerationNode.h"
#include "peak/sdk/FloatNode.h"
#include "peak/sdk/IntegerNode.h"
#include "peak/sdk/StringNode.h"
#include "peak/sdk/DeviceManager.h"
#include "peak/sdk/Exception.h"
#include "peak/sdk/Library.h"

namespace optivane::peak {
namespace {

constexpr uint32_t kAcquisitionCommand = 0x124;
constexpr uint32_t kFastFramePeriodUs = 5000;

using Clock = std::chrono::steady_clock;

int64_t MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

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
    test::FakeGvCamera second("127.0.0.2", "ids-peak.xml", "IDS", "P2", "IdsSim");
    test::FakeGvCamera first("127.0.0.3", "ids-peak.xml", "IDS Imaging Development Systems GmbH", "P1", "IdsSim");
    test::FakeGvCamera lookalike("127.0.0.4", "ids-peak.xml", "IDSX Optics", "X1", "IdsSim");
    test::FakeGvCamera other("127.0.0.5", "ids-peak.xml", "GEV Tech", "G1", "GevSim");
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

TEST_F(PeakSdkTest, OneControllerAtATimeAndTypedNodesUntilTheLastClose) {
    test::FakeGvCamera camera("127.0.0.2", "ids-peak.xml", "IDS", "P1", "IdsSim");
    ASSERT_TRUE(camera.IsRunning());
    Library::Initialize();
    DeviceManager::Instance().Update();
    const auto devices = DeviceManager::Instance().Devices();
    ASSERT_EQ(devices.size(), 1u);
    DeviceDescriptor& descriptor = *devices.front();

    EXPECT_THROW(descriptor.OpenedDevice(), BadAccessException);
    auto device = descriptor.OpenDevice(DeviceDescriptor::kAccessControl);
    EXPECT_THROW(descriptor.OpenDevice(DeviceDescriptor::kAccessControl), BadAccessException);
    EXPECT_EQ(descriptor.OpenedDevice(), device);

    const auto nodes = device->NodeMaps().at(0);
    EXPECT_EQ(nodes->FindNode<StringNode>("DeviceModelName")->Value(), "IdsSim");
    auto width = nodes->FindNode<IntegerNode>("Width");
    width->SetValue(320);
    EXPECT_EQ(width->Value(), 320);
    EXPECT_THROW(width->SetValue(width->Value() + 1000000), Exception);
    auto exposure = nodes->FindNode<FloatNode>("ExposureTime");
    EXPECT_LT(exposure->Minimum(), exposure->Maximum());
    // Enumerations are integers and texts to Aravis, but neither here.
    EXPECT_THROW(nodes->FindNode<IntegerNode>("PixelFormat"), InvalidCastException);
    EXPECT_THROW(nodes->FindNode<StringNode>("PixelFormat"), InvalidCastException);
    EXPECT_THROW(nodes->FindNode<FloatNode>("Width"), InvalidCastException);
    EXPECT_THROW(nodes->FindNode<IntegerNode>("NoSuchNode"), NotFoundException);
    EXPECT_FALSE(nodes->HasNode("NoSuchNode"));

    auto format = nodes->FindNode<EnumerationNode>("PixelFormat");
    const auto entries = format->Entries();
    ASSERT_GE(entries.size(), 2u);
    format->SetCurrentEntry(entries.back()->SymbolicName());
    EXPECT_EQ(format->CurrentEntry()->SymbolicName(), entries.back()->SymbolicName());
    EXPECT_GE(entries.back()->Access(), EnumerationEntryNode::ReadOnly);
    EXPECT_THROW(format->SetCurrentEntry("NoSuchFormat"), Exception);
    EXPECT_THROW(nodes->FindNode<CommandNode>("PixelFormat"), InvalidCastException);
    auto start = nodes->FindNode<CommandNode>("AcquisitionStart");
    start->Execute();
    start->WaitUntilDone(500);
    EXPECT_EQ(camera.Read(kAcquisitionCommand), 1u);
    nodes->FindNode<CommandNode>("AcquisitionStop")->Execute();
    EXPECT_EQ(camera.Read(kAcquisitionCommand), 0u);

    // Dropping the device gives control back, though its nodes live on.
    device.reset();
    EXPECT_THROW(width->Value(), NotInitializedException);
    device = descriptor.OpenDevice(DeviceDescriptor::kAccessControl);
    width = device->NodeMaps().at(0)->FindNode<IntegerNode>("Width");
    EXPECT_EQ(width->Value(), 320);

    Library::Close();
    EXPECT_THROW(width->Value(), NotInitializedException);
    EXPECT_THROW(device->NodeMaps(), NotInitializedException);
    // The handle went with the library: another controller gets the device.
    GErrorPtr error;
    auto successor = GObjectPtr<ArvCamera>::Adopt(arv_camera_new("127.0.0.2", error.Out()));
    ASSERT_TRUE(successor);
    EXPECT_TRUE(arv_gv_device_is_controller(ARV_GV_DEVICE(arv_camera_get_device(successor.Get()))));
    // Aravis itself would open a second, read-only handle without a word.
    Library::Initialize();
    DeviceManager::Instance().Update();
    ASSERT_EQ(DeviceManager::Instance().Devices().size(), 1u);
    EXPECT_THROW(DeviceManager::Instance().Devices().front()->OpenDevice(DeviceDescriptor::kAccessControl),
                 BadAccessException);
}


TEST_F(PeakSdkTest, TheFakeCameraPresetIsAnIdsPeakDeviceWithEveryNodeKind) {
    test::FakeCameraProcess tool(
        {OPTIVANE_FAKE_CAMERA, "--address", "127.0.0.3", "--serial", "P9", "--preset", "ids-peak", "--model", "M2"});
    ASSERT_TRUE(tool.Start());
    Library::Initialize();
    std::vector<std::shared_ptr<DeviceDescriptor>> devices;
    // The program needs a moment to answer; each discovery waits for answers.
    for (int attempt = 0; attempt < 10 && devices.empty(); ++attempt) {
        DeviceManager::Instance().Update();
        devices = DeviceManager::Instance().Devices();
    }
    ASSERT_EQ(Identifiers(devices), std::vector<std::string>{"IDS/M2/P9-GEV"});
    auto device = devices.front()->OpenDevice(DeviceDescriptor::kAccessControl);
    auto nodes = device->NodeMaps().at(0);
    EXPECT_EQ(nodes->FindNode<IntegerNode>("GevCurrentIPAddress")->Value(), 0x7F000003);
    EXPECT_EQ(nodes->FindNode<StringNode>("DeviceModelName")->Value(), "M2");
    EXPECT_NO_THROW(nodes->FindNode<StringNode>("SensorName")->Value());
    EXPECT_GT(nodes->FindNode<IntegerNode>("PayloadSize")->Value(), 0);
    std::vector<std::string> userSets;
    for (const auto& entry : nodes->FindNode<EnumerationNode>("UserSetSelector")->Entries()) {
        if (entry->Access() >= EnumerationEntryNode::ReadOnly) userSets.push_back(entry->SymbolicName());
    }
    EXPECT_EQ(userSets, (std::vector<std::string>{"Default", "LongExposure"}));
    EXPECT_EQ(nodes->FindNode<EnumerationNode>("PixelFormat")->Entries().size(), 12u);
    nodes->FindNode<CommandNode>("UserSetLoad")->Execute();
}

// A device opened through the layer, with its node map and data stream.
class PeakStreamTest : public PeakSdkTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_camera.IsRunning());
        m_camera.Write(test::genicam::kFramePeriod, kFastFramePeriodUs);
        Library::Initialize();
        DeviceManager::Instance().Update();
        const auto devices = DeviceManager::Instance().Devices();
        ASSERT_EQ(devices.size(), 1u);
        m_device = devices.front()->OpenDevice(DeviceDescriptor::kAccessControl);
        m_nodes = m_device->NodeMaps().at(0);
        ASSERT_EQ(m_device->DataStreams().size(), 1u);
        m_stream = m_device->OpenDataStream();
    }
    std::vector<std::shared_ptr<Buffer>> Announce() {
        const auto payload = static_cast<size_t>(m_nodes->FindNode<IntegerNode>("PayloadSize")->Value());
        std::vector<std::shared_ptr<Buffer>> buffers;
        for (size_t i = 0; i < m_stream->NumBuffersAnnouncedMinRequired(); ++i)
            buffers.push_back(m_stream->AllocAndAnnounceBuffer(payload));
        return buffers;
    }
    void Command(const char* name) { m_nodes->FindNode<CommandNode>(name)->Execute(); }

    test::FakeGvCamera m_camera{"127.0.0.2", "ids-peak.xml", "IDS", "P1", "IdsSim"};
    std::shared_ptr<Device> m_device;
    std::shared_ptr<NodeMap> m_nodes;
    std::shared_ptr<DataStream> m_stream;
};

TEST_F(PeakStreamTest, BuffersComeBackInQueueOrderAndAFlushTakesBackAllQueued) {
    EXPECT_THROW(m_device->OpenDataStream(), BadAccessException);
    auto buffers = Announce();
    ASSERT_EQ(buffers.size(), 5u);
    EXPECT_EQ(m_stream->AnnouncedBuffers(), buffers);
    EXPECT_THROW(m_stream->AllocAndAnnounceBuffer(0), Exception);
    for (const auto& buffer : buffers) m_stream->QueueBuffer(buffer);
    EXPECT_THROW(m_stream->QueueBuffer(buffers[0]), Exception);
    EXPECT_THROW(m_stream->RevokeBuffer(buffers[0]), Exception);
    EXPECT_FALSE(m_stream->IsGrabbing());
    EXPECT_THROW(m_stream->StopAcquisition(DataStream::kStopDefault), Exception);

    m_stream->StartAcquisition(DataStream::kStartDefault, DataStream::kInfiniteCount);
    EXPECT_THROW(m_stream->StartAcquisition(DataStream::kStartDefault, DataStream::kInfiniteCount), Exception);
    EXPECT_TRUE(m_stream->IsGrabbing());
    Command("AcquisitionStart");
    const auto first = m_stream->WaitForFinishedBuffer(5000);
    EXPECT_EQ(first, buffers[0]);
    EXPECT_FALSE(first->IsIncomplete());
    EXPECT_EQ(first->Width(), static_cast<size_t>(m_nodes->FindNode<IntegerNode>("Width")->Value()));
    EXPECT_EQ(first->Height(), static_cast<size_t>(m_nodes->FindNode<IntegerNode>("Height")->Value()));
    EXPECT_EQ(first->Size(), static_cast<size_t>(m_nodes->FindNode<IntegerNode>("PayloadSize")->Value()));
    EXPECT_NE(first->BasePtr(), nullptr);
    EXPECT_EQ(m_stream->WaitForFinishedBuffer(5000), buffers[1]);
    m_stream->QueueBuffer(first);

    // b2, b3, b4 and b0 are queued, some of them filled by now. Once flushed,
    // none of them may come back ahead of what is queued afterwards.
    Command("AcquisitionStop");
    m_stream->StopAcquisition(DataStream::kStopDefault);
    EXPECT_THROW(m_stream->Flush(DataStream::kFlushDiscardAll + 1), Exception);
    m_stream->Flush(DataStream::kFlushDiscardAll);
    m_stream->QueueBuffer(buffers[4]);
    m_stream->QueueBuffer(buffers[3]);
    m_stream->StartAcquisition(DataStream::kStartDefault, 2);
    Command("AcquisitionStart");
    EXPECT_EQ(m_stream->WaitForFinishedBuffer(5000), buffers[4]);
    EXPECT_EQ(m_stream->WaitForFinishedBuffer(5000), buffers[3]);
    // The count of two is reached.
    EXPECT_FALSE(m_stream->IsGrabbing());
    Command("AcquisitionStop");

    // A second flush with nothing received since still empties the queue.
    m_stream->QueueBuffer(buffers[2]);
    m_stream->Flush(DataStream::kFlushDiscardAll);
    for (const auto& buffer : buffers) m_stream->RevokeBuffer(buffer);
    EXPECT_TRUE(m_stream->AnnouncedBuffers().empty());
    EXPECT_THROW(m_stream->QueueBuffer(buffers[0]), Exception);
    // Revoked buffers stay readable for whoever still holds them.
    EXPECT_FALSE(buffers[4]->IsIncomplete());
}

TEST_F(PeakStreamTest, AKillEndsAPendingWaitPromptlyAndIsRememberedWhenNoneIsPending) {
    auto buffers = Announce();
    for (const auto& buffer : buffers) m_stream->QueueBuffer(buffer);
    m_stream->StartAcquisition(DataStream::kStartDefault, DataStream::kInfiniteCount);
    // The camera does not acquire: every wait runs to its end or its kill.
    const auto timedStart = Clock::now();
    EXPECT_THROW(m_stream->WaitForFinishedBuffer(30), TimeoutException);
    EXPECT_GE(MillisecondsSince(timedStart), 30);

    std::promise<void> waiting;
    auto waiter = std::async(std::launch::async, [this, &waiting] {
        waiting.set_value();
        try {
            m_stream->WaitForFinishedBuffer(5000);
        } catch (const AbortedException&) {
            return Clock::now();
        }
        return Clock::time_point{};
    });
    waiting.get_future().wait();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto killed = Clock::now();
    m_stream->KillWait();
    const Clock::time_point ended = waiter.get();
    ASSERT_NE(ended, Clock::time_point{});
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(ended - killed).count(), 100);

    // A kill with no wait pending ends the next one at once, and only that one.
    m_stream->KillWait();
    const auto early = Clock::now();
    EXPECT_THROW(m_stream->WaitForFinishedBuffer(5000), AbortedException);
    EXPECT_LT(MillisecondsSince(early), 100);
    EXPECT_THROW(m_stream->WaitForFinishedBuffer(20), TimeoutException);
}

TEST_F(PeakStreamTest, TheLastCloseEndsTheStreamAndGivesUpTheDevice) {
    auto buffers = Announce();
    for (const auto& buffer : buffers) m_stream->QueueBuffer(buffer);
    m_stream->StartAcquisition(DataStream::kStartDefault, DataStream::kInfiniteCount);
    Command("AcquisitionStart");
    ASSERT_NO_THROW(m_stream->WaitForFinishedBuffer(5000));
    Library::Close();
    EXPECT_THROW(m_stream->WaitForFinishedBuffer(5000), NotInitializedException);
    EXPECT_THROW(m_stream->KillWait(), NotInitializedException);
    EXPECT_THROW(buffers[0]->Size(), NotInitializedException);
    // The stream held the device; it went with it.
    GErrorPtr error;
    auto successor = GObjectPtr<ArvCamera>::Adopt(arv_camera_new("127.0.0.2", error.Out()));
    ASSERT_TRUE(successor);
    EXPECT_TRUE(arv_gv_device_is_controller(ARV_GV_DEVICE(arv_camera_get_device(successor.Get()))));
}

}  // namespace
}  // namespace optivane::peak
