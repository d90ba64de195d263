#include "peak/CPeakSdkManager.h"

#include <algorithm>
#include <mutex>
#include <new>

#include "peak/CIdsPeakCamera.h"
#include "peak/PeakRestartLock.h"
#include "peak/sdk/Library.h"
#include "runtime/CVrelAutoLock.h"

namespace optivane {

namespace {

// Guards the instance pointer, creation and the last release.
std::recursive_mutex g_singletonLock;
CPeakSdkManager* g_instance = nullptr;  // under g_singletonLock

}  // namespace

CUnknown* CPeakSdkManager::CreateInstance(IUnknown* outer, HRESULT* status) {
    std::lock_guard<std::recursive_mutex> guard(g_singletonLock);
    if (g_instance != nullptr) return g_instance;
    CPeakSdkManager* created = new (std::nothrow) CPeakSdkManager(outer);
    if (created == nullptr) {
        *status = E_OUTOFMEMORY;
        return nullptr;
    }
    g_instance = created;
    return created;
}

CPeakSdkManager::CPeakSdkManager(IUnknown* outer) : CUnknown(outer) { peak::Library::Initialize(); }

CPeakSdkManager::~CPeakSdkManager() {
    std::lock_guard<std::recursive_mutex> guard(g_singletonLock);
    if (g_instance == this) g_instance = nullptr;
    try {
        peak::Library::Close();
    } catch (const std::exception&) {
        // Closed already by someone else's count: nothing left to close.
    }
}

ULONG CPeakSdkManager::NonDelegatingRelease() {
    std::lock_guard<std::recursive_mutex> guard(g_singletonLock);
    return CUnknown::NonDelegatingRelease();
}

HRESULT CPeakSdkManager::NonDelegatingQueryInterface(const IID& iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IPeakSdkManager) return GetInterface(static_cast<IPeakSdkManager*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

HRESULT CPeakSdkManager::RegisterCamera(CIdsPeakCamera* camera) {
    CVrelAutoLock lock(&m_lock);
    if (std::find(m_cameras.begin(), m_cameras.end(), camera) != m_cameras.end()) return S_FALSE;
    m_cameras.push_back(camera);
    return S_OK;
}

HRESULT CPeakSdkManager::UnregisterCamera(CIdsPeakCamera* camera) {
    CVrelAutoLock lock(&m_lock);
    auto found = std::find(m_cameras.begin(), m_cameras.end(), camera);
    if (found != m_cameras.end()) m_cameras.erase(found);
    return S_OK;
}

HRESULT CPeakSdkManager::ReinitializeSdk() {
    CVrelAutoLock restart(&PeakRestartLock::Instance());
    CVrelAutoLock lock(&m_lock);
    for (CIdsPeakCamera* camera : m_cameras) camera->ReleaseDevice();
    try {
        peak::Library::Close();
    } catch (const std::exception&) {
        // Nothing was open: initialising again is all there is to do.
    }
    peak::Library::Initialize();
    // A camera that does not come back stays lost and retries by itself.
    for (CIdsPeakCamera* camera : m_cameras) camera->ReOpenDevice();
    return S_OK;
}

}  // namespace optivane
