#include "discovery/COptivane.h"

#include <cstring>
#include <exception>
#include <new>

#include "discovery/CameraKindRule.h"
#include "discovery/ModuleSearchSources.h"
#include "frame/FixedText.h"
#include "platform/SharedLibrary.h"
#include "runtime/CDebugLog.h"
#include "runtime/CVrelAutoLock.h"

namespace optivane {

namespace {

constexpr const char* kClassName = "COptivane";

template <size_t N>
bool SameText(const char (&left)[N], const char (&right)[N]) {
    return std::strncmp(left, right, N) == 0;
}

// An id cut to the field would name no device, so a long one is replaced by
// another name Aravis opens: "vendor-serial", else the address.
std::string OpenableId(const AravisDeviceList::Entry& entry) {
    constexpr size_t kRoom = sizeof(CameraDeviceInfo::DeviceId) - 1;
    if (entry.id.size() <= kRoom) return entry.id;
    const std::string vendorSerial = entry.vendor + "-" + entry.serial;
    if (!entry.vendor.empty() && !entry.serial.empty() && vendorSerial.size() <= kRoom) return vendorSerial;
    return entry.address;
}

// Runs one source; a source that throws leaves its list as far as it got.
template <typename Step>
void Guarded(const char* source, Step step) {
    try {
        step();
    } catch (const std::exception& error) {
        CDebugLog().Error(kClassName, "%s search: %s\n", source, error.what());
    }
}

}  // namespace

CUnknown* COptivane::CreateInstance(IUnknown* outer, HRESULT* status, DllCreateInstanceFn factory) {
    std::unique_ptr<DiscoverySources> sources(new (std::nothrow) ModuleSearchSources(factory));
    if (!sources) {
        *status = E_OUTOFMEMORY;
        return nullptr;
    }
    return CreateInstance(outer, status, factory, std::move(sources));
}

CUnknown* COptivane::CreateInstance(IUnknown* outer, HRESULT* status, DllCreateInstanceFn factory,
                                    std::unique_ptr<DiscoverySources> sources) {
    COptivane* created = new (std::nothrow) COptivane(outer, factory, std::move(sources));
    if (created == nullptr) *status = E_OUTOFMEMORY;
    return created;
}

COptivane::COptivane(IUnknown* outer, DllCreateInstanceFn factory, std::unique_ptr<DiscoverySources> sources)
    : CUnknown(outer), m_factory(factory), m_sources(std::move(sources)) {
    // Without it the manager works all the same; IDS peak devices are then
    // not found.
    if (FAILED(m_factory(CLSID_PeakSdkManager, IID_IPeakSdkManager, m_peakSdk.ReceiveVoid()))) m_peakSdk.Reset();
}

COptivane::~COptivane() {
    {
        CVrelAutoLock lock(&m_lock);
        m_released = true;
    }
    {
        CVrelAutoLock thread(&m_threadLock);
        RetireThread();
    }
    CVrelAutoLock lock(&m_peakLock);
    m_enumerator.reset();
}

void COptivane::RetireThread() {
    if (!HasThread()) return;
    if (IsOwnThread()) {
        // The thread still returns through this module's code after the host
        // may have released the manager and unloaded the module: keep the
        // code loaded for the rest of the process.
        platform::SharedLibrary::PinLibraryContaining(reinterpret_cast<const void*>(&OpenableId));
        LetGo();
    } else {
        Stop();
    }
}

HRESULT COptivane::NonDelegatingQueryInterface(const IID& iid, void** object) {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IOptivane) return GetInterface(static_cast<IOptivane*>(this), object);
    return CUnknown::NonDelegatingQueryInterface(iid, object);
}

HRESULT COptivane::Initialize() {
    CVrelAutoLock lock(&m_lock);
    if (m_state != State::Created) return E_FAIL;
    {
        CVrelAutoLock peak(&m_peakLock);
        m_enumerator.reset(new (std::nothrow) CIdsPeakManager());
        if (!m_enumerator) return E_OUTOFMEMORY;
    }
    // No search has run: the state refuses StartSearch until now.
    m_probed = false;
    m_lastSearchEnd = 0;
    m_stored = Found();
    m_state = State::Initialized;
    return S_OK;
}

HRESULT COptivane::Uninitialize() {
    CVrelAutoLock peak(&m_peakLock);
    m_enumerator.reset();
    return S_OK;
}

