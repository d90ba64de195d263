// A simulated phone running the camera application: answers the search,
// capture and setup commands on one address and port, serving connections
// at once, and logs on stdout what it received.
//
// Threads: Run (the caller's thread) accepts connections until stop is set;
// each connection has its own thread, joined when Run returns. m_logLock
// guards stdout and the counters of replies; m_active counts exchanges in
// progress (command received, last bytes of the reply not yet handed to the
// socket) to report overlaps.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "PhoneFaults.h"
#include "platform/TcpSocket.h"

namespace optivane::tool {

struct PhoneIdentity {
    std::string model = "Pixel Sim";
    std::string manufacture = "Optivane";
    std::string serial = "SIM0001";
    std::string exposureRange = "[16666666,1000000000]";
    std::string isoRange = "[100,6400]";
    uint32_t width = 640;
    uint32_t height = 480;
    uint32_t captureDelayMs = 0;
};

class FakePhone {
public:
    FakePhone(PhoneIdentity identity, PhoneFaults faults) : m_identity(std::move(identity)), m_faults(std::move(faults)) {}

    // Listens on address:port (host order) and serves until stop becomes
    // non-zero; false when it cannot listen.
    bool Run(uint32_t address, uint16_t port, const std::atomic<int>& stop);

private:
    void Serve(platform::TcpSocket connection, const std::atomic<int>& stop);
    // Answers one command line; false when the connection is to end.
    bool Answer(platform::TcpSocket& connection, const std::string& command, const std::atomic<int>& stop);
    bool SendCapabilities(platform::TcpSocket& connection, bool faulty);
    bool SendImage(platform::TcpSocket& connection, bool faulty, const std::atomic<int>& stop);
    std::string CapabilityDocument(bool faulty) const;
    std::vector<unsigned char> Photograph(uint32_t number) const;
    void Log(const std::string& line);

    const PhoneIdentity m_identity;
    const PhoneFaults m_faults;
    std::mutex m_logLock;
    uint32_t m_searches = 0;  // under m_logLock
    uint32_t m_captures = 0;  // under m_logLock
    std::atomic<int> m_active{0};
};

}  // namespace optivane::tool
