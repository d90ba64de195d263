// The per-frame path of pools, images and samples allocates nothing. This file
// replaces the global allocation functions of the whole test program (and so
// of the library it loads) to count them; aligned forms are left alone, as
// nothing here uses over-aligned types.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <new>

#include "ZendraModule.h"

namespace {

std::atomic<size_t> g_allocations{0};

void* Allocate(size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}

void* OrThrow(void* block) {
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

}  // namespace

void* operator new(size_t size) { return OrThrow(Allocate(size)); }
void* operator new[](size_t size) { return OrThrow(Allocate(size)); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }
void operator delete[](void* block, size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }

namespace optivane::test {
namespace {

size_t Allocations() { return g_allocations.load(std::memory_order_relaxed); }

TEST(NoAllocation, CreatingObjectsIsCounted) {
    // Shows that the library's allocations reach the counter at all.
    const size_t before = Allocations();
    ComPtr<IFrameImage> image = ZendraModule::CreateSnapshotImage();
    EXPECT_GT(Allocations(), before);
}

TEST(NoAllocation, FramePathAllocatesNothing) {
    ComPtr<ISamplePool> samples = ZendraModule::CreatePool();
    ComPtr<ISamplePool> images = ZendraModule::CreatePool();
    ASSERT_EQ(samples->Add(ZendraModule::CreateSample().Get()), S_OK);
    ASSERT_EQ(images->Add(ZendraModule::CreateImage().Get()), S_OK);
    uint8_t frame[4096] = {};
    const FrameFormat format{0, 640, 480, 640, 480, 30, 1};
    const FrameTime time{123456789, 1000000};

    const size_t before = Allocations();
    int delivered = 0;
    for (int i = 0; i < 200; ++i) {
        IUnknown* takenSample = nullptr;
        IUnknown* takenImage = nullptr;
        ASSERT_EQ(samples->Take(&takenSample), S_OK);
        ASSERT_EQ(images->Take(&takenImage), S_OK);
        auto* sample = static_cast<IRawSample*>(takenSample);
        auto* image = static_cast<IFrameImage*>(takenImage);

        // As a producer fills and hands on a frame ...
        uint8_t* data = nullptr;
        uint32_t capacity = 0;
        ASSERT_EQ(sample->Prepare(sizeof frame), S_OK);
        ASSERT_EQ(sample->GetBuffer(&data, &capacity), S_OK);
        std::copy(frame, frame + sizeof frame, data);
        ASSERT_EQ(sample->SetData(data, sizeof frame), S_OK);
        ASSERT_EQ(image->SetFormat(&format), S_OK);
        ASSERT_EQ(image->SetTime(&time, &time), S_OK);
        sample->AddRef();
        ASSERT_EQ(sample->Hold(), S_OK);
        image->AddRef();
        ASSERT_EQ(image->Hold(), S_OK);
        ASSERT_EQ(sample->Done(), S_OK);
        sample->Release();
        ASSERT_EQ(image->Done(), S_OK);
        image->Release();

        // ... and as the next holder converts and delivers it.
        uint32_t size = 0;
        ASSERT_EQ(sample->GetData(&data, &size), S_OK);
        uint8_t* pixels = nullptr;
        ASSERT_EQ(image->GetBuffer(&pixels, &size), S_OK);
        pixels[0] = data[0];
        FrameFormat read{};
        ASSERT_EQ(image->GetFormat(&read), S_OK);
        uint32_t total = 0;
        uint32_t idle = 0;
        ASSERT_EQ(images->GetCounts(&total, &idle), S_OK);
        ASSERT_EQ(sample->Done(), S_OK);
        sample->Release();
        ASSERT_EQ(image->Done(), S_OK);
        image->Release();
        ++delivered;
    }
    EXPECT_EQ(Allocations(), before);
    EXPECT_EQ(delivered, 200);
}

}  // namespace
}  // namespace optivane::test
