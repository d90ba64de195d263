#include "smartphone/CSmartPhoneCamCheckTask.h"

#include <string>

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
    // Cut to the record's field, as a host text of at most 15 characters always fits.
    const std::string id = std::string("SMPHCA") + "00" + m_host + ":" + std::to_string(m_port);
    CopyText(device.DeviceId, id.c_str());
    if (FAILED(camera->Open(&device))) return;
    CameraDeviceInfo record{};
    if (FAILED(camera->GetDeviceInfo(&record))) return;
    m_record = record;
    m_result = S_OK;
}

}  // namespace optivane
