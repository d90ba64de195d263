// The stand-in libraries' factory rules, and Zendra's pools, images and raw
// samples.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <iterator>
#include <map>
#include <new>
#include <set>
#include <thread>
#include <tuple>
#include <vector>

#include "frame/ComPtr.h"
#include "frame/modules/ModuleLoader.h"
#include "optivane/host_framework.h"

// The whole test program's allocation functions, and so the loaded library's,
// replaced to count them; nothing here is over-aligned.
namespace {
std::atomic<size_t> g_allocations{0};

void* Allocate(size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size == 0 ? 1 : size);
}
void* OrThrow(void* block) { return block != nullptr ? block : throw std::bad_alloc(); }
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

const ModuleLoader g_zendra = ModuleLoader::ForSibling("Zendra");
const ModuleLoader g_linquet = ModuleLoader::ForSibling("Linquet");

template <typename T>
ComPtr<T> New(const CLSID& classId, const IID& interfaceId) {
    ComPtr<T> object;
    EXPECT_EQ(g_zendra.CreateInstance(classId, interfaceId, object.ReceiveVoid()), S_OK);
    return object;
}
ComPtr<ISamplePool> NewPool() { return New<ISamplePool>(CLSID_SamplePool, IID_ISamplePool); }
// Both start without a buffer; these give them a small one, as a pool's
// owner sizes them for its frames.
ComPtr<IFrameImage> NewImage(const FrameFormat& format = {0, 8, 4, 2, 1, 30, 1}) {
    ComPtr<IFrameImage> image = New<IFrameImage>(CLSID_FrameImage, IID_IFrameImage);
    EXPECT_EQ(image->SetFormat(&format), S_OK);
    return image;
}
ComPtr<IRawSample> NewSample(uint32_t capacity = 64) {
    ComPtr<IRawSample> sample = New<IRawSample>(CLSID_RawSample, IID_IRawSample);
    EXPECT_EQ(sample->Prepare(capacity), S_OK);
    return sample;
}

// Every call answered S_OK; the calls of a braced list run in order.
::testing::AssertionResult AllOk(std::initializer_list<HRESULT> results) {
    for (const HRESULT* result = results.begin(); result != results.end(); ++result)
        if (*result != S_OK) return ::testing::AssertionFailure() << "call " << result - results.begin() << " failed";
    return ::testing::AssertionSuccess();
}

// Takes an object the caller knows to be a T from the pool.
template <typename T = IFrameImage>
ComPtr<T> Take(ISamplePool* pool) {
    ComPtr<IUnknown> taken;
    EXPECT_EQ(pool->Take(taken.Receive()), S_OK);
    return ComPtr<T>::Adopt(static_cast<T*>(taken.Detach()));
}

template <typename T>
void GiveBack(ComPtr<T>& object) {
    EXPECT_EQ(object->Done(), S_OK);
    object.Reset();
}

uint32_t Idle(ISamplePool* pool) {
    uint32_t total = 0, idle = 0;
    EXPECT_EQ(pool->GetCounts(&total, &idle), S_OK);
    return idle;
}

// A failed Take that also clears the out-pointer.
bool Exhausted(ISamplePool* pool) {
    IUnknown* none = reinterpret_cast<IUnknown*>(&none);
    return FAILED(pool->Take(&none)) && none == nullptr;
}

struct Buffer { uint8_t* data = nullptr; uint32_t size = 0; };

template <typename T>
Buffer BufferOf(T* object) {
    Buffer buffer;
    EXPECT_EQ(object->GetBuffer(&buffer.data, &buffer.size), S_OK);
    return buffer;
}

FrameFormat Format(uint32_t width, uint32_t height) { return FrameFormat{0, width, height, 0, 0, 0, 0}; }

