#include "virtualcam/CDummyCamManager.h"

#include <cstdio>
#include <memory>
#include <new>

#include "frame/FixedText.h"
#include "virtualcam/CDummyCamCheckTask.h"

namespace optivane {

namespace {

constexpr uint16_t kFirstPort = 45000;
constexpr int kPorts = 10;
constexpr const char* kHost = "127.0.0.1";

}  // namespace

HRESULT CDummyCamManager::FindDevices(std::vector<CameraDeviceInfo>* devices) {
    if (devices == nullptr) return E_POINTER;
    std::unique_ptr<CDummyCamCheckTask> tasks[kPorts];
    for (int i = 0; i < kPorts; ++i) {
        tasks[i].reset(new (std::nothrow) CDummyCamCheckTask());
        if (!tasks[i]) continue;
        tasks[i]->SetTarget(kHost, static_cast<uint16_t>(kFirstPort + i), m_probeTimeoutMs);
        tasks[i]->Trigger();
    }
    for (int i = 0; i < kPorts; ++i) {
        if (!tasks[i]) continue;
        tasks[i]->WaitDone();
        if (tasks[i]->HasWorker() && SUCCEEDED(tasks[i]->Result())) {
            const int port = kFirstPort + i;
            CameraDeviceInfo record{};
            char text[32];
            std::snprintf(text, sizeof(text), "%s:%d", kHost, port);
            CopyText(record.DeviceId, text);
            CopyText(record.IpAddress, kHost);
            CopyText(record.VendorName, "Corvalent");
            CopyText(record.ModelName, "VirtualCamera");
            std::snprintf(text, sizeof(text), "%08d", port);
            CopyText(record.SerialNumber, text);
            try {
                devices->push_back(record);
            } catch (const std::bad_alloc&) {
                return E_OUTOFMEMORY;
            }
        }
        tasks[i].reset();
    }
    return S_OK;
}

}  // namespace optivane
