// The virtual-camera search: ten concurrent probes of 127.0.0.1, ports 45000
// to 45009, through Linquet loaded beside the test. Each test picks the
// probes' time-out so that its bound holds on a loaded sanitizer build too.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/TcpListener.h"
#include "tools/SourceProcess.h"
#include "frame/ComPtr.h"
#include "frame/modules/ModuleLoader.h"
#include "optivane/host_framework.h"
#include "virtualcam/CDummyCamManager.h"

namespace optivane::test {
namespace {

using Clock = std::chrono::steady_clock;
constexpr uint32_t kLoopback = 0x7F000001u;

struct Search {
    std::vector<CameraDeviceInfo> devices;
    double seconds;
};
Search Find(uint32_t probeTimeoutMs = 1000) {
    CDummyCamManager manager(probeTimeoutMs);
    Search search{};
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(manager.FindDevices(&search.devices), S_OK);
    search.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return search;
}

TEST(DummyCamProbe, NothingListeningAndExactRecordsInPortOrder) {
    // A probe that waited out its 20 s instead of taking the refusal shows;
    // start-up of ten workers, however slow, does not.
    const Search empty = Find(20000);
    EXPECT_TRUE(empty.devices.empty());
    EXPECT_LT(empty.seconds, 8.0) << "refused probes return at once";

    platform::TcpListener at45007, at45003;  // made out of order
    ASSERT_TRUE(at45007.Listen(kLoopback, 45007, 4));
    ASSERT_TRUE(at45003.Listen(kLoopback, 45003, 4));
    const Search found = Find();
    ASSERT_EQ(found.devices.size(), 2u);
    CameraDeviceInfo expected{};
    std::strcpy(expected.DeviceId, "127.0.0.1:45003");
    std::strcpy(expected.IpAddress, "127.0.0.1");
    std::strcpy(expected.VendorName, "Corvalent");
    std::strcpy(expected.ModelName, "VirtualCamera");
    std::strcpy(expected.SerialNumber, "00045003");
    EXPECT_EQ(std::memcmp(&found.devices[0], &expected, sizeof(expected)), 0) << "zero-filled, exact";
    EXPECT_STREQ(found.devices[1].DeviceId, "127.0.0.1:45007");
    EXPECT_STREQ(found.devices[1].SerialNumber, "00045007");
}

TEST(DummyCamProbe, FullAcceptQueuesTakeOneTimeOutNotTen) {
    // Listeners that never accept, their queues filled: each probe waits its
    // time-out; ten in turn would take ten times as long.
    std::vector<platform::TcpListener> listeners(10);
    std::vector<platform::TcpSocket> fillers;
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(listeners[i].Listen(kLoopback, static_cast<uint16_t>(45000 + i), 0));
        for (int n = 0; n < 2; ++n) {
            platform::TcpSocket filler;
            if (filler.Connect(kLoopback, static_cast<uint16_t>(45000 + i), 50000) == platform::TcpSocket::Result::Ok) {
                fillers.push_back(std::move(filler));
            }
        }
    }
    const Search search = Find(1000);
    EXPECT_LT(search.seconds, 5.0);
    EXPECT_GT(search.seconds, 0.8);
}

TEST(DummyCamProbe, SendsNothingAndLeavesARunningStreamAlone) {
    SourceProcess source(OPTIVANE_FRAME_SOURCE, {"--size", "8x8", "--fps", "200", "--port", "45005"});
    ASSERT_EQ(source.FirstLine(), "listening on 127.0.0.1:45005\n");
    const ModuleLoader mirvale = ModuleLoader::ForSibling("Mirvale");
    ComPtr<IFrameReceiver> receiver;
    ASSERT_EQ(mirvale.CreateInstance(CLSID_FrameReceiver, IID_IFrameReceiver, receiver.ReceiveVoid()), S_OK);
    struct Sink : ICamImageCallback {
        HRESULT OnImage(IUnknown*) override { ++frames; return S_OK; }
        std::atomic<int> frames{0};
    } sink;
    ASSERT_EQ(receiver->Connect("127.0.0.1", 45005), S_OK);
    ASSERT_EQ(receiver->StartReceiving(&sink, nullptr), S_OK);
    const Search search = Find();
    ASSERT_EQ(search.devices.size(), 1u);
    EXPECT_STREQ(search.devices[0].DeviceId, "127.0.0.1:45005");
    const int before = sink.frames;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_GT(sink.frames, before + 10) << "the stream goes on";
    uint64_t delivered = 0, dropped = 0, reconnects = 0;
    EXPECT_EQ(receiver->GetCounts(&delivered, &dropped, &reconnects), S_OK);
    EXPECT_EQ(reconnects, 0u);
    EXPECT_EQ(receiver->Disconnect(), S_OK);
}

}  // namespace
}  // namespace optivane::test
