#include "aravis/AravisDevice.h"

#include "aravis/AravisLibraryLock.h"
#include "frame/FixedText.h"
#include "runtime/CDebugLog.h"
#include "runtime/CVrelAutoLock.h"

namespace optivane {

namespace {

GObjectPtr<ArvCamera> MakeHandle(const std::string& id) {
    GErrorPtr error;
    GObjectPtr<ArvCamera> created;
    {
        CVrelAutoLock hold(&AravisLibraryLock::Instance());
        created = GObjectPtr<ArvCamera>::Adopt(arv_camera_new(id.c_str(), error.Out()));
    }
    if (error || !created) {
        CDebugLog().Trace("AravisDevice", "no device answers %s: %s\n", id.c_str(), error.Message());
        return {};
    }
    return created;
}

}  // namespace

std::string AravisDevice::Id() {
    CVrelAutoLock lock(&m_lock);
    return m_id;
}

GObjectPtr<ArvCamera> AravisDevice::Current() {
    CVrelAutoLock lock(&m_lock);
    return m_handle;
}

GObjectPtr<ArvCamera> AravisDevice::Install(GObjectPtr<ArvCamera> created) {
    CVrelAutoLock lock(&m_lock);
    if (!m_handle) m_handle = std::move(created);
    return m_handle;
}

HRESULT AravisDevice::Open(const std::string& id) {
    if (id.empty()) return E_FAIL;
    GObjectPtr<ArvCamera> created = MakeHandle(id);
    if (!created) return E_FAIL;
    GObjectPtr<ArvCamera> replaced;
    CVrelAutoLock lock(&m_lock);
    m_id = id;
    replaced = std::move(m_handle);
    m_handle = std::move(created);
    return S_OK;
}

HRESULT AravisDevice::Handle(GObjectPtr<ArvCamera>* handle) {
    *handle = Current();
    if (*handle) return S_OK;
    const std::string id = Id();
    if (id.empty()) return E_FAIL;
    // Making a handle takes time: outside the lock.
    GObjectPtr<ArvCamera> created = MakeHandle(id);
    if (!created) return E_FAIL;
    *handle = Install(std::move(created));
    return S_OK;
}

bool AravisDevice::Reconnect() {
    const std::string id = Id();
    if (id.empty()) return false;
    Release();
    GObjectPtr<ArvCamera> created = MakeHandle(id);
    if (!created) return false;
    Install(std::move(created));
    return true;
}

void AravisDevice::Release() {
    GObjectPtr<ArvCamera> old;
    CVrelAutoLock lock(&m_lock);
    old = std::move(m_handle);
    // The reference goes with old, after the lock: users that took their
    // own keep the handle alive.
}

void AravisDevice::Forget() {
    Release();
    CVrelAutoLock lock(&m_lock);
    m_id.clear();
}

HRESULT AravisDevice::ReadRecord(ArvCamera* device, CameraDeviceInfo* record) {
    GErrorPtr error;
    const char* id = arv_camera_get_device_id(device, error.Out());
    if (error || id == nullptr) {
        record->DeviceId[0] = '\0';
        return E_FAIL;
    }
    CopyText(record->DeviceId, id);

    const char* text = arv_camera_get_string(device, "DeviceUserID", error.Out());
    if (!error && text != nullptr) CopyText(record->DeviceUserId, text);
    text = arv_camera_get_vendor_name(device, error.Out());
    if (!error && text != nullptr) CopyText(record->VendorName, text);
    if (arv_camera_is_gv_device(device)) {
        GInetAddress* ip = nullptr;
        GInetAddressMask* mask = nullptr;
        GInetAddress* gateway = nullptr;
        arv_camera_gv_get_persistent_ip(device, &ip, &mask, &gateway, error.Out());
        const GObjectPtr<GInetAddress> ipOwner = GObjectPtr<GInetAddress>::Adopt(ip);
        const GObjectPtr<GInetAddressMask> maskOwner = GObjectPtr<GInetAddressMask>::Adopt(mask);
        const GObjectPtr<GInetAddress> gatewayOwner = GObjectPtr<GInetAddress>::Adopt(gateway);
        if (!error && ip != nullptr) {
            gchar* dotted = g_inet_address_to_string(ip);
            if (dotted != nullptr) CopyText(record->IpAddress, dotted);
            g_free(dotted);
        }
    }
    text = arv_camera_get_model_name(device, error.Out());
    if (!error && text != nullptr) CopyText(record->ModelName, text);
    text = arv_camera_get_device_serial_number(device, error.Out());
    if (!error && text != nullptr) CopyText(record->SerialNumber, text);
    gint lower = 0, upper = 0;
    arv_camera_get_width_bounds(device, &lower, &upper, error.Out());
    if (!error) record->WidthMax = static_cast<uint32_t>(upper);
    arv_camera_get_height_bounds(device, &lower, &upper, error.Out());
    if (!error) record->HeightMax = static_cast<uint32_t>(upper);
    return record->DeviceId[0] != '\0' ? S_OK : E_FAIL;
}

}  // namespace optivane
