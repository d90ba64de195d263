#include "runtime/CMultiThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/ComApartment.h"
#include "platform/ManualResetEvent.h"

namespace optivane {
namespace {

// What the jobs saw; outlives the tasks so that it can be read after them.
struct JobLog {
    std::mutex mutex;
    std::vector<int> jobs;
    std::vector<std::thread::id> workers;
    std::vector<int> comDepths;
    platform::ManualResetEvent entered;
    platform::ManualResetEvent release{true};  // set: jobs do not block

    size_t Count() {
        std::lock_guard<std::mutex> guard(mutex);
        return jobs.size();
    }
};

// Records each job's number (set by the caller before Trigger) and, when the
// log's release event is reset, blocks inside the job until it is set.
class RecordingTask : public CMultiThread {
public:
    explicit RecordingTask(JobLog* log) : m_log(log) {}
    ~RecordingTask() override { StopWorker(); }
    void Run() override {
        {
            std::lock_guard<std::mutex> guard(m_log->mutex);
            m_log->jobs.push_back(next);
            m_log->workers.push_back(std::this_thread::get_id());
            m_log->comDepths.push_back(platform::ComApartment::Depth());
        }
        m_log->entered.Set();
        m_log->release.Wait();
    }
    int next = 0;

private:
    JobLog* m_log;
};

void Pause(uint32_t milliseconds) {
    platform::ManualResetEvent never;
    never.WaitFor(milliseconds);
}

TEST(CMultiThread, DestroyedRightAfterConstructionRunsNothing) {
    JobLog log;
    for (int i = 0; i < 20; ++i) {
        RecordingTask task(&log);
        EXPECT_FALSE(task.IsDone());
    }
    EXPECT_EQ(log.Count(), 0u);
}

TEST(CMultiThread, DestroyedWhileWaitingForATriggerEndsWithoutAJob) {
    JobLog log;
    {
        RecordingTask task(&log);
        task.Trigger();
        task.WaitDone();
        EXPECT_TRUE(task.IsDone());
        EXPECT_EQ(log.Count(), 1u);
        Pause(20);  // the worker is back waiting for the start event
    }
    EXPECT_EQ(log.Count(), 1u);
}

TEST(CMultiThread, EachTriggerFollowedByWaitDoneRunsOneJobInOrder) {
    JobLog log;
    const int count = 50;
    {
        RecordingTask task(&log);
        for (int i = 0; i < count; ++i) {
            task.next = i;
            task.Trigger();
            task.WaitDone();
            EXPECT_TRUE(task.IsDone());
        }
    }
    ASSERT_EQ(log.jobs.size(), static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(log.jobs[i], i);
        // One persistent worker, not the caller, with COM initialised once.
        EXPECT_EQ(log.workers[i], log.workers.front());
        EXPECT_EQ(log.comDepths[i], 1);
    }
    EXPECT_NE(log.workers.front(), std::this_thread::get_id());
}

TEST(CMultiThread, TriggerDuringARunningJobIsLost) {
    JobLog log;
    log.release.Reset();
    RecordingTask task(&log);
    task.Trigger();
    ASSERT_TRUE(log.entered.WaitFor(60000));
    task.Trigger();  // the start event is still set from the first trigger
    EXPECT_FALSE(task.IsDone());
    log.release.Set();
    task.WaitDone();
    Pause(200);  // time for a wrongly repeated job to start
    EXPECT_EQ(log.Count(), 1u);

    task.Trigger();
    task.WaitDone();
    EXPECT_EQ(log.Count(), 2u);
}

TEST(CMultiThread, DestroyedWhileAJobRunsWaitsForIt) {
    JobLog log;
    log.release.Reset();
    auto task = std::make_unique<RecordingTask>(&log);
    task->Trigger();
    ASSERT_TRUE(log.entered.WaitFor(60000));
    std::thread releaser([&log] {
        Pause(50);
        log.release.Set();
    });
    task.reset();  // returns only once the job has finished
    EXPECT_TRUE(log.release.IsSet());
    EXPECT_EQ(log.Count(), 1u);
    releaser.join();
}

TEST(CMultiThread, BaseAloneRunsEmptyJobs) {
    CMultiThread task;
    task.Trigger();
    task.WaitDone();
    EXPECT_TRUE(task.IsDone());
}

}  // namespace
}  // namespace optivane
