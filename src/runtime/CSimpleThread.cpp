#include "runtime/CSimpleThread.h"

#include "platform/ComApartment.h"

namespace optivane {

CSimpleThread::~CSimpleThread() {
    // Last resort only: by now the derived part is gone, so a Run still going
    // would be running on a destroyed object. Derived classes stop first.
    if (m_thread.IsStarted()) Stop();
}

bool CSimpleThread::Start() {
    m_stopRequest.store(0, std::memory_order_release);
    return m_thread.Start(&CSimpleThread::ThreadEntry, this);
}

void CSimpleThread::Stop() {
    if (!m_thread.IsStarted()) return;
    m_stopRequest.store(1, std::memory_order_release);
    m_thread.Join();
    m_stopRequest.store(0, std::memory_order_release);
}

// Runs on the new thread, once per Start.
void CSimpleThread::ThreadEntry(void* self) {
    platform::ComScope com;
    try {
        static_cast<CSimpleThread*>(self)->Run();
    } catch (...) {
        // A thread body must not end the process; the owner sees the thread
        // end as if Run had returned.
    }
}

}  // namespace optivane
