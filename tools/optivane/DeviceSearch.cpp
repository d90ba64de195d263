#include "DeviceSearch.h"

#include "HresultText.h"

namespace optivane::tool {

bool DeviceSearch::Prepare(const ModuleHost& host, std::string* error) {
    const HRESULT created = host.CreateInstance(CLSID_Optivane, IID_IOptivane, m_manager.ReceiveVoid());
    if (FAILED(created) || !m_manager) {
        *error = "cannot create the camera manager: " + HresultText::Describe(FAILED(created) ? created : E_POINTER);
        m_manager.Reset();
        return false;
    }
    const HRESULT initialized = m_manager->Initialize();
    if (FAILED(initialized)) {
        *error = "cannot start the camera manager: " + HresultText::Describe(initialized);
        m_manager.Reset();
        return false;
    }
    return true;
}

bool DeviceSearch::Run(const std::string& address, std::vector<CameraDeviceInfo>* records, std::string* error) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_done = false;
    }
    const HRESULT started = m_manager ? m_manager->StartSearch(this, nullptr, address.c_str()) : E_UNEXPECTED;
    if (FAILED(started)) {
        *error = "cannot search for cameras: " + HresultText::Describe(started);
        return false;
    }
    // A search ends by itself: its probes have time limits of their own.
    std::unique_lock<std::mutex> hold(m_lock);
    m_found.wait(hold, [this] { return m_done; });
    *records = m_records;
    return true;
}

HRESULT DeviceSearch::OnDevicesFound(int32_t, void*, const CameraDeviceInfo* records, int32_t count) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_records.assign(records, records + (count > 0 ? count : 0));
    m_done = true;
    m_found.notify_all();
    return S_OK;
}

}  // namespace optivane::tool
