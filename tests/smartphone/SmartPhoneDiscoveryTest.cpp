// The phone search over injected 127.0.0.x addresses in the network
// namespace: only hosts that answer both commands are phones, in probe
// order, duplicates kept; nothing is probed for no address or foreign text.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "FakePhoneProcess.h"
#include "frame/ComPtr.h"
#include "smartphone/CSmartPhoneCamManager.h"
#include "smartphone/CSmartPhoneCamera.h"

namespace optivane {
namespace {

using Clock = std::chrono::steady_clock;
using test::FakePhoneProcess;

// Reads of answering phones get room to spare under a sanitizer with
// hundreds of probe threads; a capture never answered costs one capture read.
constexpr phone::PhoneTimings kShort{2000, 2000, 5000, 3000, 2000, 10000, 10000, 300, 10};

HRESULT MakeCamera(IAravisCamera** camera) {
    HRESULT status = S_OK;
    CUnknown* object = CSmartPhoneCamera::CreateInstance(nullptr, &status, kShort);
    if (object == nullptr) return status;
    object->NonDelegatingAddRef();
    status = object->NonDelegatingQueryInterface(IID_IAravisCamera, reinterpret_cast<void**>(camera));
    object->NonDelegatingRelease();
    return status;
}

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

}  // namespace
}  // namespace optivane
