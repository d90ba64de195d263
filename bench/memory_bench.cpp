// Measures what one acquisition run of the deliverer costs in memory, and
// whether its first frame pays for it.
//
//   memory_bench
//
// For 512x512 Mono8, 1920x1080 BayerRG8 and 4000x3000 BayerRG8, one run
// plain and one run rotated by 90 and flipped, each as the Aravis camera
// runs it (5 raw samples, 8 images, sized for the run's frames):
//  1. the resident memory the run adds (pools, tasks, work pictures),
//     against what its frames truly need: 5 raw frames and 8 images, and 4
//     work pictures on the transformed path; overhead = added / needed;
//  2. the set-up time (tasks and pools, where the buffers are touched);
//  3. the push-to-sink latency of the run's first frame against the median
//     of the steady frames, one frame in flight at a time;
//  4. heap allocations per steady frame. Steady: after one frame for each
//     of the four tasks, whose threads are new with each run and set up
//     OpenCV's per-thread data on their first conversion.
// A small run first brings up what every process pays once (OpenCV's
// threads), so that it is not charged to the first case. The last line:
//   summary: overhead_512=R1 overhead_1080p=R2 overhead_12mp=R3 first_frame_ms_12mp=F allocs_per_frame=A
// with each overhead the larger of the two paths, F the larger first-frame
// latency of the 12 MP runs and A the largest allocation figure. Linux only
// (resident memory from /proc). Runs no network code.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include <unistd.h>

#include "HeapCounter.h"
#include "optivane/optivane.h"
#include "runtime/CTimeUtil.h"
#include "video/CVideoCallbacker.h"

using namespace optivane;

namespace {

constexpr int32_t kRawSamples = 5;  // as the Aravis camera
constexpr int32_t kImages = 8;
constexpr int kSteadyFrames = 30;

struct Case {
    const char* name;
    uint32_t width;
    uint32_t height;
    uint32_t pixelFormat;
};

struct RunResult {
    double overhead = 0;
    double addedMb = 0;
    double neededMb = 0;
    double setupMs = 0;
    double firstFrameMs = 0;
    double steadyMs = 0;
    double allocsPerFrame = 0;
    bool ok = false;
};

uint64_t ResidentBytes() {
    std::FILE* file = std::fopen("/proc/self/statm", "r");
    if (file == nullptr) return 0;
    unsigned long long total = 0, resident = 0;
    const int read = std::fscanf(file, "%llu %llu", &total, &resident);
    std::fclose(file);
    return read == 2 ? resident * static_cast<uint64_t>(sysconf(_SC_PAGESIZE)) : 0;
}

double Milliseconds(int64_t microseconds) { return static_cast<double>(microseconds) / 1000.0; }

// Keeps the latency of each frame, on the delivery thread.
class LatencySink : public IAravisCameraCallback {
public:
    HRESULT OnFrame(int32_t, void*, IUnknown* frame) override {
        FrameTime start{}, end{};
        if (FAILED(static_cast<IFrameImage*>(frame)->GetTime(&start, &end))) return S_OK;
        std::lock_guard<std::mutex> lock(m_mutex);
        m_latencies.push_back(CTimeUtil().NowMicroseconds() - start.Value);
        return S_OK;
    }
    std::vector<int64_t> Latencies() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_latencies;
    }
    void Reserve(size_t count) { m_latencies.reserve(count); }

private:
    std::mutex m_mutex;
    std::vector<int64_t> m_latencies;
};

void WaitDelivered(const CVideoCallbacker& deliverer, int64_t count) {
    while (deliverer.Consumed() < count) std::this_thread::sleep_for(std::chrono::microseconds(200));
}

