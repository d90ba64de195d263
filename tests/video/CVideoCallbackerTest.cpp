// The deliverer with the real Zendra stand-in. Waits are generous; nothing
// depends on timing.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "frame/modules/ModuleLoader.h"
#include "optivane/optivane.h"
#include "platform/ManualResetEvent.h"
#include "video/CVideoCallbacker.h"

namespace optivane::test {
namespace {

constexpr uint32_t kWidth = 16;
constexpr uint32_t kHeight = 8;
const FrameFormat kFormat{0, kWidth, kHeight, 2, 1, 30, 1};
constexpr int kTaskCount = CVideoCallbacker::kTaskCount;

// What the sink saw of one frame, read inside OnFrame.
struct Delivered {
    void* context;
    FrameTime start, end;
    FrameFormat format;
    uint8_t firstPixel[3];
    uint32_t holds;
};

// Records every frame; when blocking, its first OnFrame waits for Release().
class RecordingSink : public IAravisCameraCallback {
public:
    explicit RecordingSink(bool blockFirst = false) : m_release(!blockFirst) {}
    HRESULT OnFrame(int32_t, void* context, IUnknown* frame) override {
        auto* image = static_cast<IFrameImage*>(frame);
        Delivered seen{context};
        image->GetTime(&seen.start, &seen.end);
        image->GetFormat(&seen.format);
        image->GetHoldCount(&seen.holds);
        uint8_t* data = nullptr;
        uint32_t size = 0;
        if (SUCCEEDED(image->GetBuffer(&data, &size)) && size >= 3) std::copy(data, data + 3, seen.firstPixel);
        std::unique_lock<std::mutex> lock(m_mutex);
        m_frames.push_back(seen);
        const bool first = m_frames.size() == 1;
        lock.unlock();
        if (first) m_release.WaitFor(60000);  // blocked: gives up only after a minute
        return S_OK;
    }
    void Release() { m_release.Set(); }
    std::vector<Delivered> Frames() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_frames;
    }
    std::vector<int64_t> Times() const {
        std::vector<int64_t> times;
        for (const Delivered& seen : Frames()) times.push_back(seen.start.Value);
        return times;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Delivered> m_frames;
    platform::ManualResetEvent m_release;
};

// Polls for up to a minute.
bool WaitUntil(const std::function<bool()>& condition) {
    for (int i = 0; i < 30000 && !condition(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return condition();
}

bool AllDelivered(const CVideoCallbacker& deliverer) {
    return WaitUntil([&] { return deliverer.Consumed() == deliverer.Produced(); });
}

// A small Mono8 frame whose rows count up from value, or a uniform large
// BayerRG8 frame; half: half as long as needed.
HRESULT Push(CVideoCallbacker& deliverer, int value, int64_t time, bool large = false, bool half = false) {
    static const FrameFormat kLarge{0, 1280, 960, 4, 3, 30, 1};
    const FrameFormat& format = large ? kLarge : kFormat;
    std::vector<uint8_t> frame(format.Width * format.Height / (half ? 2 : 1));
    for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(value + (large ? 0 : i / kWidth));
    return deliverer.PushFrame(&format, large ? PixelFormatBayerRG8 : PixelFormatMono8, frame.data(),
                               static_cast<uint32_t>(frame.size()), time);
}

// Sized for the small frames: a large one grows what it passes through.
const FrameSizing kSmallFrames{kFormat, kWidth * kHeight, false};

void Prepare(CVideoCallbacker& deliverer, RecordingSink* sink, int32_t raw = 5, int32_t images = 8,
             const FrameSizing& sizing = kSmallFrames) {
    ASSERT_EQ(deliverer.CreateTasks(), S_OK);
    ASSERT_EQ(deliverer.CreatePools(raw, images, sizing), S_OK) << "libZendra must lie beside the test";
    ASSERT_EQ(deliverer.SetSink(sink, &deliverer), S_OK);  // the context: any pointer but the sink
    ASSERT_EQ(deliverer.Start(), S_OK);
}

TEST(DelivererFlow, FramesOfMixedSizesArriveInPushOrderWithTimeTransformAndContents) {
    // Large frames alternate with small ones: a later small frame is often
    // converted before the large one ahead of it. Frame 5 is flipped upside
    // down and turned right (its top-left pixel comes from the first row, as
    // without either), frame 7 must get the pushed format back, frame 9 is
    // half a frame (grey). The run is sized for the small frames, so each
    // large one grows the buffers it passes through, or for the large ones
    // and transformed, so that every frame fits what was made ahead, or not
    // at all: then the conversions take turns on OpenCV's pool instead of
    // converting on their own workers at once.
    for (const FrameSizing& sizing :
         {kSmallFrames, FrameSizing{{0, 1280, 960, 4, 3, 30, 1}, 1280 * 960, true}, FrameSizing{}}) {
        SCOPED_TRACE(sizing.format.Width);
        RecordingSink sink;
        CVideoCallbacker deliverer;
        Prepare(deliverer, &sink, 5, 8, sizing);
        constexpr int kFrames = 20;
        for (int i = 0; i < kFrames; ++i) {
            ASSERT_TRUE(WaitUntil([&] { return deliverer.Produced() - deliverer.Consumed() < kTaskCount; }));
            deliverer.SetTransform(i == 5 ? 90 : 0, i == 5 ? 1 : 0);
            ASSERT_EQ(Push(deliverer, i * 10, 1000 + i * 37, i % 2 == 0, i == 9), S_OK);
        }
        ASSERT_TRUE(AllDelivered(deliverer));
        deliverer.Stop();
        const std::vector<Delivered> frames = sink.Frames();
        ASSERT_EQ(frames.size(), static_cast<size_t>(kFrames));
        for (int i = 0; i < kFrames; ++i) {
            SCOPED_TRACE(i);
            const Delivered& seen = frames[static_cast<size_t>(i)];
            EXPECT_EQ(seen.context, &deliverer);
            const int64_t time = 1000 + i * 37;  // the push time in microseconds, as both times
            EXPECT_EQ(std::tie(seen.start.Value, seen.start.UnitsPerSecond, seen.end.Value, seen.end.UnitsPerSecond),
                      std::make_tuple(time, int64_t{1000000}, time, int64_t{1000000}));
            EXPECT_EQ(std::make_pair(seen.format.Width, seen.format.AspectX),
                      i % 2 == 0 ? std::make_pair(1280u, 4u) : std::make_pair(i == 5 ? kHeight : kWidth, i == 5 ? 1u : 2u));
            const int value = i == 9 ? 128 : i * 10;
            EXPECT_EQ(std::vector<int>(seen.firstPixel, seen.firstPixel + 3), std::vector<int>(3, value));
            // Held by the delivery thread, and by the pusher until PushFrame returns.
            EXPECT_TRUE(seen.holds == 1 || seen.holds == 2) << seen.holds;
        }
    }
}

TEST(DelivererFlow, BlockedSinkDropsBeyondFourPendingAndStopOrDestructionDeliversThoseFirst) {
    // The first frame blocks the sink; three more wait in the ring, the rest
    // are dropped. Stop or destruction waits for the four; after Stop the same
    // ring delivers again, in order.
    for (bool destroy : {false, true}) {
        RecordingSink sink(true);
        auto deliverer = std::make_unique<CVideoCallbacker>();
        Prepare(*deliverer, &sink);
        ASSERT_EQ(Push(*deliverer, 1, 1), S_OK);
        ASSERT_TRUE(WaitUntil([&] { return !sink.Frames().empty(); }));
        for (int i = 2; i <= 30; ++i) EXPECT_EQ(Push(*deliverer, i, i), S_OK) << "frame " << i;
        EXPECT_EQ(std::make_pair(deliverer->Produced(), deliverer->Consumed()), std::make_pair(int64_t{4}, int64_t{0}));
        auto stopped =
            std::async(std::launch::async, [&] { return destroy ? (deliverer.reset(), S_OK) : deliverer->Stop(); });
        EXPECT_EQ(stopped.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout) << "stop must wait";
        sink.Release();
        EXPECT_EQ(stopped.get(), S_OK);
        if (!destroy) {
            ASSERT_EQ(deliverer->Start(), S_OK);
            for (int i = 31; i <= 33; ++i) ASSERT_EQ(Push(*deliverer, i, i), S_OK);
            EXPECT_EQ(deliverer->Stop(), S_OK);
        }
        const std::vector<int64_t> pending{1, 2, 3, 4}, again{1, 2, 3, 4, 31, 32, 33};
        EXPECT_EQ(sink.Times(), destroy ? pending : again);
    }
}

TEST(DelivererGuards, EveryCallOutOfOrderIsRefusedAndRunsWithOrWithoutSinkFollowEachOther) {
    RecordingSink sink;
    using State = CVideoCallbacker::State;
    // Pools that cannot be filled: the failure comes back and the run goes no
    // further. No module at all; a stand-in that makes one frame image per
    // pool, then E_OUTOFMEMORY.
    for (const auto& [module, failure] : {std::make_pair("NoSuchZendra", E_HANDLE),
                                          std::make_pair("VideoTestZendra", E_OUTOFMEMORY)}) {
        CVideoCallbacker unfilled(ModuleLoader::ForSibling(module));
        ASSERT_EQ(unfilled.CreateTasks(), S_OK);
        ASSERT_EQ(unfilled.CreatePools(2, 8, kSmallFrames), failure) << module << " (libVideoTestZendra must lie beside the test)";
        EXPECT_EQ(unfilled.SetSink(&sink, &sink), E_UNEXPECTED);
        EXPECT_EQ(unfilled.CurrentState(), State::TasksCreated);
        EXPECT_EQ(unfilled.ReleaseResources(), S_OK);
    }

    CVideoCallbacker deliverer;
    const uint8_t byte = 1;
    // Each call before its turn: refused, and the state stays.
    const std::function<HRESULT()> calls[] = {
        [&] { return deliverer.CreateTasks(); },      [&] { return deliverer.CreatePools(2, 2, kSmallFrames); },
        [&] { return deliverer.SetSink(&sink, &sink); }, [&] { return deliverer.Start(); },
        [&] { return Push(deliverer, 3, 0); }};
    for (size_t step = 0; step < 4; ++step) {
        for (size_t early = step + 1; early < 5; ++early) {
            const State before = deliverer.CurrentState();
            EXPECT_EQ(calls[early](), E_UNEXPECTED) << "call " << early << " at step " << step;
            EXPECT_EQ(deliverer.CurrentState(), before);
        }
        if (step == 1) {
            EXPECT_EQ(deliverer.CreatePools(-1, 2, kSmallFrames), E_INVALIDARG);
            // Images cannot be sized for a picture this large: refused when
            // the pools are filled, not with the first frame.
            EXPECT_EQ(deliverer.CreatePools(2, 2, FrameSizing{{0, 40000, 20000, 2, 1, 30, 1}, 0, true}), E_INVALIDARG);
        }
        ASSERT_EQ(calls[step](), S_OK) << "step " << step;
        if (step > 0) {
            EXPECT_EQ(calls[step - 1](), E_UNEXPECTED) << "step " << step - 1 << " again";
        }
    }
    EXPECT_EQ(deliverer.ReleaseResources(), E_UNEXPECTED) << "while delivering";
    EXPECT_EQ(deliverer.Stop(), S_OK);
    EXPECT_EQ(deliverer.Stop(), S_FALSE);
    EXPECT_EQ(Push(deliverer, 1, 1), E_UNEXPECTED) << "after Stop";
    EXPECT_EQ(deliverer.ReleaseResources(), S_OK);

    // The second run has no sink: its images must still go back to the pools of two.
    for (int run = 0; run < 2; ++run) {
        Prepare(deliverer, run == 0 ? &sink : nullptr, 2, 2);
        EXPECT_EQ(deliverer.PushFrame(nullptr, PixelFormatMono8, &byte, 1, 1), E_POINTER);
        EXPECT_EQ(deliverer.PushFrame(&kFormat, PixelFormatMono8, nullptr, 1, 1), E_POINTER);
        for (int i = 0; i < 12; ++i) {  // small pools: one frame at a time
            ASSERT_TRUE(AllDelivered(deliverer));
            ASSERT_EQ(Push(deliverer, 3, i), S_OK) << "run " << run << " frame " << i;
        }
        deliverer.Stop();
        EXPECT_EQ(deliverer.Consumed(), 12);
        EXPECT_EQ(deliverer.ReleaseResources(), S_OK);
    }
    EXPECT_EQ(sink.Frames().size(), 12u);
}

}  // namespace
}  // namespace optivane::test
