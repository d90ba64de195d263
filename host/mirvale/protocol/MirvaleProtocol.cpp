#include "host/mirvale/protocol/MirvaleProtocol.h"

#include "host/mirvale/protocol/LittleEndian.h"

namespace optivane::mirvale {

void EncodeHeader(MessageType type, uint32_t length, uint8_t* out) {
    PutU32(out, kMagic);
    PutU16(out + 4, kVersion);
    PutU16(out + 6, static_cast<uint16_t>(type));
    PutU32(out + 8, length);
}

namespace {

ControlMessage Control(MessageType type, uint32_t length) {
    ControlMessage message{};
    EncodeHeader(type, length, message.data.data());
    message.size = kHeaderSize + length;
    return message;
}

}  // namespace

ControlMessage EncodeHello(const uint16_t* versions, size_t count) {
    if (count > kMaxHelloVersions) count = kMaxHelloVersions;
    ControlMessage message = Control(MessageType::Hello, static_cast<uint32_t>(2 + 2 * count));
    uint8_t* body = message.data.data() + kHeaderSize;
    PutU16(body, static_cast<uint16_t>(count));
    for (size_t i = 0; i < count; ++i) PutU16(body + 2 + 2 * i, versions[i]);
    return message;
}

ControlMessage EncodeWelcome(const Welcome& welcome) {
    ControlMessage message = Control(MessageType::Welcome, kWelcomeSize);
    uint8_t* body = message.data.data() + kHeaderSize;
    PutU16(body, welcome.version);
    PutU16(body + 2, welcome.format);
    PutU32(body + 4, welcome.width);
    PutU32(body + 8, welcome.height);
    PutU32(body + 12, welcome.rateNumerator);
    PutU32(body + 16, welcome.rateDenominator);
    return message;
}

ControlMessage EncodeRequest(RequestMode mode) {
    ControlMessage message = Control(MessageType::Request, kRequestSize);
    PutU32(message.data.data() + kHeaderSize, static_cast<uint32_t>(mode));
    return message;
}

ControlMessage EncodeHeartbeat() { return Control(MessageType::Heartbeat, 0); }

std::array<uint8_t, kFrameHeaderSize> EncodeFrameHeader(const FrameInfo& info) {
    std::array<uint8_t, kFrameHeaderSize> bytes{};
    const uint64_t pixels = PictureBytes(info.width, info.height);
    EncodeHeader(MessageType::Frame, static_cast<uint32_t>(kFrameInfoSize + pixels), bytes.data());
    uint8_t* body = bytes.data() + kHeaderSize;
    PutU64(body, info.sequence);
    PutU64(body + 8, static_cast<uint64_t>(info.timestampMicroseconds));
    PutU32(body + 16, info.width);
    PutU32(body + 20, info.height);
    return bytes;
}

}  // namespace optivane::mirvale
