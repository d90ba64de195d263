// Holds a CVrelLock for the lifetime of the object.
#pragma once

#include "runtime/CVrelLock.h"

namespace optivane {

class CVrelAutoLock {
public:
    explicit CVrelAutoLock(CVrelLock* lock) : m_lock(lock) { m_lock->Lock(); }
    virtual ~CVrelAutoLock() { m_lock->Unlock(); }
    CVrelAutoLock(const CVrelAutoLock&) = delete;
    CVrelAutoLock& operator=(const CVrelAutoLock&) = delete;

private:
    CVrelLock* m_lock;
};

}  // namespace optivane
