#include "virtualcam/CDummyCamCheckTask.h"

#include "frame/ComPtr.h"
#include "frame/FixedText.h"
#include "optivane/host_framework.h"
#include "platform/Ipv4Text.h"

namespace optivane {

CDummyCamCheckTask::CDummyCamCheckTask() : m_linquet(ModuleLoader::ForSibling("Linquet")) {}

CDummyCamCheckTask::~CDummyCamCheckTask() { StopWorker(); }

void CDummyCamCheckTask::SetTarget(const char* host, uint16_t port, uint32_t timeoutMs) {
    CopyText(m_host, host);
    m_port = port;
    m_timeoutMs = timeoutMs;
    m_result = E_FAIL;
}

void CDummyCamCheckTask::Run() {
    uint32_t address = 0;
    if (!platform::Ipv4Text::Parse(m_host, &address)) address = 0;
    m_result = E_FAIL;
    if (m_linquet.Entry() == nullptr) return;
    ComPtr<ITcpConnection> connection;
    if (FAILED(m_linquet.CreateInstance(CLSID_TcpConnection, IID_ITcpConnection, connection.ReceiveVoid()))) return;
    const NetTimeout timeout = {static_cast<int32_t>(m_timeoutMs / 1000), static_cast<int32_t>(m_timeoutMs % 1000 * 1000)};
    if (SUCCEEDED(connection->Init()) && SUCCEEDED(connection->Connect(0, 0, m_port, address, &timeout))) {
        m_result = S_OK;
    }
    connection->Disconnect();
    connection->Uninit();
}

}  // namespace optivane
