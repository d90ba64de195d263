// Per-thread COM initialisation. On POSIX a faithful stand-in: the first
// Initialize of a thread returns S_OK, nested ones S_FALSE, and every
// Uninitialize balances one successful Initialize.
#pragma once

#include "optivane/com.h"

namespace optivane::platform {

class ComApartment {
public:
    static HRESULT Initialize();
    static void Uninitialize();
    // Number of Initialize calls not yet balanced on the calling thread.
    static int Depth();
};

// Initialises COM for the scope of one thread body; uninitialises only when
// the initialisation returned exactly S_OK.
class ComScope {
public:
    ComScope() : m_status(ComApartment::Initialize()) {}
    ~ComScope() {
        if (m_status == S_OK) ComApartment::Uninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    HRESULT Status() const { return m_status; }

private:
    HRESULT m_status;
};

}  // namespace optivane::platform