// Each stand-in serves its own classes with their interfaces and one
// reference, and each interface refuses a null out-pointer; the frame's tests
// cover the rules of the factory and of IUnknown.
TEST(HostFactory, EachModuleServesItsOwnClassesWithTheirInterfaces) {
    const ModuleLoader *z = &g_zendra, *l = &g_linquet;
    const std::tuple<const ModuleLoader*, const CLSID&, const IID&, HRESULT> rows[] = {
        {z, CLSID_TcpConnection, IID_ITcpConnection, CLASS_E_CLASSNOTAVAILABLE},
        {l, CLSID_SamplePool, IID_ISamplePool, CLASS_E_CLASSNOTAVAILABLE},
        {z, CLSID_SamplePool, IID_IFrameImage, E_NOINTERFACE}, {z, CLSID_RawSample, IID_IFrameImage, E_NOINTERFACE},
        {z, CLSID_FrameImage, IID_IImageRowAccess, E_NOINTERFACE},
        {l, CLSID_TcpConnection, IID_INetAdapterList, E_NOINTERFACE},
        {l, CLSID_NetAdapterList, IID_ITcpConnection, E_NOINTERFACE}, {z, CLSID_SamplePool, IID_ISamplePool, S_OK},
        {z, CLSID_FrameImage, IID_IFrameImage, S_OK}, {z, CLSID_SnapshotFrameImage, IID_IImageRowAccess, S_OK},
        {z, CLSID_RawSample, IID_IRawSample, S_OK}, {l, CLSID_TcpConnection, IID_ITcpConnection, S_OK},
        {l, CLSID_NetAdapterList, IID_INetAdapterList, S_OK},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const auto& [module, classId, interfaceId, expected] = rows[i];
        void* out = nullptr;
        ASSERT_EQ(module->CreateInstance(classId, interfaceId, &out), expected) << i;
        if (FAILED(expected)) continue;
        auto* object = static_cast<IUnknown*>(out);
        EXPECT_EQ(object->QueryInterface(interfaceId, nullptr), E_POINTER) << i;
        EXPECT_EQ(object->Release(), 0u) << i;
    }
}

TEST(SamplePool, HandsOutOnlyIdleObjectsOnceTakesThemBackAndClearsWhileInUse) {
    ComPtr<ISamplePool> pool = NewPool();
    std::set<IUnknown*> members, seen;
    for (int i = 0; i < 3; ++i) {
        ComPtr<IFrameImage> image = NewImage();  // the creator's reference goes at once
        EXPECT_EQ(pool->Add(image.Get()), S_OK);
        members.insert(image.Get());
    }
    std::vector<ComPtr<IFrameImage>> taken(3);
    for (auto& image : taken) seen.insert((image = Take(pool.Get())).Get());
    EXPECT_EQ(seen, members);
    EXPECT_TRUE(Exhausted(pool.Get()));
    IFrameImage* const returned = taken[1].Get();
    GiveBack(taken[1]);
    taken[1] = Take(pool.Get());
    EXPECT_EQ(taken[1].Get(), returned);
    for (auto& image : taken) GiveBack(image);
    EXPECT_EQ(Idle(pool.Get()), 3u);

    // Only pooled classes, once, in one pool at a time.
    ComPtr<ISamplePool> other = NewPool();
    ComPtr<IFrameImage> image = New<IFrameImage>(CLSID_SnapshotFrameImage, IID_IFrameImage);
    EXPECT_EQ((std::vector<HRESULT>{other->Add(image.Get()), other->Add(returned), pool->Add(returned)}),
              (std::vector<HRESULT>(3, E_INVALIDARG)));

    // Clear while one is in use: gone from the pool, still a working image
    // for its user (the sanitizer build catches a freed buffer or pool), and
    // free to join another pool, which gets it once its user is done.
    image = Take(pool.Get());
    EXPECT_EQ(pool->Clear(), S_OK);
    uint32_t counts[2] = {9, 9};
    EXPECT_EQ(pool->GetCounts(&counts[0], &counts[1]), S_OK);
    EXPECT_TRUE(counts[0] == 0 && counts[1] == 0 && Exhausted(pool.Get()));
    pool.Reset();
    const Buffer buffer = BufferOf(image.Get());
    buffer.data[buffer.size - 1] = 2;
    EXPECT_EQ(other->Add(image.Get()), S_OK);
    GiveBack(image);
    EXPECT_EQ(Idle(other.Get()), 1u);

    // Out while anyone else references or holds it.
    image = Take(other.Get());
    ComPtr<IFrameImage> third = ComPtr<IFrameImage>::Share(image.Get());  // referenced after Done
    GiveBack(image);
    EXPECT_TRUE(Exhausted(other.Get()) && Idle(other.Get()) == 0);
    third.Reset();
    image = Take(other.Get());
    ComPtr<IFrameImage> task = ComPtr<IFrameImage>::Share(image.Get());
    EXPECT_EQ(task->Hold(), S_OK);  // a second holder that is not done yet
    GiveBack(image);
    EXPECT_TRUE(Exhausted(other.Get()));
    GiveBack(task);

    // Done without a holder is refused and changes nothing.
    image = Take(other.Get());
    uint32_t holders = 7;
    EXPECT_EQ((std::vector<HRESULT>{image->Done(), image->Done(), image->GetHoldCount(&holders), NewSample()->Done()}),
              (std::vector<HRESULT>{S_OK, E_UNEXPECTED, S_OK, E_UNEXPECTED}));
    EXPECT_EQ(holders, 0u);
    image.Reset();

    // Released without Done: never handed out again.
    image = Take(other.Get());
    image.Reset();
    EXPECT_TRUE(Exhausted(other.Get()) && Idle(other.Get()) == 0);
}

