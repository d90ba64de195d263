// The module's exported entry and its class table: one row per class, so a
// new kind of camera joins here and nowhere else.
#include "aravis/CAravisCamera.h"
#include "discovery/COptivane.h"
#include "frame/ComponentTable.h"
#include "optivane/optivane.h"
#include "peak/CIdsPeakCamera.h"
#include "peak/CPeakSdkManager.h"
#include "virtualcam/CDummyCamera.h"
#include "smartphone/CSmartPhoneCamera.h"

namespace optivane {
namespace {

// The manager makes its cameras and the peak SDK manager through this same
// entry.
CUnknown* CreateOptivane(IUnknown* outer, HRESULT* status) {
    return COptivane::CreateInstance(outer, status, &DllCreateInstance);
}

// A row without a creation routine answers CLASS_E_CLASSNOTAVAILABLE until
// its class is built.
const ComponentTableRow kOptivaneClasses[] = {
    {"Aravis Camera", &CLSID_AravisCamera, &CAravisCamera::CreateInstance},
    {"Optivane", &CLSID_Optivane, &CreateOptivane},
    {"Dummy Camera", &CLSID_DummyCamera, &CDummyCamera::CreateInstance},
    {"SmartPhone Camera", &CLSID_SmartPhoneCamera, &CSmartPhoneCamera::CreateInstance},
    {"IDS Peak Camera", &CLSID_IdsPeakCamera, &::CIdsPeakCamera::CreateInstance},
    {"Peak SDK Manager", &CLSID_PeakSdkManager, &CPeakSdkManager::CreateInstance},
};

}  // namespace
}  // namespace optivane

OPTIVANE_EXPORT HRESULT DllCreateInstance(const CLSID& classId, const IID& interfaceId, void** object) {
    return optivane::CreateFromTable(optivane::kOptivaneClasses, classId, interfaceId, object);
}
