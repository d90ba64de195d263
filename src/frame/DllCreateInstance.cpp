// The module's exported entry and its class table.
#include "aravis/CAravisCamera.h"
#include "frame/ComponentTable.h"
#include "optivane/optivane.h"

namespace optivane {

// Classes join the table as they are built; a row without a creation routine
// answers CLASS_E_CLASSNOTAVAILABLE.
const ComponentTableRow g_componentTable[6] = {
    {"Aravis Camera", &CLSID_AravisCamera, &CAravisCamera::CreateInstance},
    {"Optivane", &CLSID_Optivane, nullptr},
    {"Dummy Camera", &CLSID_DummyCamera, nullptr},
    {"SmartPhone Camera", &CLSID_SmartPhoneCamera, nullptr},
    {"IDS Peak Camera", &CLSID_IdsPeakCamera, nullptr},
    {"Peak SDK Manager", &CLSID_PeakSdkManager, nullptr},
};

}  // namespace optivane

OPTIVANE_EXPORT HRESULT DllCreateInstance(const CLSID& classId, const IID& interfaceId, void** object) {
    return optivane::CreateFromTable(optivane::g_componentTable, 6, classId, interfaceId, object);
}
