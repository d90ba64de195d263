// A persistent worker thread, started at construction, that runs one job each
// time it is triggered.
//
// Trigger resets the done event and sets the start event; the worker runs
// Run(), resets the start event and sets the done event. Callers wait for
// done (WaitDone) before they trigger again: a trigger given while a job runs
// is lost. A derived class calls StopWorker() first in its destructor so that
// no job runs on a partly destroyed object.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/ManualResetEvent.h"
#include "platform/Thread.h"

namespace optivane {

class CMultiThread {
public:
    CMultiThread();
    virtual ~CMultiThread();
    CMultiThread(const CMultiThread&) = delete;
    CMultiThread& operator=(const CMultiThread&) = delete;

    // One job. The base does nothing.
    virtual void Run() {}

    // Both do nothing when the worker could not be created, so that callers
    // never wait for a job that cannot run.
    void Trigger();
    // Waits without a time limit for the current job to finish.
    void WaitDone();
    bool IsDone() const { return m_doneEvent.IsSet(); }
    // False when the worker could not be created: no job will ever run.
    bool HasWorker() const { return m_workerStarted; }

protected:
    // Ends the worker without running another job and joins it (a job already
    // running is finished first), then sets the done event so that no waiter
    // is left behind. Idempotent.
    void StopWorker();

private:
    static void WorkerEntry(void* self);
    void WorkerLoop();

    std::atomic<int32_t> m_stopRequest{0};
    platform::Thread m_thread;
    platform::ManualResetEvent m_startEvent;
    platform::ManualResetEvent m_doneEvent;
    // Set once in the constructor, after the events exist; never changes.
    const bool m_workerStarted;
};

}  // namespace optivane
