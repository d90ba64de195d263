// The phone search over injected 127.0.0.x addresses in the network
// namespace: only hosts that answer both commands are phones, in probe
// order, duplicates kept; nothing is probed for no address or foreign text.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <chrono>
#include <string>
#include <vector>

#include "FakePhoneProcess.h"
#include "frame/ComPtr.h"
#include "platform/TcpListener.h"
#include "smartphone/CSmartPhoneCamManager.h"
#include "smartphone/CSmartPhoneCamera.h"

namespace optivane {
namespace {

using Clock = std::chrono::steady_clock;
using test::FakePhoneProcess;

// Reads of answering phones get room to spare under a sanitizer with
// hundreds of probe threads; a capture never answered costs one capture read.
constexpr phone::PhoneTimings kShort{2000, 2000, 5000, 3000, 2000, 10000, 10000, 300, 10};

HRESULT MakeCameraWith(const phone::PhoneTimings& timings, IAravisCamera** camera) {
    HRESULT status = S_OK;
    CUnknown* object = CSmartPhoneCamera::CreateInstance(nullptr, &status, timings);
    if (object == nullptr) return status;
    object->NonDelegatingAddRef();
    status = object->NonDelegatingQueryInterface(IID_IAravisCamera, reinterpret_cast<void**>(camera));
    object->NonDelegatingRelease();
    return status;
}

HRESULT MakeCamera(IAravisCamera** camera) { return MakeCameraWith(kShort, camera); }

std::vector<std::string> Hosts(const std::vector<CameraDeviceInfo>& list) {
    std::vector<std::string> hosts;
    for (const CameraDeviceInfo& record : list) hosts.emplace_back(record.IpAddress);
    return hosts;
}

TEST(SmartPhoneDiscovery, FindsOnlyWholePhonesInProbeOrderAndKeepsDuplicates) {
    FakePhoneProcess second("127.0.0.3", 60000, {"--serial", "B", "--size", "64x48"});
    FakePhoneProcess first("127.0.0.2", 60000, {"--serial", "A", "--size", "64x48"});
    FakePhoneProcess noCapture("127.0.0.4", 60000, {"--fault", "no-capture"});
    FakePhoneProcess splitXml("127.0.0.5", 60000, {"--fault", "split-xml"});
    ASSERT_TRUE(first.IsRunning() && second.IsRunning() && noCapture.IsRunning() && splitXml.IsRunning());

    CSmartPhoneCamManager byAddress(MakeCamera);
    std::vector<CameraDeviceInfo> found;
    ASSERT_EQ(byAddress.FindDevices("127.0.0.77", nullptr, found), S_OK);
    ASSERT_EQ(Hosts(found), (std::vector<std::string>{"127.0.0.2", "127.0.0.3"}));
    EXPECT_STREQ(found[0].SerialNumber, "A");
    EXPECT_STREQ(found[1].DeviceId, "SMPHCA00127.0.0.3:60000");
    EXPECT_EQ(found[1].WidthMax, 64u);

    CSmartPhoneCamManager twice(MakeCamera, [](std::vector<std::string>& addresses) {
        addresses = {"127.0.0.1", "127.0.0.9"};
        return true;
    });
    found.clear();
    ASSERT_EQ(twice.FindDevices("", nullptr, found), S_OK);
    EXPECT_EQ(Hosts(found), (std::vector<std::string>{"127.0.0.2", "127.0.0.3", "127.0.0.2", "127.0.0.3"}));
}

TEST(SmartPhoneDiscovery, NoAddressOrForeignTextProbesNothing) {
    int asked = 0;
    auto counting = [&asked](IAravisCamera** camera) {
        ++asked;
        return MakeCamera(camera);
    };
    CSmartPhoneCamManager none(counting, [](std::vector<std::string>& addresses) {
        addresses.clear();
        return true;
    });
    CSmartPhoneCamManager unreadable(counting, [](std::vector<std::string>&) { return false; });
    std::vector<CameraDeviceInfo> found;
    EXPECT_EQ(none.FindDevices(nullptr, nullptr, found), S_OK);
    EXPECT_EQ(unreadable.FindDevices("", nullptr, found), S_OK);
    for (const char* text : {"phone", "127.0.0", "::1", "127.0.0.300"})
        EXPECT_EQ(none.FindDevices(text, nullptr, found), S_OK) << text;
    // No camera made is no probe made, so nothing was waited for.
    EXPECT_TRUE(found.empty());
    EXPECT_EQ(asked, 0);
}

// Descriptors open in this process.
size_t OpenDescriptors() {
    DIR* folder = opendir("/proc/self/fd");
    if (folder == nullptr) return 0;
    size_t count = 0;
    while (readdir(folder) != nullptr) ++count;
    closedir(folder);
    return count;  // the folder's own descriptor, "." and ".." included: the same every time
}

// Every host of a /24 listens but never accepts, its one-place queue taken
// by a connection of the test, so each probe's connect hangs until its limit.
// Once with descriptors to spare (a raised limit) and once with so few left
// that most probes cannot make a socket: either way the search ends within
// one connect limit, finds nothing and closes every socket it opened.
TEST(SmartPhoneDiscovery, SilentSubnetEndsWithinTheConnectLimitAndLeaksNoDescriptor) {
    constexpr uint32_t kConnectMs = 500;
    constexpr phone::PhoneTimings kSilent{kConnectMs, 5000, 5000, 5000, 5000, 10000, 10000, 300, 10};
    rlimit original{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &original), 0);
    rlimit raised = original;
    raised.rlim_cur = std::min<rlim_t>(original.rlim_max, 4096);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &raised), 0);
    ASSERT_GE(raised.rlim_cur, 1024u) << "this test needs about 800 descriptors";

    std::vector<platform::TcpListener> listeners(253);
    std::vector<platform::TcpSocket> queued(253);
    for (uint32_t host = 2; host <= 254; ++host) {
        const uint32_t address = (127u << 24) | (7u << 8) | host;
        ASSERT_TRUE(listeners[host - 2].Listen(address, CSmartPhoneCamManager::kPhonePort, 0)) << host;
        ASSERT_EQ(queued[host - 2].Connect(address, CSmartPhoneCamManager::kPhonePort, 2000000),
                  platform::TcpSocket::Result::Ok)
            << host;
    }
    CSmartPhoneCamManager manager([&kSilent](IAravisCamera** camera) { return MakeCameraWith(kSilent, camera); });
    for (const bool fewDescriptors : {false, true}) {
        const size_t before = OpenDescriptors();
        rlimit limit = raised;
        if (fewDescriptors) limit.rlim_cur = before + 16;
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);
        std::vector<CameraDeviceInfo> found;
        const auto start = Clock::now();
        EXPECT_EQ(manager.FindDevices("127.0.7.1", nullptr, found), S_OK);
        const auto took = Clock::now() - start;
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &raised), 0);
        EXPECT_TRUE(found.empty()) << fewDescriptors;
        // Not less: the probes that had a socket did wait for their connects.
        EXPECT_GE(took, std::chrono::milliseconds(kConnectMs)) << fewDescriptors;
        EXPECT_LT(took, std::chrono::milliseconds(kConnectMs + 4000)) << fewDescriptors;
        EXPECT_EQ(OpenDescriptors(), before) << fewDescriptors;
    }
    setrlimit(RLIMIT_NOFILE, &original);
}

}  // namespace
}  // namespace optivane
