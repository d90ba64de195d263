// Pool rules: who gets an object, when it comes back, what the pool refuses.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "ZendraModule.h"

namespace optivane::test {
namespace {

// A pool filled with count images, the creator's references dropped.
ComPtr<ISamplePool> ImagePool(int count, std::vector<IUnknown*>* members = nullptr) {
    ComPtr<ISamplePool> pool = ZendraModule::CreatePool();
    for (int i = 0; i < count; ++i) {
        ComPtr<IFrameImage> image = ZendraModule::CreateImage();
        EXPECT_EQ(pool->Add(image.Get()), S_OK);
        if (members != nullptr) members->push_back(image.Get());
    }
    return pool;
}

ComPtr<IFrameImage> TakeImage(ISamplePool* pool) {
    ComPtr<IUnknown> taken;
    EXPECT_EQ(pool->Take(taken.Receive()), S_OK);
    return ComPtr<IFrameImage>::Adopt(static_cast<IFrameImage*>(taken.Detach()));
}

void GiveBack(ComPtr<IFrameImage>& image) {
    EXPECT_EQ(image->Done(), S_OK);
    image.Reset();
}

uint32_t IdleCount(ISamplePool* pool) {
    uint32_t total = 0;
    uint32_t idle = 0;
    EXPECT_EQ(pool->GetCounts(&total, &idle), S_OK);
    return idle;
}

TEST(SamplePool, HandsOutEachObjectOnceUntilExhausted) {
    std::vector<IUnknown*> members;
    ComPtr<ISamplePool> pool = ImagePool(3, &members);
    std::vector<ComPtr<IFrameImage>> taken;
    for (int i = 0; i < 3; ++i) {
        taken.push_back(TakeImage(pool.Get()));
        uint32_t holders = 0;
        EXPECT_EQ(taken.back()->GetHoldCount(&holders), S_OK);
        EXPECT_EQ(holders, 1u);
    }
    // The pointers given to Add come back, each exactly once.
    for (IUnknown* member : members) {
        int found = 0;
        for (const auto& image : taken) found += image.Get() == member ? 1 : 0;
        EXPECT_EQ(found, 1);
    }

    IUnknown* none = reinterpret_cast<IUnknown*>(&none);
    EXPECT_TRUE(FAILED(pool->Take(&none)));
    EXPECT_EQ(none, nullptr);

    // Returning one makes exactly that one available again.
    IFrameImage* const returned = taken[1].Get();
    GiveBack(taken[1]);
    EXPECT_EQ(IdleCount(pool.Get()), 1u);
    ComPtr<IFrameImage> again = TakeImage(pool.Get());
    EXPECT_EQ(again.Get(), returned);
    EXPECT_TRUE(FAILED(pool->Take(&none)));

    GiveBack(again);
    GiveBack(taken[0]);
    GiveBack(taken[2]);
    uint32_t total = 0;
    uint32_t idle = 0;
    EXPECT_EQ(pool->GetCounts(&total, &idle), S_OK);
    EXPECT_EQ(total, 3u);
    EXPECT_EQ(idle, 3u);
    EXPECT_EQ(pool->Take(nullptr), E_POINTER);
    EXPECT_EQ(pool->GetCounts(nullptr, &idle), E_POINTER);
}

TEST(SamplePool, ObjectStaysOutWhileAnyoneElseHoldsOrReferencesIt) {
    ComPtr<ISamplePool> pool = ImagePool(1);
    ComPtr<IFrameImage> image = TakeImage(pool.Get());

    // Handed on to a third holder that keeps a reference after the taker is done.
    ComPtr<IFrameImage> third = ComPtr<IFrameImage>::Share(image.Get());
    GiveBack(image);
    IUnknown* none = nullptr;
    EXPECT_TRUE(FAILED(pool->Take(&none)));
    third.Reset();
    EXPECT_EQ(IdleCount(pool.Get()), 1u);

    // A second holder (Hold) who has not called Done keeps it out too.
    image = TakeImage(pool.Get());
    ComPtr<IFrameImage> task = ComPtr<IFrameImage>::Share(image.Get());
    EXPECT_EQ(task->Hold(), S_OK);
    GiveBack(image);
    EXPECT_TRUE(FAILED(pool->Take(&none)));
    GiveBack(task);
    EXPECT_EQ(IdleCount(pool.Get()), 1u);

    // Released without Done: never handed out again.
    image = TakeImage(pool.Get());
    image.Reset();
    EXPECT_TRUE(FAILED(pool->Take(&none)));
    EXPECT_EQ(IdleCount(pool.Get()), 0u);
}

TEST(SamplePool, DoneWithoutHolderIsRefusedAndChangesNothing) {
    ComPtr<ISamplePool> pool = ImagePool(1);
    ComPtr<IFrameImage> image = TakeImage(pool.Get());
    EXPECT_EQ(image->Done(), S_OK);
    EXPECT_EQ(image->Done(), E_UNEXPECTED);
    uint32_t holders = 7;
    EXPECT_EQ(image->GetHoldCount(&holders), S_OK);
    EXPECT_EQ(holders, 0u);
    EXPECT_EQ(image->GetHoldCount(nullptr), E_POINTER);

    ComPtr<IRawSample> sample = ZendraModule::CreateSample();
    EXPECT_EQ(sample->Done(), E_UNEXPECTED);
    EXPECT_EQ(sample->Hold(), S_OK);
    EXPECT_EQ(sample->Done(), S_OK);
    EXPECT_EQ(sample->Done(), E_UNEXPECTED);
}

// An object of another module that happens to have IUnknown's shape.
class ForeignObject : public IUnknown {
public:
    HRESULT QueryInterface(const IID& iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (iid != IID_IUnknown) return E_NOINTERFACE;
        *object = this;
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return static_cast<ULONG>(++m_count); }
    ULONG Release() override { return static_cast<ULONG>(--m_count); }
    int Count() const { return m_count; }

private:
    int m_count = 1;
};

TEST(SamplePool, AddRefusesWhatItCannotPool) {
    ComPtr<ISamplePool> pool = ZendraModule::CreatePool();
    EXPECT_EQ(pool->Add(nullptr), E_POINTER);

    ForeignObject foreign;
    EXPECT_EQ(pool->Add(&foreign), E_INVALIDARG);
    EXPECT_EQ(foreign.Count(), 1);

    ComPtr<IFrameImage> snapshot = ZendraModule::CreateSnapshotImage();
    EXPECT_EQ(pool->Add(snapshot.Get()), E_INVALIDARG);
    ComPtr<ISamplePool> other = ZendraModule::CreatePool();
    EXPECT_EQ(pool->Add(other.Get()), E_INVALIDARG);

    // One pool at a time, and only once.
    ComPtr<IRawSample> sample = ZendraModule::CreateSample();
    EXPECT_EQ(pool->Add(sample.Get()), S_OK);
    EXPECT_EQ(pool->Add(sample.Get()), E_INVALIDARG);
    EXPECT_EQ(other->Add(sample.Get()), E_INVALIDARG);

    uint32_t total = 0;
    uint32_t idle = 0;
    EXPECT_EQ(pool->GetCounts(&total, &idle), S_OK);
    EXPECT_EQ(total, 1u);
    // The creator still holds a reference, so it is not idle yet.
    EXPECT_EQ(idle, 0u);
    sample.Reset();
    EXPECT_EQ(IdleCount(pool.Get()), 1u);
}

TEST(SamplePool, ClearKeepsObjectsInUseAliveForTheirUsers) {
    ComPtr<ISamplePool> pool = ImagePool(2);
    ComPtr<IFrameImage> image = TakeImage(pool.Get());
    EXPECT_EQ(pool->Clear(), S_OK);
    uint32_t total = 9;
    uint32_t idle = 9;
    EXPECT_EQ(pool->GetCounts(&total, &idle), S_OK);
    EXPECT_EQ(total, 0u);
    IUnknown* none = nullptr;
    EXPECT_TRUE(FAILED(pool->Take(&none)));

    // Still a working image for its user (the sanitizer build catches a
    // freed buffer), and free to join another pool.
    uint8_t* data = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(image->GetBuffer(&data, &size), S_OK);
    data[0] = 1;
    data[size - 1] = 2;
    ComPtr<ISamplePool> next = ZendraModule::CreatePool();
    EXPECT_EQ(next->Add(image.Get()), S_OK);
    EXPECT_TRUE(FAILED(next->Take(&none)));
    GiveBack(image);
    ComPtr<IFrameImage> again = TakeImage(next.Get());
    ASSERT_EQ(again->GetBuffer(&data, &size), S_OK);
    EXPECT_EQ(data[size - 1], 2);
    GiveBack(again);

    // The last Release of a pool drops its members as Clear does.
    next.Reset();
    pool.Reset();
}

TEST(SamplePool, TwoUsersNeverShareAnObject) {
    constexpr int kTakesPerThread = 10000;
    constexpr int kPoolSize = 3;
    std::vector<IUnknown*> members;
    ComPtr<IRawSample> samples[kPoolSize];
    ComPtr<ISamplePool> pool = ZendraModule::CreatePool();
    for (auto& sample : samples) {
        sample = ZendraModule::CreateSample();
        ASSERT_EQ(pool->Add(sample.Get()), S_OK);
        members.push_back(sample.Get());
    }
    for (auto& sample : samples) sample.Reset();

    std::atomic<int> users[kPoolSize] = {};
    std::atomic<int> sharedTakes{0};
    std::atomic<int> started{0};
    auto indexOf = [&](IUnknown* object) {
        for (int i = 0; i < kPoolSize; ++i) {
            if (members[i] == object) return i;
        }
        return -1;
    };
    auto worker = [&](uint8_t mark) {
        // Both start together so that their takes really overlap.
        started.fetch_add(1);
        while (started.load() < 2) std::this_thread::yield();
        int taken = 0;
        while (taken < kTakesPerThread) {
            // Two at a time: four wishes for three objects keep the pool contended.
            IUnknown* objects[2] = {nullptr, nullptr};
            for (IUnknown*& object : objects) {
                if (FAILED(pool->Take(&object))) object = nullptr;
            }
            for (IUnknown* object : objects) {
                if (object == nullptr) continue;
                const int index = indexOf(object);
                ASSERT_GE(index, 0);
                if (users[index].fetch_add(1) != 0) ++sharedTakes;
                // Plain writes and reads of the contents: ordered only by the
                // pool's hand-over, so a sanitizer sees any missing ordering.
                auto* sample = static_cast<IRawSample*>(object);
                uint8_t* data = nullptr;
                uint32_t capacity = 0;
                ASSERT_EQ(sample->Prepare(16), S_OK);
                ASSERT_EQ(sample->GetBuffer(&data, &capacity), S_OK);
                data[0] = mark;
                ASSERT_EQ(sample->SetData(data, 1), S_OK);
                uint8_t* valid = nullptr;
                uint32_t size = 0;
                ASSERT_EQ(sample->GetData(&valid, &size), S_OK);
                if (size != 1 || valid[0] != mark) ++sharedTakes;
                users[index].fetch_sub(1);
                ASSERT_EQ(sample->Done(), S_OK);
                sample->Release();
                ++taken;
            }
            if (objects[0] == nullptr && objects[1] == nullptr) std::this_thread::yield();
        }
    };
    std::thread first(worker, 1);
    std::thread second(worker, 2);
    first.join();
    second.join();
    EXPECT_EQ(sharedTakes.load(), 0);
    EXPECT_EQ(IdleCount(pool.Get()), static_cast<uint32_t>(kPoolSize));
}

}  // namespace
}  // namespace optivane::test
