#include "runtime/CSimpleThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

#include "platform/ComApartment.h"
#include "platform/ManualResetEvent.h"

namespace optivane {
namespace {

// Loops until asked to stop, as streaming threads do.
class LoopingThread : public CSimpleThread {
public:
    ~LoopingThread() override { Stop(); }
    void Run() override {
        comDepth = platform::ComApartment::Depth();
        nestedStatus = platform::ComApartment::Initialize();
        platform::ComApartment::Uninitialize();
        started.Set();
        while (!StopRequested()) {
            ++steps;
            platform::ManualResetEvent pause;
            pause.WaitFor(1);
        }
    }
    platform::ManualResetEvent started;
    std::atomic<int> steps{0};
    std::atomic<int> comDepth{-1};
    std::atomic<HRESULT> nestedStatus{E_FAIL};
};

// Ends by itself, as the search does.
class OnceThread : public CSimpleThread {
public:
    ~OnceThread() override { Stop(); }
    void Run() override {
        ++runs;
        finished.Set();
        if (fail) throw std::runtime_error("job failed");
    }
    platform::ManualResetEvent finished;
    std::atomic<int> runs{0};
    bool fail = false;
};

TEST(CSimpleThread, StopWithoutStartReturnsAtOnce) {
    OnceThread thread;
    thread.Stop();
    EXPECT_FALSE(thread.HasThread());
    EXPECT_FALSE(thread.StopRequested());
    EXPECT_EQ(thread.runs.load(), 0);
}

TEST(CSimpleThread, LoopingRunEndsOnStopWithCOMInitialisedInside) {
    LoopingThread thread;
    ASSERT_TRUE(thread.Start());
    EXPECT_TRUE(thread.HasThread());
    ASSERT_TRUE(thread.started.WaitFor(60000));
    thread.Stop();
    EXPECT_FALSE(thread.HasThread());
    EXPECT_FALSE(thread.StopRequested());
    EXPECT_EQ(thread.comDepth.load(), 1);
    EXPECT_EQ(thread.nestedStatus.load(), S_FALSE);
    EXPECT_EQ(platform::ComApartment::Depth(), 0);  // the owner's thread is untouched

    // A second run is a new thread with its own initialisation.
    const int stepsBefore = thread.steps.load();
    thread.started.Reset();
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(thread.started.WaitFor(60000));
    thread.Stop();
    EXPECT_EQ(thread.comDepth.load(), 1);
    EXPECT_GE(thread.steps.load(), stepsBefore);
}

TEST(CSimpleThread, RunThatEndsByItselfKeepsTheThreadUntilStop) {
    OnceThread thread;
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(thread.finished.WaitFor(60000));
    EXPECT_TRUE(thread.HasThread());
    thread.Stop();
    EXPECT_FALSE(thread.HasThread());
    EXPECT_FALSE(thread.StopRequested());
    EXPECT_EQ(thread.runs.load(), 1);
    thread.Stop();
    EXPECT_EQ(thread.runs.load(), 1);
}

TEST(CSimpleThread, ExceptionFromRunEndsOnlyTheThread) {
    OnceThread thread;
    thread.fail = true;
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(thread.finished.WaitFor(60000));
    thread.Stop();
    EXPECT_EQ(thread.runs.load(), 1);
}

TEST(CSimpleThread, BaseDestructorStopsAThreadLeftRunning) {
    {
        // The base's own Run: nothing to stop in a derived destructor.
        CSimpleThread thread;
        ASSERT_TRUE(thread.Start());
    }
    SUCCEED();
}

}  // namespace
}  // namespace optivane
