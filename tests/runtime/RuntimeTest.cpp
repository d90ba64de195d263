// The debug log, the two thread bases and CTimeUtil.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/Clock.h"
#include "platform/ComApartment.h"
#include "platform/ManualResetEvent.h"
#include "runtime/CDebugLog.h"
#include "runtime/CMultiThread.h"
#include "runtime/CSimpleThread.h"
#include "runtime/CTimeUtil.h"
#include "runtime/DebugLogFixture.h"

namespace optivane {
namespace {

TEST(CDebugLogNames, StampHasThreeDigitMillisecondsAndTheDailyFileFollowsTheWholePath) {
    EXPECT_EQ(CDebugLog::TimeStamp({2026, 12, 4, 2, 13, 0, 7}), "[2026-12-04 02:13:00 007]    ");
    const std::tuple<const char*, platform::LocalCalendarTime, const char*> names[] = {
        {"/var/tmp/Pellion", {2026, 12, 4, 2, 13, 0, 45}, "/var/tmp/Pellion20261204"},
        {"/var/tmp/a.b.c", {987, 1, 2, 0, 0, 0, 0}, "/var/tmp/a.b.c-09870102"},
        {"/var/tmp.d/Pellion", {2027, 1, 1, 0, 0, 0, 0}, "/var/tmp.d/Pellion-20270101"},  // a dot in a folder counts
    };
    for (const auto& [path, now, expected] : names) EXPECT_EQ(CDebugLog::DailyFileName(path, now), expected);
}

// Only error lines, in the exact format, cut to 1023 bytes; an unwritable
// path fails and changes nothing.
TEST_F(CDebugLogTest, WritesOnlyErrorLinesInTheExactFormatCutTo1023Bytes) {
    m_log.Error("A", nullptr);
    m_log.Trace("A", "ThreadProc() Start. (%s)\n", "x");
    m_log.TraceW(L"StartLiveStreaming() hr = 0x%08X (%p)\n", 0u, nullptr);
    EXPECT_EQ(m_log.WriteLine(nullptr), -1);
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.Path()));
    m_log.Error("A", "first");  // runs on into the next line
    m_log.Error("CPeakCamInstance", "OpenCamera failed...  EXCEPTION: %s, DeviceID: %s\n", "boom", "1234");
    const std::string written = Written();
    EXPECT_TRUE(std::regex_match(written, std::regex("^" + kStamp + "     ERROR /A/ first" + kStamp +
                                                     "     ERROR /CPeakCamInstance/ OpenCamera failed\\.\\.\\.  "
                                                     "EXCEPTION: boom, DeviceID: 1234\n$")))
        << written;

    m_log.Error("CLong", "%s\n", std::string(3000, 'x').c_str());
    const std::string longLine = Written().substr(written.size());
    EXPECT_TRUE(std::regex_match(longLine, std::regex("^" + kStamp + "     ERROR /CLong/ x+$")));
    EXPECT_EQ(longLine.size(), 1023u);
    EXPECT_EQ(m_log.WriteLine(std::string(5000, 'y').c_str()), 0);
    EXPECT_EQ(Written(), written + longLine + std::string(1023, 'y'));

    m_log.SetPathForTesting(m_dir.File("no-such-folder/test.log").c_str());
    EXPECT_EQ(m_log.WriteLine("line\n"), -1);
    EXPECT_EQ(Written(), written + longLine + std::string(1023, 'y'));
}

// Where file locks belong to handles (Windows), writers of one process would
// also lock each other out and drop lines without the log's own lock.
TEST_F(CDebugLogTest, ConcurrentWritersGiveWholeLines) {
    std::vector<std::thread> writers;
    for (int t = 0; t < 8; ++t)
        writers.emplace_back([this, t] {
            CDebugLog log;  // each component has its own object
            log.SetPathForTesting(m_path.c_str());
            for (int i = 0; i < 60; ++i) log.Error("CWriter", "thread %d line %d %s\n", t, i, "payload-payload");
        });
    for (auto& writer : writers) writer.join();
    std::istringstream lines(Written());
    const std::regex pattern("^" + kStamp + R"(     ERROR /CWriter/ thread (\d+) line (\d+) payload-payload$)");
    std::set<std::pair<int, int>> seen;
    std::smatch match;
    for (std::string line; std::getline(lines, line);) {
        ASSERT_TRUE(std::regex_match(line, match, pattern)) << line;
        EXPECT_TRUE(seen.emplace(std::stoi(match[1]), std::stoi(match[2])).second) << line;
    }
    EXPECT_EQ(seen.size(), 8u * 60u);
}

// Loops until stopped (mode 1, as streaming does), ends by itself (mode 2, as
// the search does) or throws (mode 3).
class TestThread : public CSimpleThread {
public:
    ~TestThread() override { Stop(); }
    void Run() override {
        ++runs;
        EXPECT_EQ(platform::ComApartment::Depth(), 1);
        EXPECT_EQ(platform::ComApartment::Initialize(), S_FALSE);  // already initialised for the thread
        platform::ComApartment::Uninitialize();
        started.Set();
        if (mode == 3) throw std::runtime_error("job failed");
        while (mode == 1 && !StopRequested()) platform::Clock::SleepMilliseconds(1);
    }
    int mode = 1;  // set before Start
    platform::ManualResetEvent started;
    std::atomic<int> runs{0};
};

