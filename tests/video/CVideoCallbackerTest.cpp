// The deliverer with the real Zendra stand-in: push order kept through four
// parallel tasks, drops while four are pending, a stop that delivers what is
// pending, pool objects returning after use, pool filling failures and the
// guards of each operation. Waits are generous; nothing depends on timing
// except the pacing of pushes, and no assertion on how fast anything is.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
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
constexpr uint32_t kGateMilliseconds = 60000;  // a blocked sink gives up only after this

// What the sink saw of one frame, read inside OnFrame.
struct Delivered {
    int32_t status;
    void* context;
    FrameTime start;
    FrameTime end;
    FrameFormat format;
    uint8_t firstPixel[3];
    uint32_t holds;
};

class RecordingSink : public IAravisCameraCallback {
public:
    // With blockFirst, the first OnFrame waits until Release().
    explicit RecordingSink(bool blockFirst = false) : m_blockFirst(blockFirst) {}

    HRESULT OnFrame(int32_t status, void* context, IUnknown* frame) override {
        auto* image = static_cast<IFrameImage*>(frame);
        Delivered seen{};
        seen.status = status;
        seen.context = context;
        image->GetTime(&seen.start, &seen.end);
        image->GetFormat(&seen.format);
        image->GetHoldCount(&seen.holds);
        uint8_t* data = nullptr;
        uint32_t size = 0;
        if (SUCCEEDED(image->GetBuffer(&data, &size)) && size >= 3) std::copy(data, data + 3, seen.firstPixel);
        bool block = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_frames.push_back(seen);
            block = m_blockFirst && m_frames.size() == 1;
        }
        if (block) {
            m_entered.Set();
            m_release.WaitFor(kGateMilliseconds);
        }
        return S_OK;
    }

    bool WaitEntered() { return m_entered.WaitFor(kGateMilliseconds); }
    void Release() { m_release.Set(); }
    std::vector<Delivered> Frames() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_frames;
    }
    size_t Count() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_frames.size();
    }

private:
    const bool m_blockFirst;
    mutable std::mutex m_mutex;
    std::vector<Delivered> m_frames;
    platform::ManualResetEvent m_entered;
    platform::ManualResetEvent m_release;
};

