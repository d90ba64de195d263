// The frame-source protocol's codec: every rejection in one table, and
// streams fed in every split decode as whole (mutated streams: the reader's
// fuzz target, replayed by reader_replay).
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host/mirvale/protocol/LittleEndian.h"
#include "host/mirvale/protocol/MessageReader.h"

namespace optivane::mirvale {
namespace {

using Bytes = std::vector<uint8_t>;
using Event = MessageReader::Event;
using Failure = MessageReader::Failure;
using Side = MessageReader::Side;

constexpr uint16_t kOne[] = {1};

Bytes Of(const ControlMessage& message) { return Bytes(message.data.begin(), message.data.begin() + message.size); }
Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
Bytes Welcome640() { return Of(EncodeWelcome({1, kFormatBgr24, 640, 480, 30, 1})); }
// A frame whose pixel bytes count up from seed.
Bytes FrameOf(uint64_t sequence, uint32_t width, uint32_t height, uint8_t seed) {
    const auto header = EncodeFrameHeader({sequence, static_cast<int64_t>(sequence) * 1000, width, height});
    Bytes bytes(header.begin(), header.end());
    for (uint64_t i = 0; i < PictureBytes(width, height); ++i) bytes.push_back(static_cast<uint8_t>(seed + i));
    return bytes;
}
Bytes Header(uint16_t type, uint32_t length) {
    Bytes bytes(kHeaderSize);
    EncodeHeader(static_cast<MessageType>(type), length, bytes.data());
    return bytes;
}
Bytes Patched(Bytes bytes, size_t at, const Bytes& with) {
    std::memcpy(bytes.data() + at, with.data(), with.size());
    return bytes;
}
Bytes U32(uint32_t value) { Bytes b(4); PutU32(b.data(), value); return b; }
Bytes U16(uint16_t value) { Bytes b(2); PutU16(b.data(), value); return b; }

// Feeds everything in chunks of at most chunk bytes, putting frame pixels
// into buffers of their own; records the events other than NeedMore.
struct Transcript {
    std::vector<Event> events;
    std::vector<Bytes> pictures;
    std::vector<FrameInfo> frames;
    Failure failure = Failure::None;
};
Transcript Decode(Side side, const Bytes& stream, size_t chunk, bool keepPixels = true) {
    MessageReader reader(side);
    Transcript out;
    size_t at = 0;
    while (at < stream.size()) {
        size_t used = 0;
        const Event event = reader.Feed(stream.data() + at, std::min(chunk, stream.size() - at), &used);
        at += used;
        if (event == Event::NeedMore) continue;
        out.events.push_back(event);
        if (event == Event::Failed) break;
        if (event == Event::FrameStarted) {
            out.frames.push_back(reader.GetFrameInfo());
            out.pictures.emplace_back(reader.FramePictureBytes(), 0);
            if (keepPixels) reader.SetFrameDestination(out.pictures.back().data());
        }
    }
    out.failure = reader.GetFailure();
    return out;
}

TEST(MirvaleProtocol, EveryRejectionRule) {
    const Bytes hello = Of(EncodeHello(kOne, 1));
    const Bytes welcome = Welcome640();
    struct Case { const char* what; Side side; Bytes stream; Failure failure; };
    const Case cases[] = {
        {"bad magic", Side::Receiver, Patched(welcome, 0, U32(0x5652494Eu)), Failure::BadMagic},
        {"header version 2", Side::Receiver, Patched(welcome, 4, U16(2)), Failure::BadVersion},
        {"header version 0 at the source", Side::Source, Patched(hello, 4, U16(0)), Failure::BadVersion},
        {"welcome version 2", Side::Receiver, Patched(welcome, kHeaderSize, U16(2)), Failure::BadVersion},
        {"hello without version 1", Side::Source, Of(EncodeHello(std::vector<uint16_t>{2, 3}.data(), 2)), Failure::BadVersion},
        {"type 0", Side::Receiver, Header(0, 0), Failure::UnknownType},
        {"type 6", Side::Receiver, Header(6, 0), Failure::UnknownType},
        {"frame before welcome", Side::Receiver, FrameOf(0, 1, 1, 0), Failure::UnexpectedType},
        {"heartbeat before welcome", Side::Receiver, Of(EncodeHeartbeat()), Failure::UnexpectedType},
        {"second welcome", Side::Receiver, welcome + welcome, Failure::UnexpectedType},
        {"hello at the receiver", Side::Receiver, hello, Failure::UnexpectedType},
        {"welcome at the source", Side::Source, welcome, Failure::UnexpectedType},
        {"request before hello", Side::Source, Of(EncodeRequest(RequestMode::Stream)), Failure::UnexpectedType},
        {"second hello", Side::Source, hello + hello, Failure::UnexpectedType},
        {"welcome one byte short", Side::Receiver, Patched(welcome, 8, U32(kWelcomeSize - 1)), Failure::BadLength},
        {"control above 1 KiB", Side::Source, Header(1, kMaxControlLength + 2), Failure::BadLength},
        {"hello count disagrees", Side::Source, Patched(hello, kHeaderSize, U16(2)), Failure::BadLength},
        {"hello of 0 versions", Side::Source, Header(1, 2) + U16(0), Failure::BadLength},
        {"heartbeat with a body", Side::Receiver, welcome + Header(5, 4) + U32(0), Failure::BadLength},
        {"frame shorter than its info", Side::Receiver, welcome + Header(4, kFrameInfoSize - 1), Failure::BadLength},
        {"frame one byte long", Side::Receiver, welcome + Patched(FrameOf(0, 2, 2, 0), 8, U32(kFrameInfoSize + 13)),
         Failure::BadLength},
        {"frame one byte short", Side::Receiver, welcome + Patched(FrameOf(0, 2, 2, 0), 8, U32(kFrameInfoSize + 11)),
         Failure::BadLength},
        {"length of 4 GiB - 1", Side::Receiver, welcome + Patched(FrameOf(0, 2, 2, 0), 8, U32(0xFFFFFFFFu)),
         Failure::BadLength},
        {"welcome format 1", Side::Receiver, Patched(welcome, kHeaderSize + 2, U16(1)), Failure::BadFormat},
        {"welcome width 0", Side::Receiver, Patched(welcome, kHeaderSize + 4, U32(0)), Failure::BadSize},
        {"frame height 0", Side::Receiver, welcome + Patched(FrameOf(0, 2, 2, 0), kHeaderSize + 20, U32(0)),
         Failure::BadSize},
        {"welcome width 4001", Side::Receiver, Patched(welcome, kHeaderSize + 4, U32(4001)), Failure::TooLarge},
        {"frame height 3001", Side::Receiver, welcome + Patched(FrameOf(0, 2, 2, 0), kHeaderSize + 20, U32(3001)),
         Failure::TooLarge},
        {"frame width 2^31 (wraps a 32-bit product)", Side::Receiver,
         welcome + Patched(FrameOf(0, 2, 2, 0), kHeaderSize + 16, U32(0x80000000u)), Failure::TooLarge},
        {"rate over 0", Side::Receiver, Patched(welcome, kHeaderSize + 16, U32(0)), Failure::BadRate},
        {"request mode 3", Side::Source, hello + Patched(Of(EncodeRequest(RequestMode::Stream)), kHeaderSize, U32(3)),
         Failure::BadRequest},
    };
    for (const Case& c : cases) {
        for (size_t chunk : {size_t{1}, size_t{4096}}) {
            const Transcript t = Decode(c.side, c.stream, chunk);
            ASSERT_FALSE(t.events.empty()) << c.what;
            EXPECT_EQ(t.events.back(), Event::Failed) << c.what << ", chunk " << chunk;
            EXPECT_EQ(t.failure, c.failure) << c.what << ", chunk " << chunk;
            EXPECT_TRUE(t.pictures.empty()) << c.what << ": no frame may start";
        }
    }
    // The failure sticks until Reset, and Reset starts a new connection.
    MessageReader reader(Side::Receiver);
    const Bytes bad = Patched(welcome, 0, U32(0));
    size_t used = 0;
    EXPECT_EQ(reader.Feed(bad.data(), bad.size(), &used), Event::Failed);
    EXPECT_EQ(reader.Feed(welcome.data(), welcome.size(), &used), Event::Failed);
    EXPECT_EQ(used, 0u);
    EXPECT_EQ(reader.WantSize(), 0u);
    reader.Reset();
    EXPECT_EQ(reader.Feed(welcome.data(), welcome.size(), &used), Event::Welcome);
}

TEST(MirvaleProtocol, StreamsDecodeTheSameInEverySplit) {
    // Size changes between frames, heartbeats between them, the largest frame.
    const Bytes receiverStream = Welcome640() + FrameOf(7, 3, 2, 10) + Of(EncodeHeartbeat()) + FrameOf(8, 1, 5, 99) +
                                 FrameOf(9, 4000, 3000, 1) + FrameOf(10, 3, 2, 200);
    const Transcript whole = Decode(Side::Receiver, receiverStream, receiverStream.size());
    const std::vector<Event> expected = {Event::Welcome, Event::FrameStarted, Event::FrameDone, Event::Heartbeat,
                                         Event::FrameStarted, Event::FrameDone, Event::FrameStarted, Event::FrameDone,
                                         Event::FrameStarted, Event::FrameDone};
    ASSERT_EQ(whole.events, expected);
    ASSERT_EQ(whole.frames.size(), 4u);
    EXPECT_EQ(whole.frames[1].sequence, 8u);
    EXPECT_EQ(whole.frames[1].timestampMicroseconds, 8000);
    EXPECT_EQ(whole.frames[2].width, 4000u);
    EXPECT_EQ(whole.frames[2].height, 3000u);
    const Bytes expectedPixels = FrameOf(8, 1, 5, 99);
    EXPECT_EQ(whole.pictures[1], Bytes(expectedPixels.begin() + kFrameHeaderSize, expectedPixels.end()));
    for (size_t chunk : {size_t{1}, size_t{7}, size_t{kHeaderSize + 1}}) {
        // Byte by byte through the 36 MB frame takes too long; the first two frames show the splits.
        const size_t prefix = chunk == 1 ? Welcome640().size() + FrameOf(7, 3, 2, 10).size() + 12 + FrameOf(8, 1, 5, 99).size()
                                         : receiverStream.size();
        const Transcript split = Decode(Side::Receiver, Bytes(receiverStream.begin(), receiverStream.begin() + prefix), chunk);
        ASSERT_EQ(split.events, std::vector<Event>(expected.begin(), expected.begin() + split.events.size()));
        for (size_t i = 0; i < split.pictures.size(); ++i) EXPECT_EQ(split.pictures[i], whole.pictures[i]) << chunk;
    }
    // Dropped pixels: the next message still decodes.
    const Transcript dropped = Decode(Side::Receiver, receiverStream, 5000, false);
    EXPECT_EQ(dropped.events, expected);

    const uint16_t versions[] = {3, 1, 2};
    const Bytes sourceStream = Of(EncodeHello(versions, 3)) + Of(EncodeRequest(RequestMode::OneFrame)) +
                               Of(EncodeRequest(RequestMode::Stream));
    MessageReader source(Side::Source);
    std::vector<RequestMode> modes;
    for (uint8_t byte : sourceStream) {
        size_t used = 0;
        if (source.Feed(&byte, 1, &used) == Event::Request) modes.push_back(source.GetRequest());
        ASSERT_EQ(used, 1u);
    }
    EXPECT_EQ(modes, (std::vector<RequestMode>{RequestMode::OneFrame, RequestMode::Stream}));
}

}  // namespace
}  // namespace optivane::mirvale
