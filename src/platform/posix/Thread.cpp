#include "platform/Thread.h"

#include <pthread.h>

#include <new>

namespace optivane::platform {

struct Thread::Handle {
    pthread_t id;
    Entry entry;
    void* argument;

    // The handle outlives the thread's start: Join deletes it only after
    // pthread_join, Detach only from the thread itself, which has read it.
    static void* Routine(void* raw) {
        const auto* self = static_cast<const Handle*>(raw);
        const Entry entry = self->entry;
        void* const argument = self->argument;
        entry(argument);
        return nullptr;
    }
};

Thread::~Thread() { Join(); }

bool Thread::Start(Entry entry, void* argument) {
    if (m_started || entry == nullptr) return false;
    Handle* handle = new (std::nothrow) Handle{};
    if (handle == nullptr) return false;
    handle->entry = entry;
    handle->argument = argument;
    if (pthread_create(&handle->id, nullptr, &Handle::Routine, handle) != 0) {
        delete handle;
        return false;
    }
    m_handle = handle;
    m_started = true;
    return true;
}

void Thread::Join() {
    if (!m_started) return;
    pthread_join(m_handle->id, nullptr);
    delete m_handle;
    m_handle = nullptr;
    m_started = false;
}

bool Thread::IsCurrent() const { return m_started && pthread_equal(m_handle->id, pthread_self()) != 0; }

void Thread::Detach() {
    if (!IsCurrent()) return;
    pthread_detach(m_handle->id);
    delete m_handle;
    m_handle = nullptr;
    m_started = false;
}

}  // namespace optivane::platform
