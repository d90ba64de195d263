#include "platform/Thread.h"

#include <windows.h>
#include <process.h>

#include <new>

namespace optivane::platform {

struct Thread::Handle {
    HANDLE thread;
    Entry entry;
    void* argument;

    // The handle outlives the thread's start: Join deletes it only after the
    // wait, Detach only from the thread itself, which has read it.
    static unsigned __stdcall Routine(void* raw) {
        const auto* self = static_cast<const Handle*>(raw);
        const Entry entry = self->entry;
        void* const argument = self->argument;
        entry(argument);
        return 0;
    }
};

Thread::~Thread() { Join(); }

bool Thread::Start(Entry entry, void* argument) {
    if (m_started || entry == nullptr) return false;
    Handle* handle = new (std::nothrow) Handle{};
    if (handle == nullptr) return false;
    handle->entry = entry;
    handle->argument = argument;
    const uintptr_t created = _beginthreadex(nullptr, 0, &Handle::Routine, handle, 0, nullptr);
    if (created == 0) {
        delete handle;
        return false;
    }
    handle->thread = reinterpret_cast<HANDLE>(created);
    m_handle = handle;
    m_started = true;
    return true;
}

void Thread::Join() {
    if (!m_started) return;
    WaitForSingleObject(m_handle->thread, INFINITE);
    CloseHandle(m_handle->thread);
    delete m_handle;
    m_handle = nullptr;
    m_started = false;
}

bool Thread::IsCurrent() const { return m_started && GetThreadId(m_handle->thread) == GetCurrentThreadId(); }

void Thread::Detach() {
    if (!IsCurrent()) return;
    CloseHandle(m_handle->thread);
    delete m_handle;
    m_handle = nullptr;
    m_started = false;
}

}  // namespace optivane::platform
