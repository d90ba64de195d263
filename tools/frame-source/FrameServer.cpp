#include "FrameServer.h"

#include <chrono>
#include <cstring>
#include <iostream>
#include <list>
#include <memory>
#include <random>
#include <thread>

#include "FrameInput.h"
#include "host/mirvale/protocol/LittleEndian.h"
#include "host/mirvale/protocol/MessageReader.h"

namespace optivane::tool {

namespace {

using Clock = std::chrono::steady_clock;
using platform::TcpSocket;
using Event = mirvale::MessageReader::Event;
constexpr int64_t kPollMicroseconds = 20000;
constexpr int64_t kSendMicroseconds = 5000000;
constexpr auto kHelloWait = std::chrono::seconds(5);
constexpr auto kHeartbeat = std::chrono::milliseconds(mirvale::kHeartbeatIntervalMs);

bool Send(TcpSocket& socket, const void* data, size_t size) {
    return socket.SendAll(data, size, nullptr, kSendMicroseconds) == TcpSocket::Result::Ok;
}

// Reads what has arrived (waiting at most waitMicroseconds) and answers the
// first event; Failed when the peer is gone or sent something wrong.
Event Poll(TcpSocket& socket, mirvale::MessageReader& reader, int64_t waitMicroseconds) {
    size_t got = 0;
    const TcpSocket::Result result = socket.Receive(reader.WantData(), reader.WantSize(), &got, waitMicroseconds);
    if (result == TcpSocket::Result::TimedOut) return Event::NeedMore;
    if (result != TcpSocket::Result::Ok) return Event::Failed;
    return reader.Advance(got);
}

}  // namespace

bool FrameServer::Listen(std::string* error) {
    if (!m_listener.Listen(m_options.address, m_options.port, 16)) {
        *error = "cannot listen on " + m_options.addressText + ":" + std::to_string(m_options.port) +
                 " (in use, or no such local address)";
        return false;
    }
    return true;
}

void FrameServer::Run(const volatile int* stop) {
    std::list<std::thread> connections;
    while (*stop == 0) {
        TcpSocket socket;
        if (m_listener.Accept(&socket, 100000) != TcpSocket::Result::Ok) continue;
        connections.emplace_back([this, s = std::move(socket)]() mutable { Serve(std::move(s)); });
    }
    m_stopping = true;
    for (std::thread& connection : connections) connection.join();
}

void FrameServer::Serve(TcpSocket socket) {
    socket.SetNoDelay(true);
    mirvale::MessageReader reader(mirvale::MessageReader::Side::Source);
    const Clock::time_point accepted = Clock::now();
    Event event = Event::NeedMore;
    while (event == Event::NeedMore && !m_stopping && Clock::now() - accepted < kHelloWait) {
        event = Poll(socket, reader, kPollMicroseconds);
    }
    // Probes and strangers go quietly.
    if (event != Event::Hello) return;
    std::string error;
    std::unique_ptr<FrameInput> input = FrameInput::Open(m_options, &error);
    if (!input) {
        std::cerr << "optivane-frame-source: " << error << "\n";
        return;
    }
    const double fps = m_options.fps;
    const mirvale::ControlMessage welcome = mirvale::EncodeWelcome(
        {mirvale::kVersion, mirvale::kFormatBgr24, input->Width(), input->Height(),
         fps > 0 ? static_cast<uint32_t>(fps * 1000 + 0.5) : 0, fps > 0 ? 1000u : 1u});
    if (!Send(socket, welcome.data.data(), welcome.size)) return;

    const auto period = fps > 0 ? std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / fps))
                                : Clock::duration::zero();
    const mirvale::ControlMessage heartbeat = mirvale::EncodeHeartbeat();
    bool streaming = false;
    bool oneFrame = false;
    uint64_t sequence = 0;
    uint64_t sent = 0;
    Clock::time_point due = Clock::now();
    Clock::time_point lastSent = Clock::now();
    std::mt19937 random(12345);
    while (!m_stopping) {
        event = Poll(socket, reader, (streaming || oneFrame) ? 0 : kPollMicroseconds);
        if (event == Event::Failed) return;
        if (event == Event::Request) {
            streaming = reader.GetRequest() == mirvale::RequestMode::Stream;
            oneFrame = !streaming;
        }
        const Clock::time_point now = Clock::now();
        if (!streaming && !oneFrame) {
            if (now - lastSent >= kHeartbeat) {
                if (!Send(socket, heartbeat.data.data(), heartbeat.size)) return;
                lastSent = now;
            }
            continue;
        }
        if (streaming && period != Clock::duration::zero()) {
            if (now < due) {
                std::this_thread::sleep_for(std::min<Clock::duration>(due - now, std::chrono::milliseconds(20)));
                continue;
            }
            // Late by whole periods: those frames are skipped.
            const uint64_t missed = static_cast<uint64_t>((now - due) / period);
            sequence += missed;
            due += period * static_cast<int64_t>(missed + 1);
        }
        const uint8_t* pixels = input->Picture(sequence);
        if (pixels == nullptr) {
            std::cerr << "optivane-frame-source: the input gave no picture; closing the connection\n";
            return;
        }
        const uint32_t width = input->Width(), height = input->Height();
        const uint64_t bytes = mirvale::PictureBytes(width, height);
        const int64_t micros =
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count();
        auto header = mirvale::EncodeFrameHeader({sequence, micros, width, height});
        const bool faulty = m_options.fault != SourceOptions::Fault::None && sent == m_options.faultAfter;
        if (faulty) {
            switch (m_options.fault) {
                case SourceOptions::Fault::Truncate:
                    Send(socket, header.data(), header.size());
                    Send(socket, pixels, static_cast<size_t>(bytes / 2));
                    return;
                case SourceOptions::Fault::Garbage: {
                    uint8_t garbage[64];
                    for (uint8_t& byte : garbage) byte = static_cast<uint8_t>(random());
                    Send(socket, garbage, sizeof(garbage));
                    break;
                }
                case SourceOptions::Fault::WrongSize:
                    // The header claims one more row than the pixels that follow.
                    mirvale::PutU32(header.data() + mirvale::kHeaderSize + 20, height + 1);
                    Send(socket, header.data(), header.size());
                    Send(socket, pixels, static_cast<size_t>(bytes));
                    break;
                case SourceOptions::Fault::BadVersion:
                    mirvale::PutU16(header.data() + 4, 2);
                    Send(socket, header.data(), header.size());
                    Send(socket, pixels, static_cast<size_t>(bytes));
                    break;
                case SourceOptions::Fault::Stall:
                    Send(socket, header.data(), header.size());
                    Send(socket, pixels, static_cast<size_t>(bytes / 2));
                    // Silent until the receiver gives up.
                    while (!m_stopping && Poll(socket, reader, kPollMicroseconds) != Event::Failed) {}
                    return;
                case SourceOptions::Fault::None: break;
            }
            // Whatever follows a spoiled frame is lost on the receiver: wait for it to go.
            while (!m_stopping && Poll(socket, reader, kPollMicroseconds) == Event::NeedMore) {}
            return;
        }
        if (!Send(socket, header.data(), header.size()) || !Send(socket, pixels, static_cast<size_t>(bytes))) return;
        lastSent = Clock::now();
        ++sequence;
        ++sent;
        oneFrame = false;
        if (m_options.frames != 0 && sent >= m_options.frames) return;
    }
}

}  // namespace optivane::tool