TEST(SamplePool, TwoUsersNeverShareAnObject) {
    ComPtr<ISamplePool> pool = NewPool();
    std::map<IUnknown*, std::atomic<int>> users;  // of each of the three objects at once
    for (int i = 0; i < 3; ++i) {
        ComPtr<IRawSample> sample = NewSample();
        ASSERT_EQ(pool->Add(sample.Get()), S_OK);
        users[sample.Get()] = 0;
    }
    std::atomic<int> faults{0}, started{0};
    auto worker = [&](uint8_t mark) {
        started.fetch_add(1);
        while (started.load() < 2) std::this_thread::yield();
        for (int taken = 0; taken < 10000;) {
            // Two at a time: four wishes for three objects keep the pool contended.
            IUnknown* objects[2] = {nullptr, nullptr};
            for (IUnknown*& object : objects)
                if (FAILED(pool->Take(&object))) object = nullptr;
            for (IUnknown* object : objects) {
                if (object == nullptr) continue;
                std::atomic<int>& user = users.at(object);
                if (user.fetch_add(1) != 0) ++faults;
                // Plain writes and reads, ordered only by the pool's hand-over.
                auto* sample = static_cast<IRawSample*>(object);
                const Buffer buffer = BufferOf(sample);
                buffer.data[0] = mark;
                std::this_thread::yield();
                if (buffer.data[0] != mark) ++faults;
                user.fetch_sub(1);
                if (FAILED(sample->Done())) ++faults;
                sample->Release();
                ++taken;
            }
            if (objects[0] == nullptr && objects[1] == nullptr) std::this_thread::yield();
        }
    };
    std::thread first(worker, 1), second(worker, 2);
    for (std::thread* thread : {&first, &second}) thread->join();
    EXPECT_EQ(faults.load(), 0) << "an object went to two users at once, or a call on it failed";
    EXPECT_EQ(Idle(pool.Get()), 3u);
}

TEST(NoAllocation, FramePathAllocatesNothing) {
    const size_t beforeCreation = g_allocations.load();
    ComPtr<ISamplePool> samples = NewPool(), images = NewPool();
    ASSERT_GT(g_allocations.load(), beforeCreation) << "the library's allocations are not counted";
    // Sized for the frames to come when the pools are filled.
    const FrameFormat format{0, 640, 480, 640, 480, 30, 1};
    ASSERT_TRUE(AllOk({samples->Add(NewSample(4096).Get()), images->Add(NewImage(format).Get())}));
    const FrameTime time{123456789, 1000000};
    const size_t before = g_allocations.load();
    for (int i = 0; i < 200; ++i) {
        ComPtr<IRawSample> sample = Take<IRawSample>(samples.Get());
        ComPtr<IFrameImage> image = Take(images.Get());
        uint8_t* data = nullptr;
        uint32_t size = 0;
        // A producer fills a sample and an image and hands both on to the
        // next holder, which converts, delivers and gives them back.
        ASSERT_TRUE(AllOk({sample->Prepare(4096), sample->GetBuffer(&data, &size), sample->SetData(data, 4096),
                           image->SetFormat(&format), image->SetTime(&time, &time), sample->Hold(), image->Hold(),
                           sample->Done(), image->Done(), sample->GetData(&data, &size)}));
        BufferOf(image.Get()).data[0] = data[4095];
        ASSERT_TRUE(AllOk({sample->Done(), image->Done()}));
    }
    EXPECT_EQ(g_allocations.load(), before);
}

