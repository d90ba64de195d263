// The deliverer with the real Zendra stand-in. Waits are generous; nothing
// depends on timing but the pacing of pushes.
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
#include <vector>

#include "frame/modules/ModuleLoader.h"
#include "optivane/optivane.h"
#include "platform/ManualResetEvent.h"
#include "platform/SharedLibrary.h"
#include "video/CVideoCallbacker.h"

namespace optivane::test {
namespace {

constexpr uint32_t kWidth = 16;
constexpr uint32_t kHeight = 8;
const FrameFormat kFormat{0, kWidth, kHeight, 2, 1, 30, 1};

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
        Delivered seen{};
        seen.context = context;
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
    size_t Count() const { return Frames().size(); }

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

// A uniform frame, small Mono8 or large BayerRG8; half: half as long as needed.
HRESULT Push(CVideoCallbacker& deliverer, uint8_t value, int64_t time, bool large = false, bool half = false) {
    static const FrameFormat kLarge{0, 1280, 960, 4, 3, 30, 1};
    const FrameFormat& format = large ? kLarge : kFormat;
    const std::vector<uint8_t> frame(format.Width * format.Height / (half ? 2 : 1), value);
    return deliverer.PushFrame(&format, large ? PixelFormatBayerRG8 : PixelFormatMono8, frame.data(),
                               static_cast<uint32_t>(frame.size()), time);
}

void Prepare(CVideoCallbacker& deliverer, RecordingSink* sink, int32_t raw = 5, int32_t images = 8) {
    ASSERT_EQ(deliverer.CreateTasks(), S_OK);
    ASSERT_EQ(deliverer.CreatePools(raw, images), S_OK) << "libZendra must lie beside the test";
    ASSERT_EQ(deliverer.SetSink(sink, sink), S_OK);
    ASSERT_EQ(deliverer.Start(), S_OK);
}

TEST(DelivererFlow, FramesOfMixedSizesArriveInPushOrderWithTimeTransformAndContents) {
    // Large frames alternate with small ones: a later small frame is often
    // converted before the large one ahead of it. Frame 5 is turned, frame 7
    // must get the pushed format back, frame 9 is half a frame (grey).
    RecordingSink sink;
    CVideoCallbacker deliverer;
    Prepare(deliverer, &sink);
    const auto taskFree = [&] { return deliverer.Produced() - deliverer.Consumed() < CVideoCallbacker::kTaskCount; };
    constexpr int kFrames = 20;
    for (int i = 0; i < kFrames; ++i) {
        ASSERT_TRUE(WaitUntil(taskFree));
        deliverer.SetTransform(i == 5 ? 90 : 0, i == 5 ? 1 : 0);
        ASSERT_EQ(Push(deliverer, static_cast<uint8_t>(i * 10), 1000 + i * 37, i % 2 == 0, i == 9), S_OK);
    }
    ASSERT_TRUE(WaitUntil([&] { return sink.Count() == kFrames; }));
    deliverer.Stop();
    const std::vector<Delivered> frames = sink.Frames();
    ASSERT_EQ(frames.size(), static_cast<size_t>(kFrames));
    for (int i = 0; i < kFrames; ++i) {
        SCOPED_TRACE(i);
        const Delivered& seen = frames[static_cast<size_t>(i)];
        EXPECT_EQ(seen.context, &sink);
        const int64_t time = 1000 + i * 37;  // the push time in microseconds, as both times
        EXPECT_EQ(std::tie(seen.start.Value, seen.start.UnitsPerSecond, seen.end.Value, seen.end.UnitsPerSecond),
                  std::make_tuple(time, int64_t{1000000}, time, int64_t{1000000}));
        EXPECT_EQ(seen.format.Width, i % 2 == 0 ? 1280u : i == 5 ? kHeight : kWidth);
        EXPECT_EQ(seen.format.AspectX, i % 2 == 0 ? 4u : i == 5 ? 1u : 2u);
        const int value = i == 9 ? 128 : i * 10;
        EXPECT_EQ(std::vector<int>(seen.firstPixel, seen.firstPixel + 3), std::vector<int>(3, value));
        // Held by the delivery thread, and by the pusher until PushFrame returns.
        EXPECT_TRUE(seen.holds == 1 || seen.holds == 2) << seen.holds;
    }
    EXPECT_EQ(deliverer.Consumed(), kFrames);
}

TEST(DelivererFlow, BlockedSinkAtThirtyFramesPerSecondDropsBeyondFourAndResumesInOrder) {
    RecordingSink sink(true);
    CVideoCallbacker deliverer;
    Prepare(deliverer, &sink);
    int64_t time = 1;
    ASSERT_EQ(Push(deliverer, 0, time++), S_OK);
    ASSERT_TRUE(WaitUntil([&] { return sink.Count() == 1; }));
    // A second at 30 frames per second while the sink holds the first, then ten more.
    const auto period = std::chrono::microseconds(33333);
    auto next = std::chrono::steady_clock::now();
    int64_t firstAfterRelease = 0;
    for (int i = 1; i <= 40; ++i) {
        if (i == 31) {
            // The one in the sink and three behind it; the rest were dropped.
            EXPECT_EQ(deliverer.Produced(), 4);
            EXPECT_EQ(deliverer.Consumed(), 0);
            sink.Release();
            firstAfterRelease = time;
        }
        next += period;
        std::this_thread::sleep_until(next);
        EXPECT_EQ(Push(deliverer, static_cast<uint8_t>(i), time++), S_OK);
        EXPECT_LE(deliverer.Produced() - deliverer.Consumed(), CVideoCallbacker::kTaskCount) << "push " << i;
    }
    ASSERT_TRUE(AllDelivered(deliverer));
    deliverer.Stop();
    const std::vector<Delivered> frames = sink.Frames();
    ASSERT_GE(frames.size(), 5u);
    EXPECT_TRUE(std::adjacent_find(frames.begin(), frames.end(), [](auto& a, auto& b) {
                    return b.start.Value <= a.start.Value;
                }) == frames.end()) << "out of order";
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(frames[i].start.Value, static_cast<int64_t>(i + 1));
    EXPECT_GE(frames[4].start.Value, firstAfterRelease) << "delivery resumes after the sink returned";
    EXPECT_EQ(static_cast<int64_t>(frames.size()), deliverer.Consumed());
}

TEST(DelivererFlow, StopOrDestructionDeliversThePendingFramesBeforeTheThreadEnds) {
    for (bool destroy : {false, true}) {
        RecordingSink sink(true);
        auto deliverer = std::make_unique<CVideoCallbacker>();
        Prepare(*deliverer, &sink);
        // The first frame blocks the sink; three more wait in the ring.
        ASSERT_EQ(Push(*deliverer, 0, 10), S_OK);
        ASSERT_TRUE(WaitUntil([&] { return sink.Count() == 1; }));
        for (int i = 1; i < 4; ++i) ASSERT_EQ(Push(*deliverer, static_cast<uint8_t>(i), 10 + i), S_OK);
        auto stopped = std::async(std::launch::async, [&] {
            if (destroy) {
                deliverer.reset();
            } else {
                EXPECT_EQ(deliverer->Stop(), S_OK);
                EXPECT_EQ(deliverer->Consumed(), 4);
            }
        });
        EXPECT_EQ(stopped.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout) << "stop must wait";
        sink.Release();
        stopped.get();
        const std::vector<Delivered> frames = sink.Frames();
        ASSERT_EQ(frames.size(), 4u) << "destroy " << destroy;
        for (int i = 0; i < 4; ++i) EXPECT_EQ(frames[static_cast<size_t>(i)].start.Value, 10 + i);
    }
}

// A run torn down right after its pushes: jobs still waiting for their turns
// must not keep the stop or the deletion of the ring waiting.
TEST(DelivererFlow, RingTornDownRightAfterTwoPushesGoesAway) {
    // Small frames: the pushes outrun the workers' wake-ups. Without the
    // tear-down's care this hung within a few rounds.
    for (int round = 0; round < 50; ++round) {
        CVideoCallbacker deliverer;
        Prepare(deliverer, nullptr, 2, 2);
        for (int i = 0; i < 2; ++i) ASSERT_EQ(Push(deliverer, 1, i), S_OK);
        auto released = std::async(std::launch::async, [&] {
            deliverer.Stop();
            return deliverer.ReleaseResources();
        });
        ASSERT_EQ(released.wait_for(std::chrono::seconds(60)), std::future_status::ready) << "round " << round;
        EXPECT_EQ(released.get(), S_OK);
    }
}

TEST(DelivererPools, UnfilledImagePoolReturnsTheFailureKeepsItsImageAndRawSamplesComeBack) {
    // The stand-in makes one frame image per pool, then E_OUTOFMEMORY.
    RecordingSink sink(true);
    CVideoCallbacker deliverer(ModuleLoader::ForSibling("VideoTestZendra"));
    ASSERT_EQ(deliverer.CreateTasks(), S_OK);
    ASSERT_EQ(deliverer.CreatePools(2, 8), E_OUTOFMEMORY) << "libVideoTestZendra must lie beside the test";
    // A run whose pools could not be filled goes no further.
    EXPECT_EQ(deliverer.SetSink(&sink, &sink), E_UNEXPECTED);
    EXPECT_EQ(deliverer.CurrentState(), CVideoCallbacker::State::TasksCreated);
    EXPECT_EQ(deliverer.ReleaseResources(), S_OK);
}

TEST(DelivererGuards, EveryCallOutOfOrderIsRefusedAndRunsWithOrWithoutSinkFollowEachOther) {
    CVideoCallbacker missing(ModuleLoader(platform::SharedLibrary::FileNameFor("NoSuchZendra")));
    EXPECT_EQ(missing.CreateTasks(), S_OK);
    EXPECT_EQ(missing.CreatePools(5, 8), E_HANDLE);
    EXPECT_EQ(Push(missing, 1, 1), E_UNEXPECTED);

    RecordingSink sink;
    CVideoCallbacker deliverer;
    using State = CVideoCallbacker::State;
    const uint8_t byte = 1;
    // Each call before its turn: refused, and the state stays.
    const std::function<HRESULT()> calls[] = {
        [&] { return deliverer.CreateTasks(); },      [&] { return deliverer.CreatePools(2, 2); },
        [&] { return deliverer.SetSink(&sink, &sink); }, [&] { return deliverer.Start(); },
        [&] { return Push(deliverer, 3, 0); }};
    for (size_t step = 0; step < 4; ++step) {
        for (size_t early = step + 1; early < 5; ++early) {
            const State before = deliverer.CurrentState();
            EXPECT_EQ(calls[early](), E_UNEXPECTED) << "call " << early << " at step " << step;
            EXPECT_EQ(deliverer.CurrentState(), before);
        }
        if (step == 1) {
            EXPECT_EQ(deliverer.CreatePools(-1, 2), E_INVALIDARG);
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
    EXPECT_EQ(deliverer.CurrentState(), State::Empty);

    // The second run has no sink: its images must still go back to the pools of two.
    for (int run = 0; run < 2; ++run) {
        Prepare(deliverer, run == 0 ? &sink : nullptr, 2, 2);
        EXPECT_EQ(deliverer.Produced(), 0);
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
    EXPECT_EQ(sink.Count(), 12u);
}

}  // namespace
}  // namespace optivane::test