bool WaitUntil(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

const FrameFormat kFormat{0, kWidth, kHeight, 2, 1, 30, 1};

// A Mono8 frame of one grey value.
std::vector<uint8_t> Grey(uint8_t value) { return std::vector<uint8_t>(kWidth * kHeight, value); }

HRESULT Push(CVideoCallbacker& deliverer, uint8_t value, int64_t time) {
    const std::vector<uint8_t> frame = Grey(value);
    return deliverer.PushFrame(&kFormat, PixelFormatMono8, frame.data(), static_cast<uint32_t>(frame.size()), time);
}

// Pushes only when a task is free, so that no frame is dropped.
HRESULT PushWhenFree(CVideoCallbacker& deliverer, uint8_t value, int64_t time) {
    EXPECT_TRUE(WaitUntil([&] { return deliverer.Produced() - deliverer.Consumed() < CVideoCallbacker::kTaskCount; }));
    return Push(deliverer, value, time);
}

void Prepare(CVideoCallbacker& deliverer, RecordingSink* sink, int32_t raw = 5, int32_t images = 8) {
    ASSERT_EQ(deliverer.CreateTasks(), S_OK);
    ASSERT_EQ(deliverer.CreatePools(raw, images), S_OK) << "libZendra must lie beside the test";
    deliverer.SetSink(sink, sink);
}

bool StrictlyIncreasing(const std::vector<Delivered>& frames) {
    for (size_t i = 1; i < frames.size(); ++i) {
        if (frames[i].start.Value <= frames[i - 1].start.Value) return false;
    }
    return true;
}

// --- delivery ---------------------------------------------------------------

TEST(DelivererFlow, EveryFrameArrivesInPushOrderWithItsTimeAndContents) {
    RecordingSink sink;
    CVideoCallbacker deliverer;
    Prepare(deliverer, &sink);
    ASSERT_TRUE(deliverer.Start());
    constexpr int kFrames = 20;
    for (int i = 0; i < kFrames; ++i) {
        ASSERT_EQ(PushWhenFree(deliverer, static_cast<uint8_t>(i * 10), 1000 + i * 37), S_OK);
    }
    ASSERT_TRUE(WaitUntil([&] { return sink.Count() == kFrames; }));
    deliverer.Stop();

    const std::vector<Delivered> frames = sink.Frames();
    ASSERT_EQ(frames.size(), static_cast<size_t>(kFrames));
    for (int i = 0; i < kFrames; ++i) {
        const Delivered& seen = frames[static_cast<size_t>(i)];
        EXPECT_EQ(seen.status, 0);
        EXPECT_EQ(seen.context, &sink);
        // The push time, in microseconds, as both times.
        EXPECT_EQ(seen.start.Value, 1000 + i * 37);
        EXPECT_EQ(seen.start.UnitsPerSecond, 1000000);
        EXPECT_EQ(seen.end.Value, 1000 + i * 37);
        EXPECT_EQ(seen.end.UnitsPerSecond, 1000000);
        EXPECT_EQ(seen.format.Width, kWidth);
        EXPECT_EQ(seen.format.Height, kHeight);
        EXPECT_EQ(seen.firstPixel[0], i * 10);
        EXPECT_EQ(seen.firstPixel[2], i * 10);
        // Lent to the sink with the delivery thread's hold, and the pushing
        // thread's own until its PushFrame has returned.
        EXPECT_GE(seen.holds, 1u);
        EXPECT_LE(seen.holds, 2u);
    }
    EXPECT_EQ(deliverer.Produced(), kFrames);
    EXPECT_EQ(deliverer.Consumed(), kFrames);
    EXPECT_EQ(deliverer.ReleaseResources(), S_OK);
}

TEST(DelivererFlow, TransformAndShortFramesReachTheImage) {
    RecordingSink sink;
    CVideoCallbacker deliverer;
    Prepare(deliverer, &sink);
    ASSERT_TRUE(deliverer.Start());
    deliverer.SetTransform(90, 1);
    ASSERT_EQ(PushWhenFree(deliverer, 40, 1), S_OK);
    deliverer.SetTransform(0, 0);
    ASSERT_EQ(PushWhenFree(deliverer, 41, 2), S_OK);
    // Half a frame: refused by the conversion, delivered grey.
    const std::vector<uint8_t> half(kWidth * kHeight / 2, 9);
    ASSERT_EQ(deliverer.PushFrame(&kFormat, PixelFormatMono8, half.data(), static_cast<uint32_t>(half.size()), 3), S_OK);
    ASSERT_TRUE(WaitUntil([&] { return sink.Count() == 3; }));
    deliverer.Stop();

    const std::vector<Delivered> frames = sink.Frames();
    EXPECT_EQ(frames[0].format.Width, kHeight);
    EXPECT_EQ(frames[0].format.Height, kWidth);
    EXPECT_EQ(frames[0].format.AspectX, 1u);
    EXPECT_EQ(frames[0].format.AspectY, 2u);
    EXPECT_EQ(frames[0].firstPixel[1], 40);
    // The pooled image got the pushed format again.
    EXPECT_EQ(frames[1].format.Width, kWidth);
    EXPECT_EQ(frames[1].firstPixel[1], 41);
    EXPECT_EQ(frames[2].firstPixel[0], 128);
    EXPECT_EQ(frames[2].firstPixel[1], 128);
}

TEST(DelivererFlow, SmallFramesFinishingFirstStillWaitForTheLargeOnesBefore) {
    // Large and small frames alternate as fast as they can be pushed, so a
    // later small frame is often converted before the large one ahead of it.
    RecordingSink sink;
    CVideoCallbacker deliverer;
    Prepare(deliverer, &sink);
    ASSERT_TRUE(deliverer.Start());
    const FrameFormat large{0, 1280, 960, 4, 3, 30, 1};
    const std::vector<uint8_t> largeFrame(1280 * 960, 77);
    const std::vector<uint8_t> smallFrame = Grey(5);
    for (int i = 0; i < 60; ++i) {
        const bool isLarge = i % 2 == 0;
        const std::vector<uint8_t>& frame = isLarge ? largeFrame : smallFrame;
        const HRESULT status = deliverer.PushFrame(isLarge ? &large : &kFormat,
                                                   isLarge ? PixelFormatBayerRG8 : PixelFormatMono8, frame.data(),
                                                   static_cast<uint32_t>(frame.size()), i + 1);
        EXPECT_EQ(status, S_OK);
        EXPECT_LE(deliverer.Produced() - deliverer.Consumed(), CVideoCallbacker::kTaskCount);
    }
    ASSERT_TRUE(WaitUntil([&] { return deliverer.Consumed() == deliverer.Produced(); }));
    deliverer.Stop();
    const std::vector<Delivered> frames = sink.Frames();
    EXPECT_EQ(static_cast<int64_t>(frames.size()), deliverer.Produced());
    EXPECT_TRUE(StrictlyIncreasing(frames));
    // Each image carries its own frame: the format and contents match the time.
    for (const Delivered& seen : frames) {
        const bool isLarge = seen.start.Value % 2 == 1;
        EXPECT_EQ(seen.format.Width, isLarge ? 1280u : kWidth) << "frame " << seen.start.Value;
        EXPECT_EQ(seen.firstPixel[1], isLarge ? 77 : 5) << "frame " << seen.start.Value;
    }
}

TEST(DelivererFlow, BlockedSinkAtThirtyFramesPerSecondDropsBeyondFourAndResumesInOrder) {
    RecordingSink sink(true);
    CVideoCallbacker deliverer;
    Prepare(deliverer, &sink);
    ASSERT_TRUE(deliverer.Start());

    int64_t time = 1;
    ASSERT_EQ(Push(deliverer, 0, time++), S_OK);
    ASSERT_TRUE(sink.WaitEntered());
    // A second of frames at 30 per second while the sink holds the first.
    const auto period = std::chrono::microseconds(33333);
    auto next = std::chrono::steady_clock::now();
    for (int i = 1; i <= 30; ++i) {
        next += period;
        std::this_thread::sleep_until(next);
        EXPECT_EQ(Push(deliverer, static_cast<uint8_t>(i), time++), S_OK);
        EXPECT_LE(deliverer.Produced() - deliverer.Consumed(), CVideoCallbacker::kTaskCount) << "push " << i;
    }
    // The one in the sink and three behind it; every other frame was dropped.
    EXPECT_EQ(deliverer.Produced(), 4);
    EXPECT_EQ(deliverer.Consumed(), 0);
    sink.Release();

    const int64_t firstAfterRelease = time;
    for (int i = 0; i < 10; ++i) {
        next += period;
        std::this_thread::sleep_until(next);
        EXPECT_EQ(Push(deliverer, 100, time++), S_OK);
        EXPECT_LE(deliverer.Produced() - deliverer.Consumed(), CVideoCallbacker::kTaskCount);
    }
    ASSERT_TRUE(WaitUntil([&] { return deliverer.Consumed() == deliverer.Produced(); }));
    deliverer.Stop();

    const std::vector<Delivered> frames = sink.Frames();
    ASSERT_GE(frames.size(), 5u);
    EXPECT_TRUE(StrictlyIncreasing(frames));
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(frames[i].start.Value, static_cast<int64_t>(i + 1));
    EXPECT_GE(frames[4].start.Value, firstAfterRelease) << "delivery resumes with frames pushed after the sink returned";
    EXPECT_EQ(static_cast<int64_t>(frames.size()), deliverer.Consumed());
}

TEST(DelivererFlow, StopDeliversThreePendingFramesBeforeTheThreadEnds) {
    RecordingSink sink;
    CVideoCallbacker deliverer;
    Prepare(deliverer, &sink);
    // Pushed before the delivery thread runs: all three wait in the ring.
    for (int i = 0; i < 3; ++i) ASSERT_EQ(Push(deliverer, static_cast<uint8_t>(i), 10 + i), S_OK);
    EXPECT_EQ(deliverer.Produced(), 3);
    ASSERT_TRUE(deliverer.Start());
    deliverer.Stop();
    const std::vector<Delivered> frames = sink.Frames();
    ASSERT_EQ(frames.size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(frames[static_cast<size_t>(i)].start.Value, 10 + i);
    EXPECT_EQ(deliverer.Consumed(), 3);
}

TEST(DelivererFlow, StopWhileTheSinkIsBusyStillDeliversWhatIsPending) {
    RecordingSink sink(true);
    CVideoCallbacker deliverer;
    Prepare(deliverer, &sink);
    ASSERT_TRUE(deliverer.Start());
    ASSERT_EQ(Push(deliverer, 0, 1), S_OK);
    ASSERT_TRUE(sink.WaitEntered());
    ASSERT_EQ(Push(deliverer, 1, 2), S_OK);
    ASSERT_EQ(Push(deliverer, 2, 3), S_OK);
    EXPECT_EQ(deliverer.Produced() - deliverer.Consumed(), 3);
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        sink.Release();
    });
    deliverer.Stop();
    releaser.join();
    EXPECT_EQ(sink.Count(), 3u);
    EXPECT_EQ(deliverer.Consumed(), 3);
}