TEST(FrameImage, StartsEmptyGrowsOnlyWhenAPictureNeedsMoreAndRefusesBadFormats) {
    ComPtr<IFrameImage> image = New<IFrameImage>(CLSID_FrameImage, IID_IFrameImage);
    Buffer none{reinterpret_cast<uint8_t*>(&none), 1};
    FrameFormat format = Format(1, 1);
    ASSERT_TRUE(AllOk({image->GetFormat(&format)}));
    EXPECT_EQ(image->GetBuffer(&none.data, &none.size), E_FAIL);
    EXPECT_TRUE(none.data == nullptr && none.size == 0 && format.Width == 0 && format.Height == 0);

    const FrameFormat first = Format(640, 480);
    ASSERT_EQ(image->SetFormat(&first), S_OK);
    const Buffer initial = BufferOf(image.Get());
    ASSERT_EQ(initial.size, 640u * 480u * 3u) << "exactly the picture, no slack";
    EXPECT_TRUE(initial.data[0] == 0 && initial.data[initial.size - 1] == 0);
    for (const FrameFormat& fits : {Format(641, 479), Format(480, 640), Format(16, 16)}) {
        uint32_t stride = 0;
        ASSERT_TRUE(AllOk({image->SetFormat(&fits), image->GetStride(&stride)}));
        const Buffer buffer = BufferOf(image.Get());
        EXPECT_EQ(buffer.data, initial.data) << "a picture that fits must reuse the buffer";
        EXPECT_TRUE(buffer.size == fits.Width * fits.Height * 3 && stride == fits.Width * 3) << buffer.size;
    }
    const FrameFormat large = Format(1280, 961);
    ASSERT_EQ(image->SetFormat(&large), S_OK);
    const Buffer grown = BufferOf(image.Get());
    ASSERT_EQ(grown.size, 1280u * 961u * 3u);
    grown.data[grown.size - 1] = 7;
    for (const FrameFormat& next : {Format(640, 480), Format(961, 1280), Format(1280, 961)}) {
        ASSERT_EQ(image->SetFormat(&next), S_OK);
        EXPECT_EQ(BufferOf(image.Get()).data, grown.data) << "a buffer never shrinks";
    }
    EXPECT_EQ(grown.data[grown.size - 1], 7);
    for (const FrameFormat& bad : {Format(0, 600), Format(800, 0), Format(40000, 20000), Format(0xFFFFFFFFu, 1),
                                   Format(0x10000u, 0x10000u)})
        EXPECT_EQ(image->SetFormat(&bad), E_INVALIDARG) << bad.Width << " x " << bad.Height;
    EXPECT_EQ(BufferOf(image.Get()).size, 1280u * 961u * 3u) << "a refused format changed the picture";
}

