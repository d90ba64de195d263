// A module whose factory has no classes at all: what a host meets when the
// libOptivane.so beside it was built without the camera it asks for.
#include "optivane/optivane.h"

OPTIVANE_EXPORT HRESULT DllCreateInstance(const CLSID& classId, const IID& interfaceId, void** object) {
    if (object == nullptr) return E_POINTER;
    return CLASS_E_CLASSNOTAVAILABLE;
}