TEST(DelivererFlow, WithoutSinkImagesGoBackAndCountersAdvance) {
    CVideoCallbacker deliverer;
    Prepare(deliverer, nullptr, 2, 2);
    ASSERT_TRUE(deliverer.Start());
    // Far more frames than pooled objects: each must have come back.
    for (int i = 0; i < 12; ++i) {
        ASSERT_EQ(Push(deliverer, 1, i), S_OK) << "frame " << i;
        ASSERT_TRUE(WaitUntil([&] { return deliverer.Consumed() == deliverer.Produced(); }));
    }
    deliverer.Stop();
    EXPECT_EQ(deliverer.Produced(), 12);
    EXPECT_EQ(deliverer.Consumed(), 12);
}

TEST(DelivererFlow, EmptyImagePoolDropsWithItsStatusAndTheNextFrameGoesThrough) {
    RecordingSink sink(true);
    CVideoCallbacker deliverer;
    Prepare(deliverer, &sink, 2, 1);
    ASSERT_TRUE(deliverer.Start());
    ASSERT_EQ(Push(deliverer, 0, 1), S_OK);
    ASSERT_TRUE(sink.WaitEntered());
    // The only image is in the sink. The raw samples taken meanwhile must go
    // back, or the pool of two would be empty afterwards.
    for (int i = 0; i < 5; ++i) EXPECT_EQ(Push(deliverer, 1, 2 + i), E_FAIL);
    EXPECT_EQ(deliverer.Produced(), 1);
    sink.Release();
    ASSERT_TRUE(WaitUntil([&] { return deliverer.Consumed() == 1; }));
    EXPECT_EQ(Push(deliverer, 2, 10), S_OK);
    ASSERT_TRUE(WaitUntil([&] { return sink.Count() == 2; }));
    deliverer.Stop();
    EXPECT_EQ(sink.Frames()[1].start.Value, 10);
}

