// libMirvale's FrameReceiver, loaded like a sibling module, against scripted
// sources on loopback: handshake statuses, state order, pixel-exact frames in
// order across size changes, every bad input dropping the connection with no
// partial frame, reconnection to the same sink, a hung source noticed
// within short time limits, prompt stops, kept frames, grabs while
// streaming, and Zendra missing.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "ScriptedSource.h"
#include "frame/ComPtr.h"
#include "host/mirvale/CFrameReceiver.h"
#include "frame/modules/ModuleLoader.h"
#include "host/mirvale/protocol/LittleEndian.h"
#include "optivane/host_framework.h"
#include "optivane/optivane.h"
#include "platform/SharedLibrary.h"

namespace optivane::test {
namespace {

using Clock = std::chrono::steady_clock;
using platform::TcpSocket;
using Bytes = std::vector<uint8_t>;

const ModuleLoader g_mirvale = ModuleLoader::ForSibling("Mirvale");

ComPtr<IFrameReceiver> NewReceiver(const ModuleLoader& module = g_mirvale) {
    ComPtr<IFrameReceiver> receiver;
    EXPECT_EQ(module.CreateInstance(CLSID_FrameReceiver, IID_IFrameReceiver, receiver.ReceiveVoid()), S_OK);
    return receiver;
}

// Time limits a test can wait out.
mirvale::ReceiveTimings Quick() {
    mirvale::ReceiveTimings timings;
    timings.handshakeMs = 300;
    timings.silenceMs = 150;
    timings.frameMs = 300;
    timings.reconnectMs = 20;
    timings.grabWaitMs = 1000;
    return timings;
}

// A receiver linked in, with such limits.
ComPtr<IFrameReceiver> QuickReceiver(const mirvale::ReceiveTimings& timings = Quick()) {
    HRESULT status = S_OK;
    CUnknown* made = CFrameReceiver::CreateWithTimings(nullptr, timings, &status);
    ComPtr<IFrameReceiver> receiver;
    EXPECT_NE(made, nullptr);
    if (made != nullptr) {
        EXPECT_EQ(made->NonDelegatingQueryInterface(IID_IFrameReceiver, receiver.ReceiveVoid()), S_OK);
    }
    return receiver;
}

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

struct Picture {
    FrameFormat format;
    Bytes pixels;
};

Picture Read(IUnknown* frame) {
    ComPtr<IFrameImage> image;
    Picture picture{};
    if (frame == nullptr || FAILED(frame->QueryInterface(IID_IFrameImage, image.ReceiveVoid()))) return picture;
    uint8_t* data = nullptr;
    uint32_t size = 0;
    EXPECT_EQ(image->GetFormat(&picture.format), S_OK);
    EXPECT_EQ(image->GetBuffer(&data, &size), S_OK);
    picture.pixels.assign(data, data + size);
    return picture;
}

// True when the picture is frame `sequence` of the counter pattern.
bool IsCounter(const Picture& picture, uint64_t sequence, uint32_t width, uint32_t height) {
    if (picture.format.Width != width || picture.format.Height != height) return false;
    if (picture.pixels.size() != mirvale::PictureBytes(width, height)) return false;
    for (size_t i = 0; i < picture.pixels.size(); ++i) {
        if (picture.pixels[i] != static_cast<uint8_t>(sequence + i)) return false;
    }
    return true;
}

// Records every frame; optionally keeps them (Hold + AddRef) or lingers in each call.
class Sink : public ICamImageCallback {
public:
    explicit Sink(bool keep = false, int lingerMs = 0) : m_keep(keep), m_lingerMs(lingerMs) {}
    ~Sink() {
        for (ComPtr<IFrameImage>& image : m_kept) image->Done();
    }
    HRESULT OnImage(IUnknown* frame) override {
        if (m_stopped) m_afterStop = true;
        if (m_lingerMs != 0) std::this_thread::sleep_for(std::chrono::milliseconds(m_lingerMs));
        Picture picture = Read(frame);
        std::lock_guard<std::mutex> lock(m_lock);
        m_pictures.push_back(std::move(picture));
        if (m_keep) {
            ComPtr<IFrameImage> image;
            frame->QueryInterface(IID_IFrameImage, image.ReceiveVoid());
            image->Hold();
            m_kept.push_back(std::move(image));
        }
        return S_OK;
    }
    size_t Count() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_pictures.size();
    }
    bool WaitFor(size_t count, double seconds = 5) {
        const Clock::time_point start = Clock::now();
        while (Count() < count && SecondsSince(start) < seconds) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return Count() >= count;
    }
    std::vector<Picture> Pictures() {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_pictures;
    }
    std::vector<ComPtr<IFrameImage>>& Kept() { return m_kept; }
    void MarkStopped() { m_stopped = true; }
    bool CalledAfterStop() const { return m_afterStop; }

private:
    bool m_keep;
    int m_lingerMs;
    std::mutex m_lock;
    std::vector<Picture> m_pictures;
    std::vector<ComPtr<IFrameImage>> m_kept;
    std::atomic<bool> m_stopped{false}, m_afterStop{false};
};

// Streams counter frames (sizes cycling through `sizes`) after the
// handshake and the stream request; after `limit` frames it waits half a
// second for the peer to go, then goes itself.
ScriptedSource::Session Streamer(std::vector<std::pair<uint32_t, uint32_t>> sizes, int limit = 1 << 30) {
    return [sizes, limit](TcpSocket& peer, int) {
        if (!ScriptedSource::Greet(peer) || ScriptedSource::ReadRequest(peer) != 2) return;
        for (int n = 0; n < limit; ++n) {
            const auto& size = sizes[static_cast<size_t>(n) % sizes.size()];
            if (!ScriptedSource::Send(peer, ScriptedSource::CounterFrame(static_cast<uint64_t>(n), size.first, size.second))) return;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        ScriptedSource::AwaitClose(peer, 500000);
    };
}

TEST(FrameReceiver, HandshakeStatusesAndCallOrder) {
    ComPtr<IFrameReceiver> receiver = QuickReceiver();
    Sink sink;
    IUnknown* frame = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(receiver->GrabFrame(&frame), E_FAIL);
    EXPECT_EQ(frame, nullptr);
    EXPECT_EQ(receiver->StartReceiving(&sink, nullptr), E_FAIL);
    EXPECT_EQ(receiver->StopReceiving(), S_FALSE);
    EXPECT_EQ(receiver->Disconnect(), S_OK);
    EXPECT_EQ(receiver->Connect(nullptr, 45000), E_POINTER);
    EXPECT_EQ(receiver->Connect("localhost", 45000), E_INVALIDARG);  // never resolved
    EXPECT_EQ(receiver->Connect("127.0.0.1", 0), E_INVALIDARG);
    EXPECT_EQ(receiver->GrabFrame(nullptr), E_POINTER);

    uint16_t freePort = 0;
    {
        platform::TcpListener probe;
        ASSERT_TRUE(probe.Listen(kLoopback, 0, 1));
        freePort = probe.Port();
    }
    EXPECT_EQ(receiver->Connect("127.0.0.1", freePort), MIRVALE_E_REFUSED);

    const Bytes welcomeV2 = ScriptedSource::Bytes(mirvale::EncodeWelcome({2, 0, 8, 4, 30, 1}));
    struct Case { const char* what; Bytes answer; HRESULT expected; };
    const Case cases[] = {
        {"garbage", Bytes(40, 0x5A), MIRVALE_E_BADDATA},
        {"closed at once", Bytes(), MIRVALE_E_BADDATA},
        {"welcome version 2", welcomeV2, MIRVALE_E_VERSION},
        {"silent", Bytes(1, 0), MIRVALE_E_TIMEDOUT},  // one byte, then nothing
    };
    for (const Case& c : cases) {
        ScriptedSource source([&](TcpSocket& peer, int) {
            ScriptedSource::ReadBytes(peer, mirvale::kHeaderSize + 4);
            ScriptedSource::Send(peer, c.answer);
            if (c.expected == MIRVALE_E_TIMEDOUT) ScriptedSource::AwaitClose(peer);
        });
        const Clock::time_point start = Clock::now();
        EXPECT_EQ(receiver->Connect("127.0.0.1", source.Port()), c.expected) << c.what;
        EXPECT_LT(SecondsSince(start), 1.0) << c.what;
        EXPECT_EQ(receiver->GrabFrame(&frame), E_FAIL) << c.what << ": a failed Connect leaves no connection";
    }
}

TEST(FrameReceiver, FramesArrivePixelExactInOrderAcrossSizeChanges) {
    const std::vector<std::pair<uint32_t, uint32_t>> sizes = {{8, 4}, {3, 7}, {640, 480}, {1, 1}};
    ScriptedSource source(Streamer(sizes, 24));
    ComPtr<IFrameReceiver> receiver = NewReceiver();
    Sink sink;
    ASSERT_EQ(receiver->Connect("127.0.0.1", source.Port()), S_OK);
    ASSERT_EQ(receiver->StartReceiving(&sink, nullptr), S_OK);
    EXPECT_EQ(receiver->StartReceiving(&sink, nullptr), S_FALSE);
    EXPECT_EQ(receiver->Connect("127.0.0.1", source.Port()), E_FAIL);
    ASSERT_TRUE(sink.WaitFor(24));
    EXPECT_EQ(receiver->StopReceiving(), S_OK);
    const std::vector<Picture> pictures = sink.Pictures();
    ASSERT_EQ(pictures.size(), 24u);
    for (size_t n = 0; n < pictures.size(); ++n) {
        const auto& size = sizes[n % sizes.size()];
        EXPECT_TRUE(IsCounter(pictures[n], n, size.first, size.second)) << "frame " << n;
        EXPECT_EQ(pictures[n].format.FrameRateNumerator, 30u);
    }
}

// After one good frame, a bad input at each place of a frame (every rule:
// the codec's test): GrabFrame fails, nothing partial is handed out, and the
// next GrabFrame connects again and gets a whole frame.
TEST(FrameReceiver, BadInputDropsTheConnectionAndNeverAPartialFrame) {
    auto frame = [](uint32_t w, uint32_t h) { return ScriptedSource::CounterFrame(5, w, h); };
    auto patched = [](Bytes bytes, size_t at, uint32_t value) {
        mirvale::PutU32(bytes.data() + at, value);
        return bytes;
    };
    Bytes truncated = frame(8, 4);
    truncated.resize(truncated.size() - 10);
    struct Case { const char* what; Bytes bad; HRESULT expected; };
    const Case cases[] = {
        {"truncated, then closed", truncated, MIRVALE_E_BADDATA},
        {"too few pixels for its size", patched(frame(8, 4), 28, 9), MIRVALE_E_BADDATA},
        {"4001 wide", patched(frame(8, 4), 28, 4001), MIRVALE_E_BADDATA},
        {"bad magic", patched(frame(8, 4), 0, 0x12345678), MIRVALE_E_BADDATA},
        {"bad version", patched(frame(8, 4), 4, 0x00040002), MIRVALE_E_VERSION},
    };
    for (const Case& c : cases) {
        ScriptedSource source([&](TcpSocket& peer, int connection) {
            if (!ScriptedSource::Greet(peer) || ScriptedSource::ReadRequest(peer) != 1) return;
            ScriptedSource::Send(peer, connection == 0 ? c.bad : ScriptedSource::CounterFrame(9, 8, 4));
            if (connection == 0 && c.bad.size() != truncated.size()) ScriptedSource::AwaitClose(peer);
        });
        ComPtr<IFrameReceiver> receiver = NewReceiver();
        ASSERT_EQ(receiver->Connect("127.0.0.1", source.Port()), S_OK);
        IUnknown* got = reinterpret_cast<IUnknown*>(1);
        EXPECT_EQ(receiver->GrabFrame(&got), c.expected) << c.what;
        EXPECT_EQ(got, nullptr) << c.what;
        ASSERT_EQ(receiver->GrabFrame(&got), S_OK) << c.what;
        EXPECT_TRUE(IsCounter(Read(got), 9, 8, 4)) << c.what;
        got->Release();
    }
}

TEST(FrameReceiver, LostSourceIsReconnectedToTheSameSink) {
    std::unique_ptr<ScriptedSource> source = std::make_unique<ScriptedSource>(Streamer({{8, 4}}, 3));
    const uint16_t port = source->Port();
    ComPtr<IFrameReceiver> receiver = NewReceiver();
    Sink sink;
    ASSERT_EQ(receiver->Connect("127.0.0.1", port), S_OK);
    ASSERT_EQ(receiver->StartReceiving(&sink, nullptr), S_OK);
    ASSERT_TRUE(sink.WaitFor(3));
    source.reset();  // killed
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    source = std::make_unique<ScriptedSource>(Streamer({{2, 2}}, 2), port);  // restarted
    ASSERT_TRUE(sink.WaitFor(5, 6)) << "no frame after the restart";
    const std::vector<Picture> pictures = sink.Pictures();
    EXPECT_TRUE(IsCounter(pictures[3], 0, 2, 2));
    uint64_t delivered = 0, dropped = 0, reconnects = 0;
    EXPECT_EQ(receiver->GetCounts(&delivered, &dropped, &reconnects), S_OK);
    EXPECT_EQ(delivered, 5u);
    EXPECT_GE(reconnects, 1u);
    EXPECT_EQ(receiver->Disconnect(), S_OK);
}

// The first connection sends frame 0, then hangs in one way; the receiver's
// limits must notice it, drop the half-read frame and connect again, where
// frames 10 and on follow. Heartbeats between frames are no hang.
TEST(FrameReceiver, HungSourceIsNoticedAndConnectedAgain) {
    enum class Hang { MidFrame, Trickle, Silent, HeartbeatsOnly };
    const std::pair<const char*, Hang> cases[] = {{"stalls mid-frame", Hang::MidFrame},
                                                  {"trickles one byte at a time", Hang::Trickle},
                                                  {"silent between frames", Hang::Silent},
                                                  {"heartbeats, then frames", Hang::HeartbeatsOnly}};
    for (const auto& [what, hang] : cases) {
        ScriptedSource source([hang = hang](TcpSocket& peer, int connection) {
            if (!ScriptedSource::Greet(peer) || ScriptedSource::ReadRequest(peer) != 2) return;
            const uint64_t first = connection == 0 ? 0 : 10;
            if (!ScriptedSource::Send(peer, ScriptedSource::CounterFrame(first, 8, 4))) return;
            const Bytes next = ScriptedSource::CounterFrame(first + 1, 8, 4);
            if (connection == 0 && hang == Hang::MidFrame) {
                ScriptedSource::Send(peer, Bytes(next.begin(), next.begin() + 50));
            } else if (connection == 0 && hang == Hang::Trickle) {
                ScriptedSource::Send(peer, Bytes(next.begin(), next.begin() + mirvale::kFrameHeaderSize));
                for (size_t i = mirvale::kFrameHeaderSize; i < next.size() && ScriptedSource::Send(peer, Bytes(1, next[i])); ++i) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(40));
                }
            } else if (connection == 0 && hang == Hang::HeartbeatsOnly) {
                for (int i = 0; i < 8; ++i) {
                    ScriptedSource::Send(peer, ScriptedSource::Bytes(mirvale::EncodeHeartbeat()));
                    std::this_thread::sleep_for(std::chrono::milliseconds(60));
                }
            }
            if (connection == 0 && hang != Hang::HeartbeatsOnly) return ScriptedSource::AwaitClose(peer);
            for (uint64_t n = first + 1; n < first + 3; ++n) ScriptedSource::Send(peer, ScriptedSource::CounterFrame(n, 8, 4));
            ScriptedSource::AwaitClose(peer);
        });
        ComPtr<IFrameReceiver> receiver = QuickReceiver();
        Sink sink;
        ASSERT_EQ(receiver->Connect("127.0.0.1", source.Port()), S_OK) << what;
        ASSERT_EQ(receiver->StartReceiving(&sink, nullptr), S_OK) << what;
        ASSERT_TRUE(sink.WaitFor(3)) << what;
        EXPECT_EQ(receiver->StopReceiving(), S_OK);
        const std::vector<Picture> pictures = sink.Pictures();
        const uint64_t resumed = hang == Hang::HeartbeatsOnly ? 1 : 10;
        EXPECT_TRUE(IsCounter(pictures[0], 0, 8, 4)) << what;
        EXPECT_TRUE(IsCounter(pictures[1], resumed, 8, 4)) << what << ": no part of the hung frame";
        EXPECT_TRUE(IsCounter(pictures[2], resumed + 1, 8, 4)) << what;
        uint64_t delivered = 0, dropped = 0, reconnects = 0;
        EXPECT_EQ(receiver->GetCounts(&delivered, &dropped, &reconnects), S_OK);
        EXPECT_EQ(reconnects, hang == Hang::HeartbeatsOnly ? 0u : 1u) << what;
    }
}

