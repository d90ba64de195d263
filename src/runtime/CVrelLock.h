// A recursive lock (critical section). Each object that shares state between a
// host thread and its own threads owns one.
#pragma once

#include "platform/CriticalSection.h"

namespace optivane {

class CVrelLock {
public:
    CVrelLock() = default;
    virtual ~CVrelLock() = default;
    CVrelLock(const CVrelLock&) = delete;
    CVrelLock& operator=(const CVrelLock&) = delete;

    void Lock() { m_section.Enter(); }
    void Unlock() { m_section.Leave(); }

private:
    platform::CriticalSection m_section;
};

}  // namespace optivane
