// Counts the frames of one stream and tells how it goes: a one-line live
// status (frames, frames per second, time) and a closing summary.
//
// Threads: RecordFrame runs on the module's delivery thread (inside OnFrame);
// everything else on the thread that runs the stream command. A mutex guards
// the counters they share.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace optivane::tool {

class StreamStatus {
public:
    using Clock = std::chrono::steady_clock;

    explicit StreamStatus(Clock::time_point start);

    // Delivery thread: one frame of the given size arrived.
    void RecordFrame(Clock::time_point when, uint32_t width, uint32_t height);

    uint64_t Frames() const;
    // When the last frame arrived, or the start when none did.
    Clock::time_point LastActivity() const;

    // "frames 42  24.9 fps  00:01.7  2048x2048": frames per second over the
    // time since the previous call (at least half a second).
    std::string Line(Clock::time_point now);
    // Frames received, average frames per second between the first and the
    // last frame, the frame size, how long it all took and the process's
    // peak resident memory in bytes (left out when 0: unknown).
    std::string Summary(Clock::time_point now, uint64_t peakMemoryBytes) const;

private:
    std::string FramesSummary(Clock::time_point now) const;

    const Clock::time_point m_start;

    mutable std::mutex m_mutex;
    uint64_t m_frames = 0;
    Clock::time_point m_first;
    Clock::time_point m_last;
    uint32_t m_width = 0;
    uint32_t m_height = 0;

    // Live rate, used by Line only.
    uint64_t m_rateFrames = 0;
    Clock::time_point m_rateTime;
    double m_rate = 0;
};

}  // namespace optivane::tool
