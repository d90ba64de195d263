// A one-shot worker thread owned by the object that derives from it.
//
// The owner calls Start to run Run() once on a new thread (with COM
// initialised for it) and Stop to ask it to end and join it. Run bodies that
// loop poll StopRequested() between steps. A derived class must call Stop() in
// its own destructor: the base cannot stop a Run that belongs to a part of the
// object already destroyed.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/Thread.h"

namespace optivane {

class CSimpleThread {
public:
    CSimpleThread() = default;
    virtual ~CSimpleThread();
    CSimpleThread(const CSimpleThread&) = delete;
    CSimpleThread& operator=(const CSimpleThread&) = delete;

    // The thread body. The base does nothing.
    virtual void Run() {}

    // Clears the stop request and starts the thread. The caller guards against
    // a thread already running. False when the thread could not be created.
    bool Start();
    // Without a thread: returns at once. Otherwise sets the stop request, waits
    // for the thread without a time limit and clears the request. Never from
    // the thread itself.
    void Stop();
    // True when called from inside Run().
    bool IsOwnThread() const { return m_thread.IsCurrent(); }
    // From inside Run(), where Stop cannot join: forgets the thread, which
    // ends on its own once Run returns. Run must touch no member after this.
    void LetGo() { m_thread.Detach(); }

    bool StopRequested() const { return m_stopRequest.load(std::memory_order_acquire) != 0; }
    bool HasThread() const { return m_thread.IsStarted(); }

protected:
    // For Run bodies that hand the request on to waits of their own.
    const std::atomic<int32_t>& StopRequest() const { return m_stopRequest; }

private:
    static void ThreadEntry(void* self);

    std::atomic<int32_t> m_stopRequest{0};
    platform::Thread m_thread;
};

}  // namespace optivane
