#include "host/linquet/CNetAdapterList.h"

#include <algorithm>
#include <new>

#include "platform/LocalAddresses.h"

namespace optivane {

static_assert(platform::LocalAddresses::kMaxCount <= UINT16_MAX, "the count travels as uint16");

CNetAdapterList::CNetAdapterList(IUnknown* outer) : CUnknown(outer) {}

CUnknown* CNetAdapterList::CreateInstance(IUnknown* outer, HRESULT* status) {
    CNetAdapterList* created = new (std::nothrow) CNetAdapterList(outer);
    if (created == nullptr) {
        *status = E_OUTOFMEMORY;
        return nullptr;
    }
    const HRESULT read = created->Refresh();
    if (FAILED(read)) *status = read;
    return created;
}

HRESULT CNetAdapterList::NonDelegatingQueryInterface(const IID& iid, void** object) {
    if (iid == IID_INetAdapterList) return GetInterface(static_cast<INetAdapterList*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

HRESULT CNetAdapterList::Refresh() {
    std::vector<uint32_t> addresses;
    if (!platform::LocalAddresses::Read(&addresses)) return E_FAIL;
    std::lock_guard<std::mutex> guard(m_lock);
    m_addresses.swap(addresses);
    return S_OK;
}

HRESULT CNetAdapterList::GetLocalAddresses(uint16_t* count, uint32_t* addresses) {
    if (count == nullptr || addresses == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> guard(m_lock);
    std::copy(m_addresses.begin(), m_addresses.end(), addresses);
    *count = static_cast<uint16_t>(m_addresses.size());
    return S_OK;
}

}  // namespace optivane
