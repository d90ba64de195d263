// Reference counting and interface lookup shared by every component.
//
// The count starts at 0 and changes only atomically. Release of the last
// reference sets the count back to 1 before destroying the object, so a
// release during destruction cannot destroy it twice. The outward IUnknown
// slots of every interface forward to the outer unknown, which is the object's
// own non-delegating unknown when none was given (OPTIVANE_DECLARE_IUNKNOWN
// writes them).
//
// The non-delegating unknown handed out for IID_IUnknown is a real IUnknown
// (a small member object whose three slots reach the NonDelegating
// operations), so that callers may use it through IUnknown without relying on
// two unrelated interfaces sharing a layout.
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
    class NonDelegatingFace final : public IUnknown {
    public:
        explicit NonDelegatingFace(CUnknown* owner) : m_owner(owner) {}
        HRESULT QueryInterface(const IID& iid, void** object) override {
            return m_owner->NonDelegatingQueryInterface(iid, object);
        }
        ULONG AddRef() override { return m_owner->NonDelegatingAddRef(); }
        ULONG Release() override { return m_owner->NonDelegatingRelease(); }

    private:
        CUnknown* m_owner;
    };

    std::atomic<int32_t> m_refCount{0};
    NonDelegatingFace m_nonDelegating{this};
    IUnknown* m_outer;  // the given outer unknown, or m_nonDelegating
};

}  // namespace optivane

// Outward IUnknown slots of a component class, forwarded to the outer unknown.
#define OPTIVANE_DECLARE_IUNKNOWN                                                                  \
    HRESULT QueryInterface(const IID& iid, void** object) override { return OuterQueryInterface(iid, object); } \
    ULONG AddRef() override { return OuterAddRef(); }                                              \
    ULONG Release() override { return OuterRelease(); }
