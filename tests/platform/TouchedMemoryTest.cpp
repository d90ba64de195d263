#include "platform/TouchedMemory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

namespace optivane::platform {
namespace {

TEST(TouchedMemory, GivesAZeroedWritableBlock) {
    const size_t size = 3 * 1024 * 1024 + 123;
    TouchedMemory block(size);
    ASSERT_NE(block.Data(), nullptr);
    EXPECT_EQ(block.Size(), size);
    size_t nonZero = 0;
    for (size_t i = 0; i < size; ++i) nonZero += block.Data()[i] != 0;
    EXPECT_EQ(nonZero, 0u);
    block.Data()[0] = 1;
    block.Data()[size - 1] = 2;
    EXPECT_EQ(block.Data()[size - 1], 2);
}

TEST(TouchedMemory, MovesOwnership) {
    TouchedMemory block(4096);
    uint8_t* data = block.Data();
    TouchedMemory moved(std::move(block));
    EXPECT_EQ(block.Data(), nullptr);
    EXPECT_EQ(block.Size(), 0u);
    EXPECT_EQ(moved.Data(), data);
    TouchedMemory assigned(8192);
    assigned = std::move(moved);
    EXPECT_EQ(assigned.Data(), data);
    EXPECT_EQ(assigned.Size(), 4096u);
    EXPECT_EQ(moved.Data(), nullptr);
}

TEST(TouchedMemory, EmptyWhenNothingOrTooMuchIsAsked) {
    TouchedMemory none(0);
    EXPECT_EQ(none.Data(), nullptr);
    EXPECT_EQ(none.Size(), 0u);
    TouchedMemory huge(SIZE_MAX / 2);
    EXPECT_EQ(huge.Data(), nullptr);
    EXPECT_EQ(huge.Size(), 0u);
}

}  // namespace
}  // namespace optivane::platform
