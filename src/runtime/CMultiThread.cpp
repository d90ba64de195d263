#include "runtime/CMultiThread.h"

#include "platform/ComApartment.h"

namespace optivane {

CMultiThread::CMultiThread() : m_workerStarted(m_thread.Start(&CMultiThread::WorkerEntry, this)) {
    m_doneEvent.Reset();
}

CMultiThread::~CMultiThread() { StopWorker(); }

void CMultiThread::Trigger() {
    if (!m_workerStarted) return;
    m_doneEvent.Reset();
    m_startEvent.Set();
}

void CMultiThread::WaitDone() {
    // Without a worker no job will ever finish: do not wait for one.
    if (!m_workerStarted) return;
    m_doneEvent.Wait();
}

void CMultiThread::StopWorker() {
    if (!m_thread.IsStarted()) return;
    m_stopRequest.store(1, std::memory_order_release);
    m_doneEvent.Reset();
    m_startEvent.Set();
    m_thread.Join();
    // Nobody is left to finish a job: release anyone still waiting for one.
    m_doneEvent.Set();
}

// Runs on the worker thread for the object's whole life.
void CMultiThread::WorkerEntry(void* self) { static_cast<CMultiThread*>(self)->WorkerLoop(); }

void CMultiThread::WorkerLoop() {
    platform::ComScope com;
    m_startEvent.Wait();
    while (m_stopRequest.load(std::memory_order_acquire) == 0) {
        try {
            Run();
        } catch (...) {
            // The job is over either way; the worker stays for the next one.
        }
        m_startEvent.Reset();
        // StopWorker sets the stop request before the start event: if its
        // start was just reset here, the request is already visible, and the
        // worker must leave rather than wait for a start that will not come.
        if (m_stopRequest.load(std::memory_order_acquire) != 0) break;
        m_doneEvent.Set();
        m_startEvent.Wait();
    }
}

}  // namespace optivane
