// The deliverer's shape rebuilt from the standard library and OpenCV alone,
// without any of the module's code, to show which fixed part of it costs
// what against the ceiling (two threads each copying and converting on their
// own buffers).
//
//   shape_bench [--seconds=S] [--width=W --height=H] [--mono8]
//
// (default 1920x1080 BayerRG8, 8 rounds of 0.4 s; --mono8 converts Mono8).
//
// Variants, each run in a 0.4 s window, the windows of all variants
// alternating round by round, medians over the rounds of each variant's rate
// over the ceiling's window in the same round:
//   ceiling    two threads, each copies a raw frame into a sample of its own
//              and converts it into a picture of its own, two of each by
//              turns (four in all, as the ring's frames; OpenCV on one
//              thread), as delivery_bench's ceiling;
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
// In these the producer waits for a free worker instead of dropping, so each
// runs as fast as it can. Frames per second are printed too.
//   paced      copyapart judged as delivery_bench judges the deliverer: the
//              producer offers frames at a steady rate and drops one while
//              four are pending; the highest rate at which 99% of the frames
//              arrive, searched as delivery_bench searches it (from the
//              ceiling's rate, then halving the bracket to 3%), each trial of
//              0.6 s after a ceiling window of its own; the median of three
//              searches: the cost of four frames of slack against a camera
//              that sends at a steady rate;
//   pacedpool  the same for pool (the deliverer's sharing for large frames).
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
    int colorCode;
    std::vector<std::vector<uint8_t>> raw;      // what the camera delivers
    std::vector<std::vector<uint8_t>> samples;  // copies of it
    std::vector<std::vector<uint8_t>> pictures;
    void Convert(int sample, int picture) {
        cv::Mat out(rows, cols, CV_8UC3, pictures[static_cast<size_t>(picture)].data());
        cv::cvtColor(cv::Mat(rows, cols, CV_8UC1, samples[static_cast<size_t>(sample)].data()), out,
                     colorCode);
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
                // Two buffers each: as many in all as the ring holds frames.
                const int buffer = t + 2 * static_cast<int>(count % 2);
                f.Copy(count, buffer);
                f.Convert(buffer, buffer);
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

// Frames delivered in a window; with a paced producer also the frames offered
// and the time from the first offer to the start of the last.
struct Window {
    long delivered = 0;
    long offered = 0;
    double offerSeconds = 0;
};

// rate 0: the producer waits for a free worker for the given seconds; else it
// offers count frames at that rate and drops those that find four pending.
Window Shape(Frames& f, Variant variant, double seconds, double rate = 0, long count = 0) {
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
    const auto dispatch = [&] {
        Slot& slot = slots[static_cast<size_t>(produced % kWorkers)];
        slot.frame = produced;
        slot.sample = static_cast<int>(produced % kSamples);
        if (variant != Variant::Handover) f.Copy(produced, slot.sample);
        slot.start.Set();
        { std::lock_guard<std::mutex> lock(ringMutex); ++produced; }
        ringChanged.notify_all();
    };
    Window window;
    const Clock::time_point begin = Clock::now();
    if (rate > 0) {
        Clock::time_point lastStart = begin;
        for (long i = 0; i < count; ++i) {
            std::this_thread::sleep_until(begin + std::chrono::duration_cast<Clock::duration>(
                                                      std::chrono::duration<double>(static_cast<double>(i) / rate)));
            lastStart = Clock::now();
            bool free = false;
            {
                std::lock_guard<std::mutex> lock(ringMutex);
                free = produced - consumed < kWorkers;
            }
            if (free) dispatch();
        }
        window.offered = count;
        window.offerSeconds = std::chrono::duration<double>(lastStart - begin).count();
    } else {
        const Clock::time_point end = begin + std::chrono::duration_cast<Clock::duration>(
                                                  std::chrono::duration<double>(seconds));
        while (Clock::now() < end) {
            {
                std::unique_lock<std::mutex> lock(ringMutex);
                ringChanged.wait(lock, [&] { return produced - consumed < kWorkers; });
            }
            dispatch();
        }
    }
    {
        std::unique_lock<std::mutex> lock(ringMutex);
        ringChanged.wait(lock, [&] { return consumed == produced; });
    }
    window.delivered = consumed;
    stop = true;
    ringChanged.notify_all();
    delivery.join();
    for (Slot& slot : slots) slot.start.Set();
    for (std::thread& worker : workers) worker.join();
    return window;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The highest share of the ceiling at which the paced shape delivers 99% of
// its frames and keeps the pace; 0 when no trial passed. The conversions
// share the cores as the variant says (CopyApart or Pool).
double PacedShare(Frames& f, Variant variant, int poolThreads, double ceilingSeconds) {
    const double trialSeconds = 0.6;
    double good = 0, bad = 0, share = 1.0;
    for (int trial = 0; trial < 6; ++trial) {
        cv::setNumThreads(1);
        const double ceiling = Ceiling(f, ceilingSeconds);
        const double rate = share * ceiling;
        const long count = std::max(200L, static_cast<long>(rate * trialSeconds));
        cv::setNumThreads(variant == Variant::Pool ? poolThreads : 1);
        const Window window = Shape(f, variant, 0, rate, count);
        const double kept = window.offerSeconds > 0 ? static_cast<double>(count - 1) / window.offerSeconds : 0;
        const bool pass = window.delivered >= 0.99 * static_cast<double>(count) && kept >= 0.97 * rate;
        if (pass) good = share;
        else bad = share;
        if (bad == 0) {
            share = good * 1.25;
        } else if (good == 0) {
            share = bad * 0.7;
        } else {
            if ((bad - good) / good < 0.03) break;
            share = (good + bad) / 2;
        }
    }
    return good;
}

}  // namespace

int main(int argc, char** argv) {
    int width = 1920, height = 1080, rounds = 8;
    double seconds = 0.4;
    bool mono8 = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument.rfind("--width=", 0) == 0) width = std::atoi(argument.c_str() + 8);
        else if (argument.rfind("--height=", 0) == 0) height = std::atoi(argument.c_str() + 9);
        else if (argument.rfind("--seconds=", 0) == 0) seconds = std::atof(argument.c_str() + 10);
        else if (argument == "--mono8") mono8 = true;
        else {
            std::fprintf(stderr, "usage: shape_bench [--seconds=S] [--width=W --height=H] [--mono8]\n");
            return 2;
        }
    }
    Frames f{height, width, mono8 ? cv::COLOR_GRAY2BGR : cv::COLOR_BayerBG2BGR, {}, {}, {}};
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
            const double rate = static_cast<double>(Shape(f, static_cast<Variant>(v), seconds).delivered) / seconds;
            rates[static_cast<size_t>(v)].push_back(rate);
            shares[static_cast<size_t>(v)].push_back(rate / ceiling);
        }
    }
    std::vector<std::vector<double>> paced(2);
    for (int search = 0; search < 3; ++search) {
        paced[0].push_back(PacedShare(f, Variant::CopyApart, poolThreads, seconds));
        paced[1].push_back(PacedShare(f, Variant::Pool, poolThreads, seconds));
    }
    cv::setNumThreads(poolThreads);
    std::printf("%dx%d %s, %d rounds of %.1f s; ceiling %.1f frames/s (median)\n", width, height,
                mono8 ? "Mono8" : "BayerRG8", rounds, seconds, Median(ceilings));
    for (int v = 0; v < 3; ++v) {
        std::printf("  %-10s %8.1f frames/s  share of the ceiling %.2f\n", names[v],
                    Median(rates[static_cast<size_t>(v)]), Median(shares[static_cast<size_t>(v)]));
    }
    const char* pacedNames[] = {"paced", "pacedpool"};
    for (size_t p = 0; p < 2; ++p) {
        std::printf("  %-10s %8s share of the ceiling %.2f (searches %.2f %.2f %.2f)\n", pacedNames[p], "",
                    Median(paced[p]), paced[p][0], paced[p][1], paced[p][2]);
    }
    std::printf("summary: handover=%.2f copyapart=%.2f pool=%.2f paced=%.2f pacedpool=%.2f\n", Median(shares[0]),
                Median(shares[1]), Median(shares[2]), Median(paced[0]), Median(paced[1]));
    return 0;
}
