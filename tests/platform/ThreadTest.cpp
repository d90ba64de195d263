#include "platform/Thread.h"

#include <gtest/gtest.h>

#include <atomic>

#include "platform/Clock.h"
#include "platform/ComApartment.h"

namespace optivane::platform {
namespace {

struct Work {
    std::atomic<int> runs{0};
    int value = 0;  // written by the thread, read after Join
};

void SlowWork(void* argument) {
    auto* work = static_cast<Work*>(argument);
    Clock::SleepMilliseconds(30);
    work->value = 42;
    ++work->runs;
}

TEST(Thread, JoinWaitsForTheEntryToFinish) {
    Work work;
    Thread thread;
    EXPECT_FALSE(thread.IsStarted());
    ASSERT_TRUE(thread.Start(&SlowWork, &work));
    EXPECT_TRUE(thread.IsStarted());
    thread.Join();
    EXPECT_FALSE(thread.IsStarted());
    EXPECT_EQ(work.value, 42);
    EXPECT_EQ(work.runs.load(), 1);
    thread.Join();  // nothing held: does nothing
}

TEST(Thread, RefusesASecondStartUntilJoined) {
    Work work;
    Thread thread;
    ASSERT_TRUE(thread.Start(&SlowWork, &work));
    EXPECT_FALSE(thread.Start(&SlowWork, &work));
    thread.Join();
    EXPECT_EQ(work.runs.load(), 1);
    ASSERT_TRUE(thread.Start(&SlowWork, &work));
    thread.Join();
    EXPECT_EQ(work.runs.load(), 2);
    EXPECT_FALSE(thread.Start(nullptr, &work));
}

TEST(Thread, DestructorJoinsAThreadStillHeld) {
    Work work;
    {
        Thread thread;
        ASSERT_TRUE(thread.Start(&SlowWork, &work));
    }
    EXPECT_EQ(work.value, 42);
}

void RecordDepth(void* argument) { *static_cast<int*>(argument) = ComApartment::Depth(); }

TEST(ComApartment, NestsPerThreadAndANewThreadStartsUninitialised) {
    ASSERT_EQ(ComApartment::Depth(), 0);
    EXPECT_EQ(ComApartment::Initialize(), S_OK);
    EXPECT_EQ(ComApartment::Initialize(), S_FALSE);
    EXPECT_EQ(ComApartment::Depth(), 2);

    int otherDepth = -1;
    Thread other;
    ASSERT_TRUE(other.Start(&RecordDepth, &otherDepth));
    other.Join();
    EXPECT_EQ(otherDepth, 0);

    ComApartment::Uninitialize();
    ComApartment::Uninitialize();
    EXPECT_EQ(ComApartment::Depth(), 0);
    ComApartment::Uninitialize();  // unbalanced: stays at 0
    EXPECT_EQ(ComApartment::Depth(), 0);
    EXPECT_EQ(ComApartment::Initialize(), S_OK);
    ComApartment::Uninitialize();
}

TEST(ComApartment, ScopeUninitialisesOnlyWhatItInitialisedWithSOk) {
    {
        ComScope outer;
        EXPECT_EQ(outer.Status(), S_OK);
        {
            // Like CoInitialize, the nested call is counted; the scope leaves
            // it, as a thread body that got S_FALSE does.
            ComScope inner;
            EXPECT_EQ(inner.Status(), S_FALSE);
            EXPECT_EQ(ComApartment::Depth(), 2);
        }
        EXPECT_EQ(ComApartment::Depth(), 2);
        ComApartment::Uninitialize();
    }
    EXPECT_EQ(ComApartment::Depth(), 0);
}

}  // namespace
}  // namespace optivane::platform
