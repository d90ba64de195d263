#include "smartphone/CSmartPhoneCamCheckTask.h"

#include <cstdio>

#include "frame/ComPtr.h"
#include "frame/FixedText.h"

namespace optivane {

CSmartPhoneCamCheckTask::CSmartPhoneCamCheckTask(PhoneCameraFactory factory, const char* host, uint16_t port)
    : m_factory(std::move(factory)), m_port(port) {
    CopyText(m_host, host);
}

CSmartPhoneCamCheckTask::~CSmartPhoneCamCheckTask() { StopWorker(); }

void CSmartPhoneCamCheckTask::Run() {
    m_result = E_FAIL;
    ComPtr<IAravisCamera> camera;
    if (!m_factory || FAILED(m_factory(camera.Receive())) || !camera) return;
    CameraDeviceInfo device{};
    std::snprintf(device.DeviceId, sizeof device.DeviceId, "%s00%s:%d", "SMPHCA", m_host, static_cast<int>(m_port));
    if (FAILED(camera->Open(&device))) return;
    CameraDeviceInfo record{};
    if (FAILED(camera->GetDeviceInfo(&record))) return;
    m_record = record;
    m_result = S_OK;
}

}  // namespace optivane
