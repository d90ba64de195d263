// libVideoTestZendra: the Zendra module beside it, except that after each sample
// pool one frame image is made, then E_OUTOFMEMORY: larger image pools cannot fill.
#include <mutex>

#include "frame/modules/ModuleLoader.h"
#include "optivane/host_framework.h"

namespace {
optivane::ModuleLoader g_zendra = optivane::ModuleLoader::ForSibling("Zendra");
std::mutex g_mutex;
int g_imagesSincePool = 0;
}  // namespace

OPTIVANE_EXPORT HRESULT DllCreateInstance(const CLSID& classId, const IID& interfaceId, void** object) {
    if (object == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (classId == CLSID_SamplePool) g_imagesSincePool = 0;
    if (classId == CLSID_FrameImage && ++g_imagesSincePool > 1) {
        *object = nullptr;
        return E_OUTOFMEMORY;
    }
    return g_zendra.CreateInstance(classId, interfaceId, object);
}
