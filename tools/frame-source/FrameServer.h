// Serves frames to any number of receivers at once, one thread per
// connection, with protocol version 1 (host/mirvale/PROTOCOL.md).
//
// A connection that sends no Hello within 5 s (a liveness probe) is closed
// quietly. Requests: one frame, or a stream paced by --fps (running late,
// frames are skipped, never queued; their sequence numbers are skipped too).
// While nothing is sent for 1 s, a heartbeat goes. --fault spoils one frame
// after the given good ones, then the connection ends (a stall keeps it open
// and silent until the receiver goes).
//
// Threads: Run's caller accepts; each connection's thread owns its socket
// and its input; the list of threads is the caller's alone.
#pragma once

#include <atomic>
#include <string>

#include "SourceOptions.h"
#include "platform/TcpListener.h"

namespace optivane::tool {

class FrameServer {
public:
    explicit FrameServer(SourceOptions options) : m_options(std::move(options)) {}
    // Binds and listens; false with *error when the address or port is taken.
    bool Listen(std::string* error);
    uint16_t Port() const { return m_listener.Port(); }
    // Accepts until *stop becomes true, then ends and joins every connection.
    void Run(const volatile int* stop);

private:
    void Serve(platform::TcpSocket socket);

    SourceOptions m_options;
    platform::TcpListener m_listener;
    std::atomic<bool> m_stopping{false};
};

}  // namespace optivane::tool
