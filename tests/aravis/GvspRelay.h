// A lossy link between a simulated camera and the host that streams from it:
// it takes over the camera's stream channel, so the camera sends its stream
// packets here, and passes them on to where the host asked for them, losing
// every payload packet while told to. A frame sent meanwhile reaches the host
// as its leader and trailer only, which no packet resend can mend.
//
// Threads: the relay's own thread (started by the constructor, joined by the
// destructor) moves the packets; the counters and the switch are atomic.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "aravis/FakeGvCamera.h"

namespace optivane::test {

class GvspRelay {
public:
    // Call once the host has opened its stream: that writes the destination
    // this relay then stands in for.
    explicit GvspRelay(FakeGvCamera& camera) : m_camera(camera) {
        m_destination.sin_family = AF_INET;
        m_destination.sin_addr.s_addr = htonl(camera.Read(kStreamAddress));
        m_destination.sin_port = htons(static_cast<uint16_t>(camera.Read(kStreamPort) & 0xFFFF));
        m_socket = socket(AF_INET, SOCK_DGRAM, 0);
        if (m_socket < 0) return;
        // Room for a whole frame's burst of packets (the system caps it).
        const int bufferBytes = 4 << 20;
        setsockopt(m_socket, SOL_SOCKET, SO_RCVBUF, &bufferBytes, sizeof bufferBytes);
        // Sent from the camera's own address, since the host takes stream packets from no other.
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(camera.Read(kCameraAddress));
        socklen_t length = sizeof local;
        if (bind(m_socket, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
            getsockname(m_socket, reinterpret_cast<sockaddr*>(&local), &length) != 0)
            return;
        m_savedPort = camera.Read(kStreamPort);
        camera.Write(kStreamAddress, ntohl(local.sin_addr.s_addr));
        camera.Write(kStreamPort, (m_savedPort & 0xFFFF0000u) | ntohs(local.sin_port));
        m_thread = std::thread([this] { Relay(); });
    }
    ~GvspRelay() {
        if (m_thread.joinable()) {
            m_camera.Write(kStreamAddress, ntohl(m_destination.sin_addr.s_addr));
            m_camera.Write(kStreamPort, m_savedPort);
            m_stopping = true;
            m_thread.join();
        }
        if (m_socket >= 0) close(m_socket);
    }
    GvspRelay(const GvspRelay&) = delete;
    GvspRelay& operator=(const GvspRelay&) = delete;

    bool IsRelaying() const { return m_thread.joinable(); }
    void LosePayload(bool losing) { m_losing = losing; }
    // Frames whose leader passed while their payload was lost.
    int DamagedFrames() const { return m_damagedFrames; }

private:
    // Bootstrap registers: the camera's address and its stream channel's destination.
    static constexpr uint32_t kCameraAddress = 0x24;
    static constexpr uint32_t kStreamPort = 0xD00;  // host port in the low 16 bits
    static constexpr uint32_t kStreamAddress = 0xD18;
    // Packet format, in the low bits of the fifth byte of every stream packet.
    static constexpr uint8_t kLeader = 1;
    static constexpr uint8_t kPayload = 3;

    void Relay() {
        uint8_t packet[9000];
        pollfd waiting{m_socket, POLLIN, 0};
        while (!m_stopping) {
            if (poll(&waiting, 1, 20) <= 0) continue;
            const ssize_t size = recv(m_socket, packet, sizeof packet, 0);
            if (size < 8) continue;
            const uint8_t format = packet[4] & 0x0F;
            const bool losing = m_losing;
            if (format == kLeader && losing) ++m_damagedFrames;
            if (format == kPayload && losing) continue;
            sendto(m_socket, packet, static_cast<size_t>(size), 0, reinterpret_cast<const sockaddr*>(&m_destination),
                   sizeof m_destination);
        }
    }

    FakeGvCamera& m_camera;
    sockaddr_in m_destination{};
    uint32_t m_savedPort = 0;
    int m_socket = -1;
    std::atomic<bool> m_losing{false};
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_damagedFrames{0};
    std::thread m_thread;
};

}  // namespace optivane::test