TEST(FrameReceiver, StopIsPromptDuringAStallAndAfterASlowCallback) {
    // Stall: half a frame, then nothing.
    ScriptedSource stalling([](TcpSocket& peer, int) {
        if (!ScriptedSource::Greet(peer) || ScriptedSource::ReadRequest(peer) != 2) return;
        Bytes half = ScriptedSource::CounterFrame(0, 64, 64);
        half.resize(half.size() / 2);
        ScriptedSource::Send(peer, half);
        ScriptedSource::AwaitClose(peer);
    });
    ComPtr<IFrameReceiver> receiver = NewReceiver();
    Sink sink;
    ASSERT_EQ(receiver->Connect("127.0.0.1", stalling.Port()), S_OK);
    ASSERT_EQ(receiver->StartReceiving(&sink, nullptr), S_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    Clock::time_point start = Clock::now();
    EXPECT_EQ(receiver->StopReceiving(), S_OK);
    EXPECT_LT(SecondsSince(start), 0.5);
    EXPECT_EQ(sink.Count(), 0u);

    // Slow callback: Stop waits for the running call, and none follows.
    ScriptedSource fast(Streamer({{4, 4}}));
    Sink slow(false, 150);
    ASSERT_EQ(receiver->Connect("127.0.0.1", fast.Port()), S_OK);
    ASSERT_EQ(receiver->StartReceiving(&slow, nullptr), S_OK);
    ASSERT_TRUE(slow.WaitFor(1));
    start = Clock::now();
    EXPECT_EQ(receiver->StopReceiving(), S_OK);
    slow.MarkStopped();
    EXPECT_LT(SecondsSince(start), 0.5);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(slow.CalledAfterStop());
    EXPECT_EQ(receiver->StopReceiving(), S_FALSE);
}

TEST(FrameReceiver, KeptFramesExhaustThePoolButNeverChangeAndGrabsStillWork) {
    ScriptedSource source(Streamer({{16, 8}, {5, 3}}));
    ComPtr<IFrameReceiver> receiver = NewReceiver();
    Sink keeper(true);
    ASSERT_EQ(receiver->Connect("127.0.0.1", source.Port()), S_OK);
    ASSERT_EQ(receiver->StartReceiving(&keeper, nullptr), S_OK);
    ASSERT_TRUE(keeper.WaitFor(4));
    // While the sink holds all four, frames are read and dropped; a grab
    // still gets one.
    IUnknown* grabbed = nullptr;
    ASSERT_EQ(receiver->GrabFrame(&grabbed), S_OK);
    const Picture grabbedPicture = Read(grabbed);
    EXPECT_TRUE(grabbedPicture.format.Width == 16 || grabbedPicture.format.Width == 5);
    uint64_t delivered = 0, dropped = 0, reconnects = 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(receiver->GetCounts(&delivered, &dropped, &reconnects), S_OK);
    EXPECT_EQ(delivered, 4u);
    EXPECT_GT(dropped, 0u);
    EXPECT_EQ(receiver->StopReceiving(), S_OK);
    receiver.Reset();  // the receiver and its pool go; kept frames stay valid
    for (size_t n = 0; n < 4; ++n) {
        const Picture now = Read(keeper.Kept()[n].Get());
        EXPECT_TRUE(IsCounter(now, n, n % 2 == 0 ? 16 : 5, n % 2 == 0 ? 8 : 3)) << n;
    }
    grabbed->Release();  // a plain Release frees a grabbed frame
}

// The sink holds every image, so the next frame is read straight into the
// waiting grab's image; the grab times out while that frame still trickles
// in. The late bytes must not land in a freed image, and the next grab gets
// a whole frame.
TEST(FrameReceiver, GrabTimingOutWhileItsFrameIsStillArriving) {
    ScriptedSource source([](TcpSocket& peer, int) {
        if (!ScriptedSource::Greet(peer) || ScriptedSource::ReadRequest(peer) != 2) return;
        for (uint64_t n = 0; n < 4; ++n) ScriptedSource::Send(peer, ScriptedSource::CounterFrame(n, 8, 4));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));  // the test's grab begins
        const Bytes slow = ScriptedSource::CounterFrame(4, 8, 4);
        for (size_t at = 0; at < slow.size(); at += 16) {
            ScriptedSource::Send(peer, Bytes(slow.begin() + at, slow.begin() + std::min(at + 16, slow.size())));
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
        }
        for (uint64_t n = 5; n < 400 && ScriptedSource::Send(peer, ScriptedSource::CounterFrame(n, 8, 4)); ++n) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    mirvale::ReceiveTimings timings = Quick();
    timings.grabWaitMs = 150;
    timings.frameMs = 2000;
    timings.silenceMs = 1000;
    ComPtr<IFrameReceiver> receiver = QuickReceiver(timings);
    Sink keeper(true);
    ASSERT_EQ(receiver->Connect("127.0.0.1", source.Port()), S_OK);
    ASSERT_EQ(receiver->StartReceiving(&keeper, nullptr), S_OK);
    ASSERT_TRUE(keeper.WaitFor(4));
    IUnknown* grabbed = nullptr;
    EXPECT_EQ(receiver->GrabFrame(&grabbed), MIRVALE_E_TIMEDOUT);
    EXPECT_EQ(grabbed, nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the slow frame ends
    ASSERT_EQ(receiver->GrabFrame(&grabbed), S_OK);
    const Picture picture = Read(grabbed);
    grabbed->Release();
    ASSERT_EQ(picture.pixels.size(), 8u * 4 * 3);
    EXPECT_TRUE(IsCounter(picture, picture.pixels[0], 8, 4)) << "a whole frame";
    EXPECT_EQ(receiver->Disconnect(), S_OK);
}

TEST(FrameReceiver, GrabWhileStreamingAndWithoutZendra) {
    ScriptedSource source(Streamer({{8, 4}}));
    ComPtr<IFrameReceiver> receiver = NewReceiver();
    Sink sink;
    ASSERT_EQ(receiver->Connect("127.0.0.1", source.Port()), S_OK);
    ASSERT_EQ(receiver->StartReceiving(&sink, nullptr), S_OK);
    ASSERT_TRUE(sink.WaitFor(2));
    for (int i = 0; i < 3; ++i) {
        IUnknown* grabbed = nullptr;
        ASSERT_EQ(receiver->GrabFrame(&grabbed), S_OK);
        const Picture picture = Read(grabbed);
        grabbed->Release();
        EXPECT_EQ(picture.format.Width, 8u);
        EXPECT_EQ(picture.pixels.size(), 8u * 4 * 3);
    }
    const size_t before = sink.Count();
    EXPECT_TRUE(sink.WaitFor(before + 2)) << "grabs must not stall the stream";
    EXPECT_EQ(receiver->Disconnect(), S_OK);

    // Mirvale alone in a folder beside the test's (one drive, also under
    // Wine): nothing to make images with.
    const std::string name = platform::SharedLibrary::FileNameFor("Mirvale");
    const std::filesystem::path here = std::filesystem::path(platform::SharedLibrary::PathOfThisBinary()).parent_path();
    std::error_code ignored;
    std::filesystem::remove_all(here / "mirvale-alone", ignored);
    std::filesystem::create_directory(here / "mirvale-alone");
    std::filesystem::copy_file(here / name, here / "mirvale-alone" / name);
    const ModuleLoader lonely((std::filesystem::path("mirvale-alone") / name).string());
    ASSERT_NE(lonely.Entry(), nullptr);
    ComPtr<IFrameReceiver> alone = NewReceiver(lonely);
    ASSERT_EQ(alone->Connect("127.0.0.1", source.Port()), S_OK);
    EXPECT_EQ(alone->StartReceiving(&sink, nullptr), E_HANDLE);
    IUnknown* grabbed = nullptr;
    EXPECT_EQ(alone->GrabFrame(&grabbed), E_HANDLE);
}

}  // namespace
}  // namespace optivane::test
