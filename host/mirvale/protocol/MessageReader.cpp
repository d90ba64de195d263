#include "host/mirvale/protocol/MessageReader.h"

#include <algorithm>
#include <cstring>

#include "host/mirvale/protocol/LittleEndian.h"

namespace optivane::mirvale {

MessageReader::MessageReader(Side side) : m_side(side) {}

void MessageReader::Reset() {
    m_part = Part::Header;
    m_greeted = false;
    m_failure = Failure::None;
    m_filled = 0;
    m_pixelsLeft = 0;
    m_destination = nullptr;
}

uint8_t* MessageReader::WantData() {
    switch (m_part) {
        case Part::Header: return m_header + m_filled;
        case Part::Body:
        case Part::FrameInfo: return m_body + m_filled;
        case Part::Pixels: return m_destination != nullptr ? m_destination + m_filled : m_scratch;
        case Part::Failed: break;
    }
    return nullptr;
}

size_t MessageReader::WantSize() const {
    switch (m_part) {
        case Part::Header: return kHeaderSize - m_filled;
        case Part::Body: return m_length - m_filled;
        case Part::FrameInfo: return kFrameInfoSize - m_filled;
        case Part::Pixels: {
            const uint64_t cap = m_destination != nullptr ? m_pixelsLeft : std::min<uint64_t>(m_pixelsLeft, kScratchSize);
            return static_cast<size_t>(cap);
        }
        case Part::Failed: break;
    }
    return 0;
}

MessageReader::Event MessageReader::Advance(size_t count) {
    if (m_part == Part::Failed) return Event::Failed;
    if (count > WantSize()) return Fail(Failure::BadLength);
    if (m_part == Part::Pixels) {
        m_pixelsLeft -= count;
        if (m_destination != nullptr) m_filled += count;
        if (m_pixelsLeft != 0) return Event::NeedMore;
        m_part = Part::Header;
        m_filled = 0;
        m_destination = nullptr;
        return Event::FrameDone;
    }
    m_filled += count;
    if (WantSize() != 0) return Event::NeedMore;
    switch (m_part) {
        case Part::Header: return HeaderRead();
        case Part::Body: return BodyRead();
        case Part::FrameInfo: return FrameInfoRead();
        default: return Event::Failed;
    }
}

MessageReader::Event MessageReader::Feed(const uint8_t* data, size_t size, size_t* used) {
    size_t taken = 0;
    Event event = m_part == Part::Failed ? Event::Failed : Event::NeedMore;
    while (event == Event::NeedMore && taken < size) {
        const size_t count = std::min(size - taken, WantSize());
        if (count != 0) std::memcpy(WantData(), data + taken, count);
        taken += count;
        event = Advance(count);
    }
    if (used != nullptr) *used = taken;
    return event;
}

void MessageReader::SetFrameDestination(uint8_t* pixels) {
    if (m_part == Part::Pixels && m_filled == 0) m_destination = pixels;
}

MessageReader::Event MessageReader::Fail(Failure failure) {
    m_part = Part::Failed;
    m_failure = failure;
    return Event::Failed;
}

MessageReader::Event MessageReader::HeaderRead() {
    if (GetU32(m_header) != kMagic) return Fail(Failure::BadMagic);
    if (GetU16(m_header + 4) != kVersion) return Fail(Failure::BadVersion);
    const uint16_t type = GetU16(m_header + 6);
    if (type < static_cast<uint16_t>(MessageType::Hello) || type > static_cast<uint16_t>(MessageType::Heartbeat)) {
        return Fail(Failure::UnknownType);
    }
    m_type = static_cast<MessageType>(type);
    m_length = GetU32(m_header + 8);
    const bool fromReceiver = m_type == MessageType::Hello || m_type == MessageType::Request;
    const bool greeting = m_type == MessageType::Hello || m_type == MessageType::Welcome;
    if (fromReceiver != (m_side == Side::Source) || greeting == m_greeted) return Fail(Failure::UnexpectedType);

    m_filled = 0;
    if (m_type == MessageType::Frame) {
        if (m_length < kFrameInfoSize) return Fail(Failure::BadLength);
        m_part = Part::FrameInfo;
        return Event::NeedMore;
    }
    uint32_t expected = 0;
    switch (m_type) {
        case MessageType::Hello:
            if (m_length < 4 || m_length > 2 + 2 * kMaxHelloVersions || m_length % 2 != 0) {
                return Fail(Failure::BadLength);
            }
            expected = m_length;
            break;
        case MessageType::Welcome: expected = kWelcomeSize; break;
        case MessageType::Request: expected = kRequestSize; break;
        default: expected = 0; break;
    }
    if (m_length != expected) return Fail(Failure::BadLength);
    m_part = Part::Body;
    return m_length == 0 ? BodyRead() : Event::NeedMore;
}

MessageReader::Event MessageReader::BodyRead() {
    m_part = Part::Header;
    m_filled = 0;
    switch (m_type) {
        case MessageType::Hello: {
            const uint16_t count = GetU16(m_body);
            if (count == 0 || m_length != 2u + 2u * count) return Fail(Failure::BadLength);
            bool speaksOne = false;
            for (uint16_t i = 0; i < count; ++i) speaksOne = speaksOne || GetU16(m_body + 2 + 2 * i) == kVersion;
            if (!speaksOne) return Fail(Failure::BadVersion);
            m_greeted = true;
            return Event::Hello;
        }
        case MessageType::Welcome: {
            Welcome welcome = {GetU16(m_body), GetU16(m_body + 2), GetU32(m_body + 4),
                               GetU32(m_body + 8), GetU32(m_body + 12), GetU32(m_body + 16)};
            if (welcome.version != kVersion) return Fail(Failure::BadVersion);
            if (welcome.format != kFormatBgr24) return Fail(Failure::BadFormat);
            if (welcome.width == 0 || welcome.height == 0) return Fail(Failure::BadSize);
            if (welcome.width > kMaxWidth || welcome.height > kMaxHeight) return Fail(Failure::TooLarge);
            if (welcome.rateDenominator == 0) return Fail(Failure::BadRate);
            m_welcome = welcome;
            m_greeted = true;
            return Event::Welcome;
        }
        case MessageType::Request: {
            const uint32_t mode = GetU32(m_body);
            if (mode != static_cast<uint32_t>(RequestMode::OneFrame) && mode != static_cast<uint32_t>(RequestMode::Stream)) {
                return Fail(Failure::BadRequest);
            }
            m_request = static_cast<RequestMode>(mode);
            return Event::Request;
        }
        case MessageType::Heartbeat: return Event::Heartbeat;
        case MessageType::Frame: break;
    }
    return Fail(Failure::UnknownType);
}

MessageReader::Event MessageReader::FrameInfoRead() {
    FrameInfo info = {GetU64(m_body), static_cast<int64_t>(GetU64(m_body + 8)), GetU32(m_body + 16), GetU32(m_body + 20)};
    if (info.width == 0 || info.height == 0) return Fail(Failure::BadSize);
    if (info.width > kMaxWidth || info.height > kMaxHeight) return Fail(Failure::TooLarge);
    if (m_length != kFrameInfoSize + PictureBytes(info.width, info.height)) return Fail(Failure::BadLength);
    m_frame = info;
    m_part = Part::Pixels;
    m_filled = 0;
    m_pixelsLeft = PictureBytes(info.width, info.height);
    m_destination = nullptr;
    return Event::FrameStarted;
}

const char* MessageReader::FailureName(Failure failure) {
    switch (failure) {
        case Failure::None: return "none";
        case Failure::BadMagic: return "bad magic";
        case Failure::BadVersion: return "unsupported version";
        case Failure::UnknownType: return "unknown message type";
        case Failure::UnexpectedType: return "message out of order";
        case Failure::BadLength: return "bad message length";
        case Failure::BadFormat: return "unsupported pixel format";
        case Failure::BadSize: return "zero width or height";
        case Failure::TooLarge: return "picture larger than 4000x3000";
        case Failure::BadRate: return "zero frame-rate denominator";
        case Failure::BadRequest: return "unknown request";
    }
    return "unknown failure";
}

}  // namespace optivane::mirvale
