// The Mirvale module's exported entry and its class table.
#include "frame/ComponentTable.h"
#include "host/mirvale/CFrameReceiver.h"

namespace optivane {
namespace {

const ComponentTableRow kMirvaleClasses[] = {
    {"Frame Receiver", &CLSID_FrameReceiver, &CFrameReceiver::CreateInstance},
};

}  // namespace
}  // namespace optivane

OPTIVANE_EXPORT HRESULT DllCreateInstance(const CLSID& classId, const IID& interfaceId, void** object) {
    return optivane::CreateFromTable(optivane::kMirvaleClasses, classId, interfaceId, object);
}
