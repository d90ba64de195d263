// NetAdapterList inside the test's private network namespace, and the rules
// of the platform helper that builds its list.
#include <cstdlib>
#include <string>
#include <vector>

#include "LinquetModule.h"
#include "platform/LocalAddresses.h"

namespace optivane::test {
namespace {

using platform::LocalAddresses;

constexpr uint32_t kUnwritten = 0xDEADBEEFu;

// Runs "ip" commands, one a line. Only inside the private namespace that
// run-in-netns.sh makes, so nothing changes on the machine itself.
bool RunIpBatch(const std::string& commands) {
    const char* inNamespace = std::getenv("OPTIVANE_IN_NETNS");
    if (inNamespace == nullptr || std::string(inNamespace) != "1") return false;
    const std::string script = "ip -batch - >/dev/null 2>&1 <<'END'\n" + commands + "END\n";
    const int status = std::system(script.c_str());
    return status == 0;
}

using NetAdapterList = LinquetModule;

TEST_F(NetAdapterList, SeesNoAddressWhereOnlyLoopbackExists) {
    ComPtr<INetAdapterList> list = NewAdapterList();
    ASSERT_TRUE(list);
    std::vector<uint32_t> addresses(LocalAddresses::kMaxCount, kUnwritten);
    uint16_t count = 99;
    ASSERT_EQ(list->GetLocalAddresses(&count, addresses.data()), S_OK);
    EXPECT_EQ(count, 0) << "127.0.0.1 to 127.0.0.9 are loopback";
    EXPECT_EQ(addresses[0], kUnwritten);
    EXPECT_EQ(list->Refresh(), S_OK);

    EXPECT_EQ(list->GetLocalAddresses(nullptr, addresses.data()), E_POINTER);
    EXPECT_EQ(list->GetLocalAddresses(&count, nullptr), E_POINTER);
}

// An interface with no link behind it (a tun device nobody opens) carries
// addresses that can be listed but reach nothing.
TEST_F(NetAdapterList, ListsInterfaceAddressesInHostOrderUpToTheLimit) {
    ComPtr<INetAdapterList> list = NewAdapterList();
    ASSERT_TRUE(list);
    if (!RunIpBatch("tuntap add lqt0 mode tun\nlink set lqt0 up\naddress add 10.1.2.3/24 dev lqt0\n")) {
        GTEST_SKIP() << "cannot add a tun interface here (not in the private namespace, or no /dev/net/tun)";
    }
    std::vector<uint32_t> addresses(LocalAddresses::kMaxCount, kUnwritten);
    uint16_t count = 99;
    ASSERT_EQ(list->GetLocalAddresses(&count, addresses.data()), S_OK);
    EXPECT_EQ(count, 0) << "read at creation, before the interface existed";

    ASSERT_EQ(list->Refresh(), S_OK);
    ASSERT_EQ(list->GetLocalAddresses(&count, addresses.data()), S_OK);
    ASSERT_EQ(count, 1);
    EXPECT_EQ(addresses[0], 0x0A010203u);
    EXPECT_EQ(addresses[1], kUnwritten);

    // Another 299 addresses on the same interface: only 255 in all are listed.
    std::string more;
    for (int i = 0; i < 299; ++i) {
        more += "address add 10.2." + std::to_string(i / 200) + "." + std::to_string(1 + i % 200) + "/32 dev lqt0\n";
    }
    ASSERT_TRUE(RunIpBatch(more));
    ASSERT_EQ(list->Refresh(), S_OK);
    ASSERT_EQ(list->GetLocalAddresses(&count, addresses.data()), S_OK);
    EXPECT_EQ(count, LocalAddresses::kMaxCount);
    EXPECT_EQ(addresses[0], 0x0A010203u);
    EXPECT_EQ(addresses[1], 0x0A020001u);

    // A new object reads the interfaces as they are at its creation.
    ASSERT_TRUE(RunIpBatch("link delete lqt0\n"));
    ComPtr<INetAdapterList> fresh = NewAdapterList();
    ASSERT_TRUE(fresh);
    ASSERT_EQ(fresh->GetLocalAddresses(&count, addresses.data()), S_OK);
    EXPECT_EQ(count, 0);
}

TEST(LocalAddressesRules, ConvertsNetworkBytesToHostOrder) {
    const uint8_t lan[4] = {192, 168, 1, 20};
    EXPECT_EQ(LocalAddresses::FromNetworkBytes(lan), 0xC0A80114u);
    const uint8_t edges[4] = {255, 0, 0, 1};
    EXPECT_EQ(LocalAddresses::FromNetworkBytes(edges), 0xFF000001u);
}

TEST(LocalAddressesRules, LeavesOutLoopbackUnspecifiedAndRepeats) {
    std::vector<uint32_t> list;
    EXPECT_FALSE(LocalAddresses::Append(0x7F000001u, &list));  // 127.0.0.1
    EXPECT_FALSE(LocalAddresses::Append(0x7FFFFFFEu, &list));  // 127.255.255.254
    EXPECT_FALSE(LocalAddresses::Append(0, &list));
    EXPECT_TRUE(LocalAddresses::Append(0x80000001u, &list));  // 128.0.0.1 is no loopback
    EXPECT_TRUE(LocalAddresses::Append(0x0A000001u, &list));
    EXPECT_FALSE(LocalAddresses::Append(0x0A000001u, &list));
    EXPECT_EQ(list, (std::vector<uint32_t>{0x80000001u, 0x0A000001u}));
}

TEST(LocalAddressesRules, StopsAtTheLimit) {
    std::vector<uint32_t> list;
    for (uint32_t i = 1; i <= LocalAddresses::kMaxCount; ++i) EXPECT_TRUE(LocalAddresses::Append(0x0A000000u + i, &list));
    EXPECT_FALSE(LocalAddresses::Append(0x0B000001u, &list));
    EXPECT_EQ(list.size(), LocalAddresses::kMaxCount);
}

}  // namespace
}  // namespace optivane::test
