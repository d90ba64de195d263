// libVideoTestZendra: the Zendra module beside it, except that raw samples
// fail with E_OUTOFMEMORY once a set number has been made. It keeps the
// first pool made so that a test can count what stayed in it.
#include <cstdint>
#include <mutex>

#include "frame/ComPtr.h"
#include "frame/modules/ModuleLoader.h"
#include "optivane/host_framework.h"

namespace {

// Declared first: destroyed last, after the pool it made.
optivane::ModuleLoader g_zendra = optivane::ModuleLoader::ForSibling("Zendra");
std::mutex g_mutex;
int32_t g_rawLimit = -1;
int32_t g_rawMade = 0;
optivane::ComPtr<ISamplePool> g_firstPool;

}  // namespace

OPTIVANE_EXPORT HRESULT DllCreateInstance(const CLSID& classId, const IID& interfaceId, void** object) {
    if (object == nullptr) return E_POINTER;
    std::lock_guard<std::mutex> lock(g_mutex);
    if (classId == CLSID_RawSample) {
        if (g_rawLimit >= 0 && g_rawMade >= g_rawLimit) {
            *object = nullptr;
            return E_OUTOFMEMORY;
        }
        ++g_rawMade;
    }
    const HRESULT status = g_zendra.CreateInstance(classId, interfaceId, object);
    if (SUCCEEDED(status) && classId == CLSID_SamplePool && interfaceId == IID_ISamplePool && !g_firstPool) {
        g_firstPool = optivane::ComPtr<ISamplePool>::Share(static_cast<ISamplePool*>(*object));
    }
    return status;
}

// Starts over: at most rawLimit raw samples (negative: no limit), no pool kept.
OPTIVANE_EXPORT void LimitedZendraReset(int32_t rawLimit) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_rawLimit = rawLimit;
    g_rawMade = 0;
    g_firstPool.Reset();
}

// The counts of the first pool made since the reset; E_FAIL when none was.
OPTIVANE_EXPORT HRESULT LimitedZendraFirstPoolCounts(uint32_t* total, uint32_t* idle) {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_firstPool) return E_FAIL;
    return g_firstPool->GetCounts(total, idle);
}