HRESULT COptivane::StartSearch(IDeviceSearchCallback* callback, void* context, const char* address) {
    {
        CVrelAutoLock lock(&m_lock);
        if (m_state != State::Initialized || m_searching) return E_FAIL;
        if (callback == nullptr) return E_POINTER;
        try {
            m_address = address != nullptr ? address : "";
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        m_callback = callback;
        m_context = context;
        m_searching = true;
    }
    // The previous search has reported (its flag is clear); only this caller
    // gets here until the new search ends.
    CVrelAutoLock thread(&m_threadLock);
    RetireThread();
    if (Start()) return S_OK;
    CVrelAutoLock lock(&m_lock);
    m_searching = false;
    return E_FAIL;
}

HRESULT COptivane::CreateCamera(const CameraDeviceInfo* device, IAravisCamera** camera) {
    if (device == nullptr || camera == nullptr) return E_POINTER;
    const CLSID& kind = CameraKindRule::ClassOf(CameraKindRule::Of(*device));
    ComPtr<IAravisCamera> created;
    const HRESULT made = m_factory(kind, IID_IAravisCamera, created.ReceiveVoid());
    if (FAILED(made)) return made;
    if (!created) return E_FAIL;
    const HRESULT opened = created->Open(device);
    // A camera that did not open goes with created.
    if (FAILED(opened)) return opened;
    *camera = created.Detach();
    return opened;
}

void COptivane::Run() {
    std::string address;
    {
        CVrelAutoLock lock(&m_lock);
        address = m_address;
    }
    std::vector<CameraDeviceInfo> records;
    Guarded("the", [&] { records = Search(address); });
    IDeviceSearchCallback* callback = nullptr;
    void* context = nullptr;
    {
        CVrelAutoLock lock(&m_lock);
        if (!m_released) callback = m_callback;
        context = m_context;
        m_searching = false;
    }
    if (callback != nullptr)
        callback->OnDevicesFound(0, context, records.empty() ? nullptr : records.data(),
                                 static_cast<int32_t>(records.size()));
    // Nothing of this object from here: the callback may have started the
    // next search or released the manager.
}

std::vector<CameraDeviceInfo> COptivane::Search(const std::string& address) {
    const int64_t now = m_sources->NowMicroseconds();
    // Signed: a clock set back keeps the stored records until it passes the
    // window again.
    if (!m_probed || now - m_lastSearchEnd >= kReuseMicroseconds) {
        m_stored = Found();
        Probe(address, &m_stored);
        m_lastSearchEnd = m_sources->NowMicroseconds();
        m_probed = true;
    }
    std::vector<CameraDeviceInfo> records;
    for (const auto* group : {&m_stored.peak, &m_stored.aravis, &m_stored.phones, &m_stored.virtualCameras})
        records.insert(records.end(), group->begin(), group->end());
    return records;
}

void COptivane::Probe(const std::string& address, Found* found) {
    {
        CVrelAutoLock peak(&m_peakLock);
        if (m_enumerator) Guarded("IDS peak", [&] { m_sources->FindPeakDevices(*m_enumerator, found->peak); });
    }
    Guarded("Aravis", [&] { AddAravisDevices(found->peak, &found->aravis); });
    Guarded("phone", [&] { m_sources->FindPhones(address, found->phones); });
    if (found->peak.empty() && found->aravis.empty() && found->phones.empty())
        Guarded("virtual-camera", [&] { m_sources->FindVirtualCameras(found->virtualCameras); });
}

void COptivane::AddAravisDevices(const std::vector<CameraDeviceInfo>& peak, std::vector<CameraDeviceInfo>* aravis) {
    std::vector<AravisDeviceList::Entry> entries;
    m_sources->FindAravisDevices(entries);
    for (const AravisDeviceList::Entry& entry : entries) {
        // Aravis gave no identifier for this index.
        if (entry.id.empty()) continue;
        CameraDeviceInfo record{};
        CopyText(record.DeviceId, OpenableId(entry).c_str());
        CopyText(record.IpAddress, entry.address.c_str());
        CopyText(record.VendorName, entry.vendor.c_str());
        CopyText(record.ModelName, entry.model.c_str());
        CopyText(record.SerialNumber, entry.serial.c_str());
        bool servedAsPeak = false;
        for (const CameraDeviceInfo& known : peak) {
            if (SameText(known.IpAddress, record.IpAddress) && SameText(known.ModelName, record.ModelName))
                servedAsPeak = true;
        }
        if (!servedAsPeak) aravis->push_back(record);
    }
}

}  // namespace optivane