TEST(DelivererFlow, OneDelivererServesSeveralRuns) {
    RecordingSink sink;
    CVideoCallbacker deliverer;
    for (int run = 0; run < 2; ++run) {
        Prepare(deliverer, &sink, 2, 3);
        EXPECT_EQ(deliverer.Produced(), 0);
        ASSERT_TRUE(deliverer.Start());
        for (int i = 0; i < 5; ++i) {
            // Small pools: one frame at a time.
            ASSERT_TRUE(WaitUntil([&] { return deliverer.Consumed() == deliverer.Produced(); }));
            ASSERT_EQ(Push(deliverer, 3, run * 100 + i), S_OK);
        }
        deliverer.Stop();
        EXPECT_EQ(deliverer.Consumed(), 5);
        EXPECT_EQ(deliverer.ReleaseResources(), S_OK);
    }
    EXPECT_EQ(sink.Count(), 10u);
    EXPECT_TRUE(StrictlyIncreasing(sink.Frames()));
}

TEST(DelivererFlow, DestroyingARunningDelivererDeliversAndEnds) {
    RecordingSink sink;
    {
        CVideoCallbacker deliverer;
        Prepare(deliverer, &sink, 3, 4);
        ASSERT_TRUE(deliverer.Start());
        for (int i = 0; i < 3; ++i) ASSERT_EQ(Push(deliverer, 5, i + 1), S_OK);
    }
    EXPECT_EQ(sink.Count(), 3u);
}

// --- pools and guards ---------------------------------------------------------

// The stand-in module that makes only a limited number of raw samples.
class LimitedZendra {
public:
    LimitedZendra()
        : m_library(ModuleLoader::ResolvePath(platform::SharedLibrary::PathOfThisBinary(),
                                              platform::SharedLibrary::FileNameFor("VideoTestZendra"))),
          m_reset(reinterpret_cast<void (*)(int32_t)>(m_library.Symbol("LimitedZendraReset"))),
          m_counts(reinterpret_cast<HRESULT (*)(uint32_t*, uint32_t*)>(m_library.Symbol("LimitedZendraFirstPoolCounts"))) {}
    ~LimitedZendra() {
        if (m_reset != nullptr) m_reset(-1);
    }

