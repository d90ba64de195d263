// A pool of images (CLSID_FrameImage) or raw samples (CLSID_RawSample) that
// hands out idle ones (CLSID_SamplePool).
//
// A member is idle when no one holds it (hold count 0) and no reference but
// the pool's own remains. Take claims an idle member (hold count 1) and adds
// one reference for the caller; the caller gives it back with Done, then
// Release. Members that were released without Done stay out of use until
// Clear. The pool never waits: with no idle member, Take fails at once.
//
// Ownership: the pool keeps one reference to each member until Clear or its
// destruction; members in use live on with their users. An object belongs to
// at most one pool at a time.
// Threads: every operation may be called from any thread; the member list is
// guarded by the pool's own mutex. Take, GetCounts and the return of members
// do not allocate.
#pragma once

#include <mutex>
#include <vector>

#include "IPoolMember.h"
#include "frame/CUnknown.h"
#include "optivane/host_framework.h"

namespace optivane {

class CSamplePool : public ISamplePool, public CUnknown {
public:
    // Never aggregated, like every object of this library.
    static CUnknown* CreateInstance(IUnknown* outer, HRESULT* status);
    ~CSamplePool() override;

    OPTIVANE_DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(const IID& iid, void** object) override;

    // E_POINTER for null; E_INVALIDARG for an object that is not a pooled
    // object of this library or already belongs to a pool; E_OUTOFMEMORY.
    HRESULT Add(IUnknown* object) override;
    // E_POINTER for a null out-pointer; E_FAIL and null when none is idle.
    HRESULT Take(IUnknown** object) override;
    HRESULT GetCounts(uint32_t* total, uint32_t* idle) override;
    HRESULT Clear() override;

private:
    struct Member {
        IUnknown* given;       // the pointer passed to Add, handed out by Take
        IPoolMember* member;   // the same object; carries the pool's reference
    };

    CSamplePool();
    static bool IsIdle(const IPoolMember& member);

    std::mutex m_mutex;
    std::vector<Member> m_members;  // guarded by m_mutex
};

}  // namespace optivane
