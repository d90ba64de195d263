#include "smartphone/CPhoneLink.h"

#include <algorithm>

#include "smartphone/PhoneCommands.h"

namespace optivane::phone {

bool CPhoneLink::Within(uint32_t limitMs, Deadline deadline, NetTimeout& timeout) {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    const int64_t micros = std::min<int64_t>(int64_t{limitMs} * 1000, left.count());
    timeout.Seconds = static_cast<int32_t>(micros / 1000000);
    timeout.Microseconds = static_cast<int32_t>(micros % 1000000);
    return true;
}

HRESULT CPhoneLink::Connect(uint32_t address, uint16_t port) {
    const NetTimeout timeout{static_cast<int32_t>(m_timings.connectMs / 1000),
                             static_cast<int32_t>(m_timings.connectMs % 1000 * 1000)};
    return m_connection.Connect(0, 0, port, address, &timeout);
}

HRESULT CPhoneLink::Send(const std::string& command, Deadline deadline) {
    NetTimeout timeout{};
    if (!Within(m_timings.sendMs, deadline, timeout)) return LINQUET_E_TIMEDOUT;
    size_t sent = 0;
    return m_connection.Send(command.data(), command.size(), &sent, &timeout);
}

HRESULT CPhoneLink::Receive(char* buffer, size_t capacity, size_t* received, uint32_t limitMs, Deadline deadline) {
    NetTimeout timeout{};
    if (!Within(limitMs, deadline, timeout)) return LINQUET_E_TIMEDOUT;
    *received = 0;
    const HRESULT status = m_connection.Receive(buffer, capacity, received, &timeout);
    if (SUCCEEDED(status) && (*received == 0 || *received > capacity)) return E_FAIL;
    return status;
}

HRESULT CPhoneLink::QueryCapabilities(CapabilityReply& reply) {
    const Deadline deadline = After(m_timings.queryDeadlineMs);
    HRESULT status = Send(SearchCommand(), deadline);
    if (FAILED(status)) return status;
    char buffer[CapabilityReply::kReceiveSize];
    size_t received = 0;
    status = Receive(buffer, sizeof buffer, &received, m_timings.queryReceiveMs, deadline);
    if (FAILED(status)) return status;
    return reply.Accept(buffer, received);
}

HRESULT CPhoneLink::Capture(ImageReplyReader& reader) {
    const Deadline deadline = After(m_timings.imageDeadlineMs);
    HRESULT status = Send(CaptureCommand(), deadline);
    while (SUCCEEDED(status)) {
        size_t received = 0;
        status = Receive(reader.Space(), reader.Room(), &received, m_timings.captureReceiveMs, deadline);
        if (FAILED(status)) break;
        const ImageReplyReader::Progress progress = reader.Received(received);
        if (progress == ImageReplyReader::Progress::Complete) return S_OK;
        if (progress == ImageReplyReader::Progress::Failed) return E_FAIL;
    }
    return status;
}

HRESULT CPhoneLink::Setup(const std::string& command) {
    const Deadline deadline = After(m_timings.statusReceiveMs + m_timings.sendMs);
    HRESULT status = Send(command, deadline);
    if (FAILED(status)) return status;
    char buffer[1024];
    size_t received = 0;
    status = Receive(buffer, sizeof buffer, &received, m_timings.statusReceiveMs, deadline);
    if (FAILED(status)) return status;
    return received >= 2 && buffer[0] == 'O' && buffer[1] == 'K' ? S_OK : E_FAIL;
}

}  // namespace optivane::phone
