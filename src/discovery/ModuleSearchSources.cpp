#include "discovery/ModuleSearchSources.h"

#include <arv.h>

#include <exception>

#include "peak/CIdsPeakManager.h"
#include "platform/SharedLibrary.h"
#include "runtime/CDebugLog.h"
#include "runtime/CTimeUtil.h"
#include "smartphone/CSmartPhoneCamManager.h"
#include "virtualcam/CDummyCamManager.h"

namespace optivane {

namespace {

constexpr const char* kClassName = "COptivane";

}  // namespace

ModuleSearchSources::ModuleSearchSources(DllCreateInstanceFn factory) : m_factory(factory) {}

void ModuleSearchSources::FindPeakDevices(CIdsPeakManager& enumerator, std::vector<CameraDeviceInfo>& list) {
    m_peakStepRan = true;
    m_discoveriesBeforePeak = AravisDeviceList::Discoveries();
    std::vector<CameraDeviceInfo> found;
    enumerator.EnumerateDevices(found);
    list.insert(list.end(), found.begin(), found.end());
}

void ModuleSearchSources::FindAravisDevices(std::vector<AravisDeviceList::Entry>& list) {
    // Aravis's GObject types outlive an unloading of this module, so the
    // first search keeps Aravis loaded, as the first camera does.
    static const bool aravisPinned =
        platform::SharedLibrary::PinLibraryContaining(reinterpret_cast<const void*>(&arv_camera_new));
    (void)aravisPinned;
    const bool reuse = m_peakStepRan;
    m_peakStepRan = false;
    const std::vector<AravisDeviceList::Entry> found =
        reuse ? AravisDeviceList::UpdateSince(m_discoveriesBeforePeak) : AravisDeviceList::Update();
    list.insert(list.end(), found.begin(), found.end());
}

void ModuleSearchSources::FindPhones(const std::string& address, std::vector<CameraDeviceInfo>& list) {
    const DllCreateInstanceFn factory = m_factory;
    CSmartPhoneCamManager phones([factory](IAravisCamera** camera) {
        return factory(CLSID_SmartPhoneCamera, IID_IAravisCamera, reinterpret_cast<void**>(camera));
    });
    if (FAILED(phones.FindDevices(address.c_str(), nullptr, list)))
        CDebugLog().Error(kClassName, "the phone search failed\n");
}

void ModuleSearchSources::FindVirtualCameras(std::vector<CameraDeviceInfo>& list) {
    CDummyCamManager sources;
    if (FAILED(sources.FindDevices(&list))) CDebugLog().Error(kClassName, "the virtual-camera search failed\n");
}

int64_t ModuleSearchSources::NowMicroseconds() { return CTimeUtil().NowMicroseconds(); }

}  // namespace optivane