TEST(SnapshotFrameImage, StartsEmptyThenRowsPointAtBlueGreenRedPixelsInBounds) {
    ComPtr<IFrameImage> image = New<IFrameImage>(CLSID_SnapshotFrameImage, IID_IFrameImage);
    ComPtr<IImageRowAccess> rows;
    ASSERT_EQ(image->QueryInterface(IID_IImageRowAccess, rows.ReceiveVoid()), S_OK);
    Buffer empty{reinterpret_cast<uint8_t*>(&empty), 1};
    uint8_t* rgb[3] = {};
    EXPECT_EQ(image->GetBuffer(&empty.data, &empty.size), E_FAIL);
    EXPECT_TRUE(empty.data == nullptr && empty.size == 0);
    EXPECT_EQ(rows->GetRow(0, 0, &rgb[0], &rgb[1], &rgb[2]), E_INVALIDARG) << "no picture yet";

    constexpr uint32_t kWidth = 5, kHeight = 3;
    const FrameFormat picture = Format(kWidth, kHeight);
    ASSERT_EQ(image->SetFormat(&picture), S_OK);
    const Buffer buffer = BufferOf(image.Get());
    ASSERT_EQ(buffer.size, kWidth * kHeight * 3);
    // Written as a snapshot writer does: component pointers stepping by 3.
    for (uint32_t y = 0; y < kHeight; ++y) {
        ASSERT_EQ(rows->GetRow(0, y, &rgb[0], &rgb[1], &rgb[2]), S_OK);
        for (uint32_t x = 0; x < kWidth * 3; x += 3)
            for (uint8_t c = 0; c < 3; ++c) rgb[c][x] = static_cast<uint8_t>(100 * c + 10 * y + x / 3);
    }
    for (uint32_t i = 0; i < kWidth * kHeight * 3; ++i)
        EXPECT_EQ(buffer.data[i], 100 * (2 - i % 3) + 10 * (i / 3 / kWidth) + i / 3 % kWidth) << i;
    EXPECT_EQ(rows->GetRow(0, kHeight, &rgb[0], &rgb[1], &rgb[2]), E_INVALIDARG);
    EXPECT_EQ(rows->GetRow(1, 0, &rgb[0], &rgb[1], &rgb[2]), E_INVALIDARG);
    EXPECT_EQ(rows->GetRow(0, 0, nullptr, &rgb[1], &rgb[2]), E_POINTER);
}

TEST(RawSample, StartsEmptyGrowsOnlyWhenNeededAndValidDataMustLieInsideTheBuffer) {
    ComPtr<IRawSample> sample = New<IRawSample>(CLSID_RawSample, IID_IRawSample);
    const Buffer none = BufferOf(sample.Get());
    EXPECT_TRUE(none.data == nullptr && none.size == 0);
    ASSERT_EQ(sample->Prepare(300000), S_OK);
    const Buffer initial = BufferOf(sample.Get());
    ASSERT_EQ(initial.size, 300000u) << "exactly the size asked for";
    EXPECT_TRUE(initial.data[0] == 0 && initial.data[initial.size - 1] == 0);
    ASSERT_EQ(sample->Prepare(300000), S_OK);
    EXPECT_EQ(BufferOf(sample.Get()).data, initial.data) << "grew without need";
    ASSERT_EQ(sample->Prepare(400000), S_OK);
    const Buffer buffer = BufferOf(sample.Get());
    ASSERT_EQ(buffer.size, 400000u);
    buffer.data[buffer.size - 1] = 3;
    ASSERT_EQ(sample->Prepare(100), S_OK);
    EXPECT_TRUE(BufferOf(sample.Get()).data == buffer.data && buffer.data[buffer.size - 1] == 3);

    uint8_t* const end = buffer.data + buffer.size;
    std::vector<uint8_t> elsewhere(64);
    const std::tuple<uint8_t*, uint32_t, HRESULT> rows[] = {
        {buffer.data, buffer.size, S_OK},       {end, 0, S_OK},           {end - 10, 11, E_INVALIDARG},
        {buffer.data, buffer.size + 1, E_INVALIDARG}, {end + 1, 0, E_INVALIDARG}, {elsewhere.data(), 1, E_INVALIDARG},
        {nullptr, 0, E_INVALIDARG}};
    for (const auto& [data, size, expected] : rows) {
        ASSERT_EQ(sample->SetData(buffer.data + 10, 100), S_OK);
        EXPECT_EQ(sample->SetData(data, size), expected) << static_cast<void*>(data) << " " << size;
        // A refused range keeps the data as it was; an empty one has no pointer.
        Buffer valid;
        ASSERT_EQ(sample->GetData(&valid.data, &valid.size), S_OK);
        EXPECT_EQ(valid.data, FAILED(expected) ? buffer.data + 10 : (size == 0 ? nullptr : data));
        EXPECT_EQ(valid.size, FAILED(expected) ? 100u : size);
    }
    Buffer forgotten{buffer.data, 1};
    ASSERT_TRUE(AllOk({sample->Prepare(100), sample->GetData(&forgotten.data, &forgotten.size)}));
    EXPECT_TRUE(forgotten.data == nullptr && forgotten.size == 0) << "Prepare forgets the data";
}

}  // namespace
}  // namespace optivane::test
