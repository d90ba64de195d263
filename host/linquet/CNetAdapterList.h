// This computer's IPv4 addresses, for the Linquet module (CLSID_NetAdapterList).
// The list is read at creation (creation fails when the system cannot list
// them) and again on Refresh; a failed Refresh keeps the previous list.
// Calls may come from any thread; the list has its own lock.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "frame/CUnknown.h"
#include "optivane/host_framework.h"

namespace optivane {

class CNetAdapterList : public INetAdapterList, public CUnknown {
public:
    static CUnknown* CreateInstance(IUnknown* outer, HRESULT* status);

    OPTIVANE_DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(const IID& iid, void** object) override;

    HRESULT Refresh() override;
    HRESULT GetLocalAddresses(uint16_t* count, uint32_t* addresses) override;

private:
    explicit CNetAdapterList(IUnknown* outer);

    std::mutex m_lock;                 // guards m_addresses
    std::vector<uint32_t> m_addresses;  // host byte order, at most 255
};

}  // namespace optivane
