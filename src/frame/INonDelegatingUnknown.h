// The object's own QueryInterface/AddRef/Release, which the outward IUnknown
// slots reach through the outer unknown.
#pragma once

#include "optivane/com.h"

namespace optivane {

struct INonDelegatingUnknown {
    virtual HRESULT NonDelegatingQueryInterface(const IID& iid, void** object) = 0;
    virtual ULONG NonDelegatingAddRef() = 0;
    virtual ULONG NonDelegatingRelease() = 0;
};

}  // namespace optivane
