// One exchange with a phone over a Linquet TCP connection: connect, then one
// or more commands each with its reply, then always disconnect (destructor).
//
// Every wait has its own limit (PhoneTimings) and is also cut to what is left
// of the exchange's overall deadline, so a phone trickling bytes cannot hold
// an exchange longer than that deadline. A reply past it fails with
// LINQUET_E_TIMEDOUT, as a receive that timed out does.
//
// Threads: used by one thread at a time; the camera holds its lock for the
// whole life of a link. The connection is borrowed, not owned.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "optivane/host_framework.h"
#include "smartphone/CapabilityReply.h"
#include "smartphone/ImageReplyReader.h"
#include "smartphone/PhoneTimings.h"

namespace optivane::phone {

class CPhoneLink {
public:
    CPhoneLink(ITcpConnection& connection, const PhoneTimings& timings) : m_connection(connection), m_timings(timings) {}
    ~CPhoneLink() { m_connection.Disconnect(); }
    CPhoneLink(const CPhoneLink&) = delete;
    CPhoneLink& operator=(const CPhoneLink&) = delete;

    // address in host byte order.
    HRESULT Connect(uint32_t address, uint16_t port);
    // The search command; the reply must arrive whole in one read.
    HRESULT QueryCapabilities(CapabilityReply& reply);
    // The capture command; the image reply read into buffer (reader's).
    HRESULT Capture(ImageReplyReader& reader);
    // A setup command; E_FAIL unless the reply starts with "OK".
    HRESULT Setup(const std::string& command);

private:
    using Deadline = std::chrono::steady_clock::time_point;

    HRESULT Send(const std::string& command, Deadline deadline);
    HRESULT Receive(char* buffer, size_t capacity, size_t* received, uint32_t limitMs, Deadline deadline);
    static Deadline After(uint32_t ms) { return std::chrono::steady_clock::now() + std::chrono::milliseconds(ms); }
    // The smaller of limitMs and the time left; false when none is left.
    static bool Within(uint32_t limitMs, Deadline deadline, NetTimeout& timeout);

    ITcpConnection& m_connection;
    const PhoneTimings m_timings;
};

}  // namespace optivane::phone
