// A native thread with the default stack size, started at once, joined by its
// owner. Never throws.
#pragma once

namespace optivane::platform {

class Thread {
public:
    using Entry = void (*)(void* argument);

    Thread() = default;
    // Joins a thread that is still running: owners join explicitly before that.
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts entry(argument) on a new thread. False when the thread could not
    // be created or one is already held.
    bool Start(Entry entry, void* argument);
    // Waits without a time limit for the thread to end and forgets it. Does
    // nothing when no thread is held. Must not be called from the thread itself.
    void Join();
    // True on the thread this object started.
    bool IsCurrent() const;
    // From the started thread itself, which cannot join itself: forgets it
    // without waiting; it ends on its own when its entry returns.
    void Detach();
    bool IsStarted() const { return m_started; }

private:
    struct Handle;
    Handle* m_handle = nullptr;
    bool m_started = false;
};

}  // namespace optivane::platform