    bool Loaded() const { return m_reset != nullptr && m_counts != nullptr; }
    void Reset(int32_t rawLimit) { m_reset(rawLimit); }
    HRESULT FirstPoolCounts(uint32_t* total, uint32_t* idle) { return m_counts(total, idle); }

private:
    platform::SharedLibrary m_library;
    void (*m_reset)(int32_t);
    HRESULT (*m_counts)(uint32_t*, uint32_t*);
};

TEST(DelivererPools, FirstFailureIsReturnedAndEarlierSamplesStay) {
    LimitedZendra module;
    ASSERT_TRUE(module.Loaded()) << "libVideoTestZendra must lie beside the test";
    module.Reset(2);
    CVideoCallbacker deliverer(ModuleLoader::ForSibling("VideoTestZendra"));
    ASSERT_EQ(deliverer.CreateTasks(), S_OK);
    EXPECT_EQ(deliverer.CreatePools(5, 8), E_OUTOFMEMORY);
    uint32_t total = 0;
    uint32_t idle = 0;
    ASSERT_EQ(module.FirstPoolCounts(&total, &idle), S_OK);
    EXPECT_EQ(total, 2u);
    EXPECT_EQ(idle, 2u);
    // No image pool was made: nothing can be pushed.
    const std::vector<uint8_t> frame = Grey(1);
    EXPECT_EQ(deliverer.PushFrame(&kFormat, PixelFormatMono8, frame.data(), static_cast<uint32_t>(frame.size()), 1),
              E_UNEXPECTED);
    EXPECT_EQ(deliverer.ReleaseResources(), S_OK);
    ASSERT_EQ(module.FirstPoolCounts(&total, &idle), S_OK);
    EXPECT_EQ(total, 0u) << "the pool is emptied when released";
}

TEST(DelivererPools, MissingModuleGivesEHandle) {
    CVideoCallbacker deliverer(ModuleLoader(platform::SharedLibrary::FileNameFor("NoSuchZendra")));
    EXPECT_EQ(deliverer.CreateTasks(), S_OK);
    EXPECT_EQ(deliverer.CreatePools(5, 8), E_HANDLE);
    const std::vector<uint8_t> frame = Grey(1);
    EXPECT_EQ(deliverer.PushFrame(&kFormat, PixelFormatMono8, frame.data(), static_cast<uint32_t>(frame.size()), 1),
              E_UNEXPECTED);
    EXPECT_EQ(deliverer.ReleaseResources(), S_OK);
}

TEST(DelivererGuards, OperationsOutOfOrderAreRefused) {
    RecordingSink sink;
    CVideoCallbacker deliverer;
    const std::vector<uint8_t> frame = Grey(1);
    const auto size = static_cast<uint32_t>(frame.size());
    EXPECT_EQ(deliverer.PushFrame(&kFormat, PixelFormatMono8, frame.data(), size, 1), E_UNEXPECTED);
    EXPECT_EQ(deliverer.CreatePools(-1, 2), E_INVALIDARG);
    Prepare(deliverer, &sink, 1, 1);
    EXPECT_EQ(deliverer.PushFrame(nullptr, PixelFormatMono8, frame.data(), size, 1), E_POINTER);
    EXPECT_EQ(deliverer.PushFrame(&kFormat, PixelFormatMono8, nullptr, size, 1), E_POINTER);
    ASSERT_TRUE(deliverer.Start());
    EXPECT_EQ(deliverer.CreateTasks(), E_UNEXPECTED);
    EXPECT_EQ(deliverer.CreatePools(1, 1), E_UNEXPECTED);
    EXPECT_EQ(deliverer.ReleaseResources(), E_UNEXPECTED);
    deliverer.Stop();
    EXPECT_EQ(deliverer.ReleaseResources(), S_OK);
    EXPECT_EQ(deliverer.PushFrame(&kFormat, PixelFormatMono8, frame.data(), size, 1), E_UNEXPECTED);
}

}  // namespace
}  // namespace optivane::test
