#include "frame/CUnknown.h"

namespace optivane {

CUnknown::CUnknown(IUnknown* outer) : m_outer(outer != nullptr ? outer : &m_nonDelegating) {}

HRESULT CUnknown::NonDelegatingQueryInterface(const IID& iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (iid == IID_IUnknown) {
        *object = static_cast<IUnknown*>(&m_nonDelegating);
        NonDelegatingAddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

ULONG CUnknown::NonDelegatingAddRef() {
    const int32_t count = m_refCount.fetch_add(1, std::memory_order_acq_rel) + 1;
    return static_cast<ULONG>(count > 1 ? count : 1);
}

ULONG CUnknown::NonDelegatingRelease() {
    const int32_t before = m_refCount.fetch_sub(1, std::memory_order_acq_rel);
    if (before == 1) {
        m_refCount.store(1, std::memory_order_release);
        delete static_cast<CBaseObject*>(this);
        return 0;
    }
    const int32_t after = before - 1;
    return static_cast<ULONG>(after > 1 ? after : 1);
}

HRESULT CUnknown::GetInterface(IUnknown* face, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = face;
    face->AddRef();
    return S_OK;
}

HRESULT CUnknown::OuterQueryInterface(const IID& iid, void** object) { return m_outer->QueryInterface(iid, object); }

ULONG CUnknown::OuterAddRef() { return m_outer->AddRef(); }

ULONG CUnknown::OuterRelease() { return m_outer->Release(); }

}  // namespace optivane
