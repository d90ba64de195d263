// The deliverer's shape rebuilt from the standard library and OpenCV alone,
// without any of the module's code, to show which fixed part of it costs
// what against the ceiling (two threads each copying and converting on their
// own buffers).
//
//   shape_bench [--seconds=S] [--width=W --height=H]   (default 1920x1080 BayerRG8, 8 rounds of 0.4 s)
//
// Variants, each run in a 0.4 s window, the windows of all variants
// alternating round by round, medians over the rounds of each variant's rate
// over the ceiling's window in the same round:
//   ceiling    two threads, each copies a raw frame into its own sample and
//              converts it (OpenCV on one thread);
//   handover   a producer hands frame numbers to four workers in turn by a
//              start and a done signal each, and a delivery thread takes
//              them back in order; the workers copy and convert: the cost of
//              the hand-overs and of delivering in order;
//   copyapart  as handover, but the producer copies the raw frame into one of
//              five samples and the worker converts it: the cost of the copy
//              made on another thread than the conversion (the camera's
//              buffer must go back at once);
//   pool       as copyapart, but one conversion at a time, spread by OpenCV
//              over its default threads: the cost of taking turns on the pool.
// The producer waits for a free worker instead of dropping, so every variant
// runs as fast as it can. Frames per second are printed too.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

using Clock = std::chrono::steady_clock;

namespace {

constexpr int kWorkers = 4;
constexpr int kSamples = 5;

struct Signal {
    std::mutex mutex;
    std::condition_variable changed;
    bool set = false;
    void Set() {
        { std::lock_guard<std::mutex> lock(mutex); set = true; }
        changed.notify_all();
    }
    void WaitAndReset() {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return set; });
        set = false;
    }
};

struct Frames {
    int rows, cols;
    std::vector<std::vector<uint8_t>> raw;      // what the camera delivers
    std::vector<std::vector<uint8_t>> samples;  // copies of it
    std::vector<std::vector<uint8_t>> pictures;
    void Convert(int sample, int picture) {
        cv::Mat out(rows, cols, CV_8UC3, pictures[static_cast<size_t>(picture)].data());
        cv::cvtColor(cv::Mat(rows, cols, CV_8UC1, samples[static_cast<size_t>(sample)].data()), out,
                     cv::COLOR_BayerBG2BGR);
    }
    void Copy(long frame, int sample) {
        const std::vector<uint8_t>& from = raw[static_cast<size_t>(frame) % raw.size()];
        std::memcpy(samples[static_cast<size_t>(sample)].data(), from.data(), from.size());
    }
};

double Ceiling(Frames& f, double seconds) {
    std::atomic<bool> stop{false};
    std::atomic<long> total{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&, t] {
            long count = 0;
            while (!stop) {
                f.Copy(count, t);
                f.Convert(t, t);
                ++count;
            }
            total += count;
        });
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stop = true;
    for (std::thread& thread : threads) thread.join();
    return static_cast<double>(total) / seconds;
}

enum class Variant { Handover, CopyApart, Pool };

