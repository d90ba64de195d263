// Raw samples: capacity, growth, and the valid range inside the buffer.
#include <gtest/gtest.h>

#include <vector>

#include "ZendraModule.h"

namespace optivane::test {
namespace {

struct Buffer {
    uint8_t* data = nullptr;
    uint32_t capacity = 0;
};

Buffer BufferOf(IRawSample* sample) {
    Buffer buffer;
    EXPECT_EQ(sample->GetBuffer(&buffer.data, &buffer.capacity), S_OK);
    return buffer;
}

void ExpectNoValidData(IRawSample* sample) {
    uint8_t* data = reinterpret_cast<uint8_t*>(sample);
    uint32_t size = 1;
    EXPECT_EQ(sample->GetData(&data, &size), S_OK);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(size, 0u);
}

TEST(RawSample, StartsWithATouchedFullFrameBufferAndNoData) {
    ComPtr<IRawSample> sample = ZendraModule::CreateSample();
    const Buffer buffer = BufferOf(sample.Get());
    EXPECT_EQ(buffer.capacity, 36000000u);
    ASSERT_NE(buffer.data, nullptr);
    EXPECT_EQ(buffer.data[buffer.capacity - 1], 0);
    ExpectNoValidData(sample.Get());
    uint32_t holders = 9;
    EXPECT_EQ(sample->GetHoldCount(&holders), S_OK);
    EXPECT_EQ(holders, 0u);
}

TEST(RawSample, ValidDataMustLieInsideTheBuffer) {
    ComPtr<IRawSample> sample = ZendraModule::CreateSample();
    ASSERT_EQ(sample->Prepare(1000), S_OK);
    const Buffer buffer = BufferOf(sample.Get());

    ASSERT_EQ(sample->SetData(buffer.data + 10, 100), S_OK);
    uint8_t* data = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(sample->GetData(&data, &size), S_OK);
    EXPECT_EQ(data, buffer.data + 10);
    EXPECT_EQ(size, 100u);

    // The whole buffer, and an empty range at its very end, are fine.
    EXPECT_EQ(sample->SetData(buffer.data, buffer.capacity), S_OK);
    EXPECT_EQ(sample->SetData(buffer.data + buffer.capacity, 0), S_OK);
    ExpectNoValidData(sample.Get());

    std::vector<uint8_t> elsewhere(64);
    ASSERT_EQ(sample->SetData(buffer.data + 10, 100), S_OK);
    EXPECT_EQ(sample->SetData(buffer.data + buffer.capacity - 10, 11), E_INVALIDARG);
    EXPECT_EQ(sample->SetData(buffer.data, buffer.capacity + 1), E_INVALIDARG);
    EXPECT_EQ(sample->SetData(buffer.data + buffer.capacity + 1, 0), E_INVALIDARG);
    EXPECT_EQ(sample->SetData(elsewhere.data(), 1), E_INVALIDARG);
    EXPECT_EQ(sample->SetData(nullptr, 0), E_INVALIDARG);
    // Refused ranges leave the valid data as it was.
    ASSERT_EQ(sample->GetData(&data, &size), S_OK);
    EXPECT_EQ(data, buffer.data + 10);
    EXPECT_EQ(size, 100u);

    EXPECT_EQ(sample->Reset(), S_OK);
    ExpectNoValidData(sample.Get());
    EXPECT_EQ(sample->GetData(nullptr, &size), E_POINTER);
    EXPECT_EQ(sample->GetBuffer(&data, nullptr), E_POINTER);
}

TEST(RawSample, PrepareForgetsDataAndGrowsOnlyWhenNeeded) {
    ComPtr<IRawSample> sample = ZendraModule::CreateSample();
    const Buffer initial = BufferOf(sample.Get());
    ASSERT_EQ(sample->SetData(initial.data, 5), S_OK);
    ASSERT_EQ(sample->Prepare(36000000), S_OK);
    ExpectNoValidData(sample.Get());
    EXPECT_EQ(BufferOf(sample.Get()).data, initial.data);

    ASSERT_EQ(sample->Prepare(40000000), S_OK);
    const Buffer grown = BufferOf(sample.Get());
    EXPECT_EQ(grown.capacity, 40000000u);
    grown.data[grown.capacity - 1] = 3;
    ASSERT_EQ(sample->SetData(grown.data, grown.capacity), S_OK);

    ASSERT_EQ(sample->Prepare(100), S_OK);
    ExpectNoValidData(sample.Get());
    const Buffer kept = BufferOf(sample.Get());
    EXPECT_EQ(kept.data, grown.data);
    EXPECT_EQ(kept.capacity, 40000000u);
    EXPECT_EQ(kept.data[kept.capacity - 1], 3);
}

}  // namespace
}  // namespace optivane::test
