// Version 1 of the frame-source protocol (host/mirvale/PROTOCOL.md): its
// limits, its records and the encoders of every message. The receiver and
// the frame source both build their bytes here and read them with
// MessageReader, so the two sides cannot drift apart.
//
// Every integer is little-endian. Encoders never fail: the records they take
// are checked by the reader on the other side, and a caller that wants to
// send bad bytes (the source's fault modes, tests) patches the encoded ones.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace optivane::mirvale {

constexpr uint32_t kMagic = 0x5652494Du;  // "MIRV" on the wire
constexpr uint16_t kVersion = 1;
constexpr size_t kHeaderSize = 12;        // magic u32, version u16, type u16, length u32
constexpr uint32_t kMaxControlLength = 1024;
constexpr uint32_t kMaxWidth = 4000;
constexpr uint32_t kMaxHeight = 3000;
constexpr uint32_t kMaxHelloVersions = 16;
constexpr size_t kFrameInfoSize = 24;     // sequence u64, timestamp i64, width u32, height u32
constexpr size_t kFrameHeaderSize = kHeaderSize + kFrameInfoSize;
constexpr size_t kWelcomeSize = 20;
constexpr size_t kRequestSize = 4;
constexpr uint16_t kFormatBgr24 = 0;
// A source that has nothing to send for this long sends a heartbeat; a
// receiver that hears nothing for kSilenceLimitMs takes the source for hung.
constexpr uint32_t kHeartbeatIntervalMs = 1000;
constexpr uint32_t kSilenceLimitMs = 3000;
// From the first byte of a frame message to its last.
constexpr uint32_t kFrameTimeLimitMs = 5000;

enum class MessageType : uint16_t {
    Hello = 1,      // receiver -> source, first message of a connection
    Welcome = 2,    // source -> receiver, the answer to Hello
    Request = 3,    // receiver -> source
    Frame = 4,      // source -> receiver
    Heartbeat = 5,  // source -> receiver, no body
};

enum class RequestMode : uint32_t {
    OneFrame = 1,  // the next frame, then nothing until the next request
    Stream = 2,    // frames until the connection closes
};

struct Welcome {
    uint16_t version;
    uint16_t format;  // kFormatBgr24
    uint32_t width;
    uint32_t height;
    uint32_t rateNumerator;    // frames per second as a fraction; 0/1: as fast as possible
    uint32_t rateDenominator;
};

struct FrameInfo {
    uint64_t sequence;
    int64_t timestampMicroseconds;
    uint32_t width;
    uint32_t height;
};

// Bytes of a BGR24 picture; callers pass sizes inside the limits.
constexpr uint64_t PictureBytes(uint32_t width, uint32_t height) {
    return static_cast<uint64_t>(width) * height * 3;
}

// A control message ready to send: its bytes are data[0 .. size).
struct ControlMessage {
    std::array<uint8_t, kHeaderSize + kMaxControlLength> data;
    size_t size;
};

// The fixed header of any message.
void EncodeHeader(MessageType type, uint32_t length, uint8_t* out);
// count versions (at most kMaxHelloVersions; more are cut).
ControlMessage EncodeHello(const uint16_t* versions, size_t count);
ControlMessage EncodeWelcome(const Welcome& welcome);
ControlMessage EncodeRequest(RequestMode mode);
ControlMessage EncodeHeartbeat();
// Header and frame info; PictureBytes(width, height) pixel bytes follow.
std::array<uint8_t, kFrameHeaderSize> EncodeFrameHeader(const FrameInfo& info);

}  // namespace optivane::mirvale