double Shape(Frames& f, Variant variant, double seconds) {
    struct Slot {
        Signal start, done;
        long frame = 0;
        int sample = 0;
    };
    std::vector<Slot> slots(kWorkers);
    std::atomic<bool> stop{false};
    std::mutex poolTurn;
    std::atomic<long> consumed{0};
    std::mutex ringMutex;
    std::condition_variable ringChanged;
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w) {
        workers.emplace_back([&, w] {
            Slot& slot = slots[static_cast<size_t>(w)];
            for (;;) {
                slot.start.WaitAndReset();
                if (stop) return;
                if (variant == Variant::Handover) f.Copy(slot.frame, w);
                const int sample = variant == Variant::Handover ? w : slot.sample;
                if (variant == Variant::Pool) {
                    std::lock_guard<std::mutex> turn(poolTurn);
                    f.Convert(sample, w);
                } else {
                    // Nested in a one-step loop: OpenCV keeps it on this thread.
                    cv::parallel_for_(cv::Range(0, 1), [&](const cv::Range&) { f.Convert(sample, w); });
                }
                slot.done.Set();
            }
        });
    }
    long produced = 0;
    std::thread delivery([&] {
        for (long next = 0;; ++next) {
            {
                std::unique_lock<std::mutex> lock(ringMutex);
                ringChanged.wait(lock, [&] { return next < produced || stop; });
                if (next >= produced) return;
            }
            slots[static_cast<size_t>(next % kWorkers)].done.WaitAndReset();
            { std::lock_guard<std::mutex> lock(ringMutex); consumed = next + 1; }
            ringChanged.notify_all();
        }
    });
    const Clock::time_point end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                     std::chrono::duration<double>(seconds));
    while (Clock::now() < end) {
        {
            std::unique_lock<std::mutex> lock(ringMutex);
            ringChanged.wait(lock, [&] { return produced - consumed < kWorkers; });
        }
        Slot& slot = slots[static_cast<size_t>(produced % kWorkers)];
        slot.frame = produced;
        slot.sample = static_cast<int>(produced % kSamples);
        if (variant != Variant::Handover) f.Copy(produced, slot.sample);
        slot.start.Set();
        { std::lock_guard<std::mutex> lock(ringMutex); ++produced; }
        ringChanged.notify_all();
    }
    {
        std::unique_lock<std::mutex> lock(ringMutex);
        ringChanged.wait(lock, [&] { return consumed == produced; });
    }
    const long delivered = consumed;
    stop = true;
    ringChanged.notify_all();
    delivery.join();
    for (Slot& slot : slots) slot.start.Set();
    for (std::thread& worker : workers) worker.join();
    return static_cast<double>(delivered) / seconds;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    int width = 1920, height = 1080, rounds = 8;
    double seconds = 0.4;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.rfind("--width=", 0) == 0) width = std::atoi(argument.c_str() + 8);
        else if (argument.rfind("--height=", 0) == 0) height = std::atoi(argument.c_str() + 9);
        else if (argument.rfind("--seconds=", 0) == 0) seconds = std::atof(argument.c_str() + 10);
        else {
            std::fprintf(stderr, "usage: shape_bench [--seconds=S] [--width=W --height=H]\n");
            return 2;
        }
    }
    Frames f{height, width, {}, {}, {}};
    const size_t rawBytes = static_cast<size_t>(width) * height;
    for (int i = 0; i < 2; ++i) {
        f.raw.emplace_back(rawBytes);
        for (size_t b = 0; b < rawBytes; ++b) f.raw.back()[b] = static_cast<uint8_t>((b * 2654435761u + i) >> 13);
    }
    for (int i = 0; i < kSamples; ++i) f.samples.emplace_back(rawBytes, 1);
    for (int i = 0; i < kWorkers; ++i) f.pictures.emplace_back(rawBytes * 3, 1);

    const int poolThreads = cv::getNumThreads();
    const char* names[] = {"handover", "copyapart", "pool"};
    std::vector<double> ceilings;
    std::vector<std::vector<double>> shares(3), rates(3);
    for (int round = 0; round < rounds; ++round) {
        cv::setNumThreads(1);
        const double ceiling = Ceiling(f, seconds);
        ceilings.push_back(ceiling);
        for (int v = 0; v < 3; ++v) {
            cv::setNumThreads(v == 2 ? poolThreads : 1);
            const double rate = Shape(f, static_cast<Variant>(v), seconds);
            rates[static_cast<size_t>(v)].push_back(rate);
            shares[static_cast<size_t>(v)].push_back(rate / ceiling);
        }
    }
    cv::setNumThreads(poolThreads);
    std::printf("%dx%d BayerRG8, %d rounds of %.1f s; ceiling %.1f frames/s (median)\n", width, height, rounds,
                seconds, Median(ceilings));
    for (int v = 0; v < 3; ++v) {
        std::printf("  %-10s %8.1f frames/s  share of the ceiling %.2f\n", names[v],
                    Median(rates[static_cast<size_t>(v)]), Median(shares[static_cast<size_t>(v)]));
    }
    std::printf("summary: handover=%.2f copyapart=%.2f pool=%.2f\n", Median(shares[0]), Median(shares[1]),
                Median(shares[2]));
    return 0;
}
