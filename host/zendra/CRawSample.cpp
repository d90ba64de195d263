#include "CRawSample.h"

#include <functional>
#include <new>
#include <utility>

namespace optivane {

CRawSample::CRawSample() : CUnknown(nullptr) {}

CUnknown* CRawSample::CreateInstance(IUnknown* /*outer*/, HRESULT* status) {
    CRawSample* sample = new (std::nothrow) CRawSample();
    if (sample == nullptr) *status = E_OUTOFMEMORY;
    return sample;
}

HRESULT CRawSample::NonDelegatingQueryInterface(const IID& iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IRawSample) return GetInterface(static_cast<IRawSample*>(this), object);
    if (iid == IID_IPoolMember) return GetInterface(static_cast<IPoolMember*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

HRESULT CRawSample::GetHoldCount(uint32_t* holders) { return m_holds.Get(holders); }
HRESULT CRawSample::Hold() { return m_holds.Hold(); }
HRESULT CRawSample::Done() { return m_holds.Done(); }

HRESULT CRawSample::Prepare(uint32_t size) {
    Reset();
    if (size <= m_buffer.Size()) return S_OK;
    platform::TouchedMemory grown(size);
    if (grown.Data() == nullptr) return E_OUTOFMEMORY;
    m_buffer = std::move(grown);
    return S_OK;
}

HRESULT CRawSample::GetBuffer(uint8_t** data, uint32_t* capacity) {
    if (data == nullptr || capacity == nullptr) return E_POINTER;
    *data = m_buffer.Data();
    *capacity = static_cast<uint32_t>(m_buffer.Size());
    return S_OK;
}

HRESULT CRawSample::SetData(const uint8_t* data, uint32_t size) {
    const uint8_t* const begin = m_buffer.Data();
    const uint8_t* const end = begin + m_buffer.Size();
    // std::less orders any two pointers, also those into other blocks.
    const std::less<const uint8_t*> before;
    if (data == nullptr || before(data, begin) || before(end, data)) return E_INVALIDARG;
    const size_t offset = static_cast<size_t>(data - begin);
    if (size > m_buffer.Size() - offset) return E_INVALIDARG;
    m_validOffset = offset;
    m_validSize = size;
    return S_OK;
}

HRESULT CRawSample::Reset() {
    m_validOffset = 0;
    m_validSize = 0;
    return S_OK;
}

HRESULT CRawSample::GetData(uint8_t** data, uint32_t* size) {
    if (data == nullptr || size == nullptr) return E_POINTER;
    *data = m_validSize == 0 ? nullptr : m_buffer.Data() + m_validOffset;
    *size = m_validSize;
    return S_OK;
}

bool CRawSample::JoinPool() { return !m_inPool.exchange(true, std::memory_order_acq_rel); }
void CRawSample::LeavePool() { m_inPool.store(false, std::memory_order_release); }
int32_t CRawSample::MemberReferenceCount() const { return ReferenceCount(); }
uint32_t CRawSample::MemberHoldCount() const { return m_holds.Get(); }
bool CRawSample::ClaimHold() { return m_holds.Claim(); }

}  // namespace optivane
