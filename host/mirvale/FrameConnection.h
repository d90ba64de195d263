// One connection of a receiver to a frame source, speaking protocol version 1
// (PROTOCOL.md): connect and handshake, requests, and whole frames read
// straight into the caller's pixels.
//
// Every wait is a poll of at most 50 ms that also looks at the caller's stop
// flag, so a stop is seen within that time even while the source stalls.
// Time limits: 2 s to connect, then the handshake, silence and frame limits
// of its ReceiveTimings. Any failure closes the connection; a partial frame
// is never reported done.
//
// Failures: MIRVALE_E_REFUSED, MIRVALE_E_TIMEDOUT (connect, handshake,
// silence, a frame too slow), MIRVALE_E_BADDATA (anything the reader
// rejects, or the source closing), MIRVALE_E_VERSION (a version other than
// 1), E_ABORT (the stop request), E_FAIL (no connection, socket errors).
//
// Threads: one owner at a time, like the socket it holds.
#pragma once

#include <atomic>
#include <cstdint>

#include "host/mirvale/ReceiveTimings.h"
#include "host/mirvale/protocol/MessageReader.h"
#include "optivane/com.h"
#include "platform/TcpSocket.h"

namespace optivane::mirvale {

class FrameConnection {
public:
    // Where the pixels of a frame go. PixelsFor answers a buffer of
    // PictureBytes(width, height) bytes, or null to read and drop the frame.
    class Target {
    public:
        virtual uint8_t* PixelsFor(const FrameInfo& info) = 0;

    protected:
        ~Target() = default;
    };

    // A stop request: non-zero asks a wait to end.
    using StopRequest = std::atomic<int32_t>;

    explicit FrameConnection(const ReceiveTimings& timings) : m_timings(timings) {}
    FrameConnection(const FrameConnection&) = delete;
    FrameConnection& operator=(const FrameConnection&) = delete;

    bool IsOpen() const { return m_socket.IsOpen(); }
    // Closes any connection held, connects and completes the handshake.
    HRESULT Open(uint32_t address, uint16_t port, const StopRequest& stop);
    HRESULT Request(RequestMode mode);
    // Reads until one frame is whole: S_OK when its pixels went to the
    // target's buffer, S_FALSE when the target dropped it.
    HRESULT ReadFrame(Target& target, const StopRequest& stop);
    void Close();

    const Welcome& GetWelcome() const { return m_reader.GetWelcome(); }
    const FrameInfo& LastFrame() const { return m_reader.GetFrameInfo(); }

private:
    // Reads into the reader until it reports an event; deadline in monotonic ticks (0: none).
    HRESULT NextEvent(MessageReader::Event* event, int64_t deadline, const StopRequest& stop);
    HRESULT Fail(HRESULT status);

    const ReceiveTimings& m_timings;  // the owner's, outliving this
    platform::TcpSocket m_socket;
    MessageReader m_reader{MessageReader::Side::Receiver};
};

}  // namespace optivane::mirvale