RunResult MeasureRun(const Case& c, bool transformed) {
    RunResult result;
    std::vector<uint8_t> raw(size_t{c.width} * c.height);
    for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<uint8_t>(i * 31 + i / c.width);
    const FrameFormat format{0, c.width, c.height, 1, 1, 30, 1};
    FrameSizing sizing;
    sizing.format = format;
    sizing.rawBytes = static_cast<uint32_t>(raw.size());
    sizing.transformed = transformed;
    LatencySink sink;
    sink.Reserve(CVideoCallbacker::kTaskCount + kSteadyFrames);

    const uint64_t before = ResidentBytes();
    CVideoCallbacker deliverer;
    const int64_t setupStart = CTimeUtil().NowMicroseconds();
    if (FAILED(deliverer.CreateTasks()) || FAILED(deliverer.CreatePools(kRawSamples, kImages, sizing)) ||
        FAILED(deliverer.SetSink(&sink, nullptr)) || FAILED(deliverer.Start())) {
        return result;
    }
    result.setupMs = Milliseconds(CTimeUtil().NowMicroseconds() - setupStart);
    deliverer.SetTransform(transformed ? 90 : 0, transformed ? 1 : 0);
    auto push = [&] {
        return deliverer.PushFrame(&format, c.pixelFormat, raw.data(), static_cast<uint32_t>(raw.size()),
                                   CTimeUtil().NowMicroseconds());
    };
    // The first frame, then one for each other task: a worker thread's
    // first conversion sets up OpenCV's per-thread data once.
    const int kTasks = CVideoCallbacker::kTaskCount;
    for (int i = 0; i < kTasks; ++i) {
        if (FAILED(push())) return result;
        WaitDelivered(deliverer, i + 1);
    }
    const uint64_t allocationsBefore = bench::HeapAllocations();
    for (int i = 0; i < kSteadyFrames; ++i) {
        if (FAILED(push())) return result;
        WaitDelivered(deliverer, kTasks + i + 1);
    }
    const uint64_t allocations = bench::HeapAllocations() - allocationsBefore;
    const uint64_t after = ResidentBytes();
    deliverer.Stop();
    deliverer.ReleaseResources();

    std::vector<int64_t> latencies = sink.Latencies();
    if (latencies.size() != static_cast<size_t>(kTasks + kSteadyFrames)) return result;
    result.firstFrameMs = Milliseconds(latencies[0]);
    std::sort(latencies.begin() + kTasks, latencies.end());
    result.steadyMs = Milliseconds(latencies[static_cast<size_t>(kTasks + kSteadyFrames / 2)]);
    result.allocsPerFrame = static_cast<double>(allocations) / kSteadyFrames;
    const double picture = 3.0 * c.width * c.height;
    const double needed = kRawSamples * static_cast<double>(raw.size()) + kImages * picture +
                          (transformed ? CVideoCallbacker::kTaskCount * picture : 0);
    const double added = after > before ? static_cast<double>(after - before) : 0;
    result.addedMb = added / (1024 * 1024);
    result.neededMb = needed / (1024 * 1024);
    result.overhead = added / needed;
    result.ok = true;
    return result;
}

}  // namespace

int main() {
    const Case warmUp{"warm-up", 64, 64, PixelFormatBayerRG8};
    MeasureRun(warmUp, false);
    MeasureRun(warmUp, true);

    const Case cases[] = {{"512x512 Mono8", 512, 512, PixelFormatMono8},
                          {"1920x1080 BayerRG8", 1920, 1080, PixelFormatBayerRG8},
                          {"4000x3000 BayerRG8", 4000, 3000, PixelFormatBayerRG8}};
    std::printf("%-20s %-11s %9s %9s %8s %8s %9s %9s %7s\n", "case", "path", "added-MB", "needed-MB", "overhead",
                "setup-ms", "first-ms", "steady-ms", "allocs");
    double overheads[3] = {};
    double firstFrame12mp = 0;
    double allocs = 0;
    for (size_t i = 0; i < 3; ++i) {
        for (bool transformed : {false, true}) {
            const RunResult r = MeasureRun(cases[i], transformed);
            if (!r.ok) {
                std::printf("%s: the run failed (is libZendra beside the program?)\n", cases[i].name);
                return 1;
            }
            std::printf("%-20s %-11s %9.1f %9.1f %8.2f %8.1f %9.1f %9.1f %7.2f\n", cases[i].name,
                        transformed ? "rot90+flip" : "plain", r.addedMb, r.neededMb, r.overhead, r.setupMs,
                        r.firstFrameMs, r.steadyMs, r.allocsPerFrame);
            overheads[i] = std::max(overheads[i], r.overhead);
            if (i == 2) firstFrame12mp = std::max(firstFrame12mp, r.firstFrameMs);
            allocs = std::max(allocs, r.allocsPerFrame);
        }
    }
    std::printf("summary: overhead_512=%.2f overhead_1080p=%.2f overhead_12mp=%.2f first_frame_ms_12mp=%.1f "
                "allocs_per_frame=%.2f\n",
                overheads[0], overheads[1], overheads[2], firstFrame12mp, allocs);
    return 0;
}
