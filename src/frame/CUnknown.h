// Reference counting and interface lookup shared by every component.
//
// The count starts at 0 and changes only atomically. Release of the last
// reference sets the count back to 1 before destroying the object, so a
// release during destruction cannot destroy it twice. The outward IUnknown
// slots of every interface forward to the outer unknown, which is the object
// itself when none was given (OPTIVANE_DECLARE_IUNKNOWN writes them).
#pragma once

#include <atomic>
#include <cstdint>

#include "frame/CBaseObject.h"
#include "frame/INonDelegatingUnknown.h"

namespace optivane {

class CUnknown : public INonDelegatingUnknown, public CBaseObject {
public:
    explicit CUnknown(IUnknown* outer);

    // Answers IID_IUnknown with the non-delegating unknown; E_NOINTERFACE for
    // everything else. Classes answer their own interface first and call this.
    HRESULT NonDelegatingQueryInterface(const IID& iid, void** object) override;
    ULONG NonDelegatingAddRef() override;
    ULONG NonDelegatingRelease() override;

    int32_t ReferenceCount() const { return m_refCount.load(std::memory_order_acquire); }

protected:
    // Stores an interface of this object through the out-pointer and adds a
    // reference through it (reaching the outer unknown).
    static HRESULT GetInterface(IUnknown* face, void** object);

    HRESULT OuterQueryInterface(const IID& iid, void** object);
    ULONG OuterAddRef();
    ULONG OuterRelease();

private:
    std::atomic<int32_t> m_refCount{0};
    IUnknown* m_outer;  // null: this object is its own outer unknown
};

}  // namespace optivane

// Outward IUnknown slots of a component class, forwarded to the outer unknown.
#define OPTIVANE_DECLARE_IUNKNOWN                                                                  \
    HRESULT QueryInterface(const IID& iid, void** object) override { return OuterQueryInterface(iid, object); } \
    ULONG AddRef() override { return OuterAddRef(); }                                              \
    ULONG Release() override { return OuterRelease(); }
