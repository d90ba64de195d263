#include "platform/Ipv4Text.h"

#include <gtest/gtest.h>

#include <cstring>

namespace optivane::platform {
namespace {

TEST(Ipv4Text, ParsesDottedQuadsIntoHostOrder) {
    uint32_t address = 0;
    ASSERT_TRUE(Ipv4Text::Parse("192.168.1.20", &address));
    EXPECT_EQ(address, 0xC0A80114u);
    ASSERT_TRUE(Ipv4Text::Parse("0.0.0.0", &address));
    EXPECT_EQ(address, 0u);
    ASSERT_TRUE(Ipv4Text::Parse("255.255.255.255", &address));
    EXPECT_EQ(address, 0xFFFFFFFFu);
    ASSERT_TRUE(Ipv4Text::Parse("127.0.0.1", &address));
    EXPECT_EQ(address, 0x7F000001u);
}

TEST(Ipv4Text, RejectsAnythingButFourDecimalParts) {
    const char* bad[] = {"1.2.3", "256.1.1.1", " 1.2.3.4", "1.2.3.4x", "1.2.3.4 ", "", "1.2.3.4.5", "1..3.4",
                         "0x7f.0.0.1", "a.b.c.d", "1.2.3.-4", "16909060"};
    for (const char* text : bad) {
        uint32_t address = 0xDEADBEEF;
        EXPECT_FALSE(Ipv4Text::Parse(text, &address)) << '"' << text << '"';
        EXPECT_EQ(address, 0xDEADBEEFu) << "changed by \"" << text << '"';
    }
    uint32_t address = 0;
    EXPECT_FALSE(Ipv4Text::Parse(nullptr, &address));
    EXPECT_FALSE(Ipv4Text::Parse("1.2.3.4", nullptr));
}

TEST(Ipv4Text, FormatsAndConvertsNetworkOrder) {
    EXPECT_EQ(Ipv4Text::Format(0xC0A80114u), "192.168.1.20");
    EXPECT_EQ(Ipv4Text::Format(0u), "0.0.0.0");
    EXPECT_EQ(Ipv4Text::Format(0xFFFFFFFFu), "255.255.255.255");

    // As sockets hold it: the first byte in memory is the first part.
    const unsigned char bytes[4] = {10, 20, 30, 40};
    uint32_t network = 0;
    std::memcpy(&network, bytes, sizeof(network));
    EXPECT_EQ(Ipv4Text::NetworkToHost(network), 0x0A141E28u);
    EXPECT_EQ(Ipv4Text::Format(Ipv4Text::NetworkToHost(network)), "10.20.30.40");
}

}  // namespace
}  // namespace optivane::platform