TEST(CSimpleThread, StopEndsALoopOrAnEndedRunAndEachRunHasItsOwnCom) {
    TestThread thread;
    thread.Stop();  // never started: returns at once
    EXPECT_FALSE(thread.HasThread() || thread.StopRequested());
    for (int mode = 1; mode <= 3; ++mode) {
        thread.mode = mode;
        thread.started.Reset();
        ASSERT_TRUE(thread.Start());
        ASSERT_TRUE(thread.started.WaitFor(60000));
        EXPECT_TRUE(thread.HasThread());  // kept until Stop, even after Run ended
        thread.Stop();
        thread.Stop();  // idle: returns at once
        EXPECT_FALSE(thread.HasThread() || thread.StopRequested());
        EXPECT_EQ(thread.runs.load(), mode);
    }
    EXPECT_EQ(platform::ComApartment::Depth(), 0);  // the owner's thread is untouched
    CSimpleThread base;
    ASSERT_TRUE(base.Start());  // the base's empty Run; its own destructor joins
}

// Counts jobs in a counter that outlives the task, each on one worker with COM
// initialised. While `release` is reset, a job blocks until it is set.
struct Jobs {
    std::atomic<int> count{0};
    platform::ManualResetEvent entered, release{true};
};

class CountingTask : public CMultiThread {
public:
    explicit CountingTask(Jobs* jobs) : m_jobs(jobs) {}
    ~CountingTask() override { StopWorker(); }
    void Run() override {
        if (m_worker == std::thread::id()) m_worker = std::this_thread::get_id();
        EXPECT_EQ(std::this_thread::get_id(), m_worker);
        EXPECT_EQ(platform::ComApartment::Depth(), 1);  // not the owner's thread either
        ++m_jobs->count;
        m_jobs->entered.Set();
        m_jobs->release.Wait();
    }

private:
    Jobs* m_jobs;
    std::thread::id m_worker;  // the worker's only
};

TEST(CMultiThread, EachTriggerRunsOneJobAndDestructionWithoutATriggerRunsNone) {
    Jobs jobs;
    for (int round = 0; round < 12; ++round) {
        CountingTask task(&jobs);  // rounds 0, 3, 6, 9: destroyed right after construction
        for (int i = 0; round % 3 == 2 && i < 10; ++i) {
            const int before = jobs.count;
            task.Trigger();
            task.WaitDone();
            ASSERT_EQ(jobs.count.load(), before + 1);
        }
        if (round % 3 != 0) platform::Clock::SleepMilliseconds(5);  // the worker waits for a (next) trigger
    }
    EXPECT_EQ(jobs.count.load(), 40);
    CMultiThread base;  // the base alone runs empty jobs and stops its own worker
    base.Trigger();
    base.WaitDone();
}

TEST(CMultiThread, TriggerDuringAJobIsLostAndDestructionWaitsForTheJob) {
    Jobs jobs;
    jobs.release.Reset();
    auto task = std::make_unique<CountingTask>(&jobs);
    task->Trigger();
    ASSERT_TRUE(jobs.entered.WaitFor(60000));
    task->Trigger();  // the start event is still set from the first trigger
    EXPECT_FALSE(task->IsDone());
    jobs.release.Set();
    task->WaitDone();
    platform::Clock::SleepMilliseconds(50);  // time for a wrongly repeated job to start
    ASSERT_EQ(jobs.count.load(), 1);

    jobs.release.Reset();
    jobs.entered.Reset();
    task->Trigger();
    ASSERT_TRUE(jobs.entered.WaitFor(60000));
    std::thread releaser([&jobs] {
        platform::Clock::SleepMilliseconds(50);
        jobs.release.Set();
    });
    task.reset();  // returns only once the job has finished
    EXPECT_TRUE(jobs.release.IsSet() && jobs.count.load() == 2) << jobs.count.load();
    releaser.join();
}

TEST(CTimeUtil, MicrosecondsTruncateNanosecondsAndNowIsTheUtcClock) {
    EXPECT_EQ(CTimeUtil::ToMicroseconds(1, 999000), 1000999);  // 1970-01-01T00:00:01.000999
    EXPECT_EQ(CTimeUtil::ToMicroseconds(1, 999999), 1000999);
    EXPECT_EQ(CTimeUtil::ToMicroseconds(1796350380, 45000000), 1796350380045000);  // past 32 bits
    const platform::UtcTimeSpec before = platform::Clock::UtcNow();
    const int64_t now = CTimeUtil().NowMicroseconds();
    const platform::UtcTimeSpec after = platform::Clock::UtcNow();
    EXPECT_TRUE(now >= CTimeUtil::ToMicroseconds(before.seconds, before.nanoseconds) &&
                now <= CTimeUtil::ToMicroseconds(after.seconds, after.nanoseconds)) << now;
}

}  // namespace
}  // namespace optivane
