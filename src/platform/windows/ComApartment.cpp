#include "platform/ComApartment.h"

#include <objbase.h>

namespace optivane::platform {

namespace {
// CoInitialize keeps its own count; this one only answers Depth.
thread_local int t_depth = 0;
}  // namespace

HRESULT ComApartment::Initialize() {
    const HRESULT status = static_cast<HRESULT>(CoInitialize(nullptr));
    if (status == S_OK || status == S_FALSE) ++t_depth;
    return status;
}

void ComApartment::Uninitialize() {
    if (t_depth == 0) return;
    --t_depth;
    CoUninitialize();
}

int ComApartment::Depth() { return t_depth; }

}  // namespace optivane::platform
