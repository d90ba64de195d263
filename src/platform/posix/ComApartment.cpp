#include "platform/ComApartment.h"

namespace optivane::platform {

namespace {
// There is no COM library here; the count keeps CoInitialize's contract
// (S_OK first, S_FALSE nested, one Uninitialize per success) so that thread
// bodies behave as they do on Windows and tests can check the balance.
thread_local int t_depth = 0;
}  // namespace

HRESULT ComApartment::Initialize() {
    ++t_depth;
    return t_depth == 1 ? S_OK : S_FALSE;
}

void ComApartment::Uninitialize() {
    if (t_depth > 0) --t_depth;
}

int ComApartment::Depth() { return t_depth; }

}  // namespace optivane::platform
