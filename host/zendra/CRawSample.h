// A raw camera frame (CLSID_RawSample), made to live in a SamplePool. It
// starts without a buffer (capacity 0); Prepare makes a touched buffer of
// exactly the size asked for when the capacity is smaller, and never shrinks
// it, so frames up to the largest prepared so far never allocate: the owner
// of a pool prepares each sample once for its largest frame when it fills the
// pool, and the frame path after it pays for no fresh pages.
//
// Ownership: reference counted; the pool keeps one reference, each user one.
// Threads: the hold and reference counts may be changed from any thread; the
// buffer and its valid range are used by one holder at a time.
#pragma once

#include <atomic>
#include <cstdint>

#include "CHoldCount.h"
#include "IPoolMember.h"
#include "frame/CUnknown.h"
#include "optivane/host_framework.h"
#include "platform/TouchedMemory.h"

namespace optivane {

class CRawSample : public IRawSample, public IPoolMember, public CUnknown {
public:
    // Never aggregated: a pool reads the object's own reference count.
    static CUnknown* CreateInstance(IUnknown* outer, HRESULT* status);

    OPTIVANE_DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(const IID& iid, void** object) override;

    // IRawSample
    HRESULT GetHoldCount(uint32_t* holders) override;
    HRESULT Hold() override;
    HRESULT Done() override;
    // Grows the buffer (a new touched block) only when size exceeds the
    // capacity; E_OUTOFMEMORY (buffer kept) when it cannot. Forgets the valid
    // data in every case.
    HRESULT Prepare(uint32_t size) override;
    HRESULT GetBuffer(uint8_t** data, uint32_t* capacity) override;
    // E_INVALIDARG unless [data, data + size) lies inside the buffer; size 0
    // leaves no valid data.
    HRESULT SetData(const uint8_t* data, uint32_t size) override;
    HRESULT Reset() override;
    HRESULT GetData(uint8_t** data, uint32_t* size) override;

    // IPoolMember
    bool JoinPool() override;
    void LeavePool() override;
    int32_t MemberReferenceCount() const override;
    uint32_t MemberHoldCount() const override;
    bool ClaimHold() override;

private:
    CRawSample();

    CHoldCount m_holds;
    std::atomic<bool> m_inPool{false};
    platform::TouchedMemory m_buffer;
    // Valid data: offset and length inside m_buffer; length 0 means none.
    size_t m_validOffset = 0;
    uint32_t m_validSize = 0;
};

}  // namespace optivane
