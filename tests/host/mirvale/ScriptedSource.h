// A frame source scripted by a test: listens on 127.0.0.1 at a free port and
// runs the session function with each accepted connection in turn, on one
// thread, until destroyed. Helpers speak protocol version 1 byte-exactly
// through the shared codec, or send whatever bytes a test wants.
#pragma once

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "host/mirvale/protocol/MirvaleProtocol.h"
#include "platform/TcpListener.h"

namespace optivane::test {

constexpr uint32_t kLoopback = 0x7F000001u;

class ScriptedSource {
public:
    using Session = std::function<void(platform::TcpSocket& peer, int connection)>;

    explicit ScriptedSource(Session session, uint16_t port = 0) {
        if (!m_listener.Listen(kLoopback, port, 8)) return;
        m_thread = std::thread([this, session = std::move(session)] {
            for (int connection = 0; !m_stop; ) {
                platform::TcpSocket peer;
                if (m_listener.Accept(&peer, 20000) == platform::TcpSocket::Result::Ok) session(peer, connection++);
            }
        });
    }
    ~ScriptedSource() { Stop(); }
    void Stop() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        m_listener.Close();
    }
    uint16_t Port() const { return m_listener.Port(); }
    bool Stopping() const { return m_stop; }

    // Reads the receiver's Hello (fixed for one version) and answers Welcome.
    static bool Greet(platform::TcpSocket& peer, uint32_t width = 8, uint32_t height = 4) {
        return ReadBytes(peer, mirvale::kHeaderSize + 4) &&
               Send(peer, Bytes(mirvale::EncodeWelcome({1, mirvale::kFormatBgr24, width, height, 30, 1})));
    }
    // One request's mode (0 when none came).
    static uint32_t ReadRequest(platform::TcpSocket& peer) {
        std::vector<uint8_t> bytes(mirvale::kHeaderSize + mirvale::kRequestSize);
        if (!ReadInto(peer, bytes.data(), bytes.size())) return 0;
        return bytes[12] | (bytes[13] << 8);
    }
    // A frame with the counter pattern: byte i of frame n is (n + i) mod 256.
    static std::vector<uint8_t> CounterFrame(uint64_t sequence, uint32_t width, uint32_t height) {
        const auto header = mirvale::EncodeFrameHeader({sequence, static_cast<int64_t>(sequence) * 33333, width, height});
        std::vector<uint8_t> bytes(header.begin(), header.end());
        for (uint64_t i = 0; i < mirvale::PictureBytes(width, height); ++i) bytes.push_back(static_cast<uint8_t>(sequence + i));
        return bytes;
    }
    static std::vector<uint8_t> Bytes(const mirvale::ControlMessage& m) {
        return std::vector<uint8_t>(m.data.begin(), m.data.begin() + m.size);
    }
    static bool Send(platform::TcpSocket& peer, const std::vector<uint8_t>& bytes) {
        return peer.SendAll(bytes.data(), bytes.size(), nullptr, 5000000) == platform::TcpSocket::Result::Ok;
    }
    static bool ReadInto(platform::TcpSocket& peer, uint8_t* to, size_t count) {
        for (size_t got = 0, done = 0; done < count; done += got) {
            if (peer.Receive(to + done, count - done, &got, 5000000) != platform::TcpSocket::Result::Ok) return false;
        }
        return true;
    }
    static bool ReadBytes(platform::TcpSocket& peer, size_t count) {
        std::vector<uint8_t> bytes(count);
        return ReadInto(peer, bytes.data(), count);
    }
    // Waits until the receiver closes its side (or the wait passes).
    static void AwaitClose(platform::TcpSocket& peer, int64_t microseconds = 5000000) {
        uint8_t byte = 0;
        size_t got = 0;
        while (peer.Receive(&byte, 1, &got, microseconds) == platform::TcpSocket::Result::Ok) {}
    }

private:
    platform::TcpListener m_listener;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace optivane::test
