// Reads the messages of one side of a connection, byte stream in, events out.
//
// The reader never reads ahead: Want() names where the next bytes go and at
// most how many, never past the element being read (header, control body,
// frame info, pixels), so a caller may receive straight into it and frame
// pixels land where the caller put them with no copy. Feed() copies from a
// buffer for callers that have one (tests, the fuzzer).
//
// Checks, in the order they are made: magic, version, known type, type
// allowed for this side and at this point (a receiver hears Welcome first,
// then only frames and heartbeats; a source hears Hello first, then only
// requests), the length (control messages fixed or at most 1 KiB, a frame
// exactly its info plus its picture), then the body's values. Lengths are
// checked before anything is read past the header; nothing is allocated from
// them. The first failure is kept (Failure()) and every later call answers
// Event::Failed until Reset.
//
// Frame pixels: after Event::FrameStarted, SetFrameDestination names a buffer
// of exactly PictureBytes(width, height) bytes; without one the pixels are
// read into a scratch buffer and dropped. Event::FrameDone follows the last
// pixel byte.
//
// Threads: one owner at a time; nothing is shared.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/mirvale/protocol/MirvaleProtocol.h"

namespace optivane::mirvale {

class MessageReader {
public:
    enum class Side { Receiver, Source };
    enum class Event { NeedMore, Hello, Welcome, Request, Heartbeat, FrameStarted, FrameDone, Failed };
    enum class Failure {
        None,
        BadMagic,
        BadVersion,     // header or Welcome version other than 1; Hello without version 1
        UnknownType,
        UnexpectedType, // a type this side never hears, or heard out of order
        BadLength,
        BadFormat,      // a Welcome format other than BGR24
        BadSize,        // zero width or height
        TooLarge,       // beyond 4000 x 3000
        BadRate,        // a rate denominator of 0
        BadRequest,     // an unknown request mode
    };

    explicit MessageReader(Side side);
    MessageReader(const MessageReader&) = delete;
    MessageReader& operator=(const MessageReader&) = delete;

    // Back to the start of a connection.
    void Reset();

    // Where the next bytes go, and at most how many (0 after a failure).
    uint8_t* WantData();
    size_t WantSize() const;
    // count bytes were stored at WantData(); count <= WantSize().
    Event Advance(size_t count);
    // Copies from data until an event other than NeedMore or the end of the
    // data; *used tells how many bytes were taken.
    Event Feed(const uint8_t* data, size_t size, size_t* used);

    void SetFrameDestination(uint8_t* pixels);

    Failure GetFailure() const { return m_failure; }
    const Welcome& GetWelcome() const { return m_welcome; }
    const FrameInfo& GetFrameInfo() const { return m_frame; }
    RequestMode GetRequest() const { return m_request; }
    uint64_t FramePictureBytes() const { return PictureBytes(m_frame.width, m_frame.height); }

    static const char* FailureName(Failure failure);

private:
    enum class Part { Header, Body, FrameInfo, Pixels, Failed };
    static constexpr size_t kScratchSize = 64 * 1024;

    Event Fail(Failure failure);
    Event HeaderRead();
    Event BodyRead();
    Event FrameInfoRead();

    Side m_side;
    Part m_part = Part::Header;
    bool m_greeted = false;  // the first message (Hello or Welcome) has come
    Failure m_failure = Failure::None;
    MessageType m_type = MessageType::Hello;
    uint32_t m_length = 0;
    size_t m_filled = 0;      // bytes of the current part so far
    uint64_t m_pixelsLeft = 0;
    uint8_t* m_destination = nullptr;
    uint8_t m_header[kHeaderSize] = {};
    uint8_t m_body[kMaxControlLength] = {};
    Welcome m_welcome = {};
    FrameInfo m_frame = {};
    RequestMode m_request = RequestMode::OneFrame;
    uint8_t m_scratch[kScratchSize];  // dropped pixels land here
};

}  // namespace optivane::mirvale
