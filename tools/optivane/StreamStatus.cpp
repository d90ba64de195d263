#include "StreamStatus.h"

#include <cstdio>

namespace optivane::tool {

namespace {

double Seconds(StreamStatus::Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

// "01:02.3" (minutes, seconds and tenths).
std::string Elapsed(double seconds) {
    if (seconds < 0) seconds = 0;
    const long tenths = static_cast<long>(seconds * 10);
    char text[32];
    std::snprintf(text, sizeof(text), "%02ld:%02ld.%ld", tenths / 600, (tenths / 10) % 60, tenths % 10);
    return text;
}

}  // namespace

StreamStatus::StreamStatus(Clock::time_point start) : m_start(start), m_rateTime(start) {}

void StreamStatus::RecordFrame(Clock::time_point when, uint32_t width, uint32_t height) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_frames == 0) m_first = when;
    m_last = when;
    ++m_frames;
    m_width = width;
    m_height = height;
}

uint64_t StreamStatus::Frames() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frames;
}

StreamStatus::Clock::time_point StreamStatus::LastActivity() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frames == 0 ? m_start : m_last;
}

std::string StreamStatus::Line(Clock::time_point now) {
    uint64_t frames = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        frames = m_frames;
        width = m_width;
        height = m_height;
    }
    const double interval = Seconds(now - m_rateTime);
    if (interval >= 0.5) {
        m_rate = static_cast<double>(frames - m_rateFrames) / interval;
        m_rateFrames = frames;
        m_rateTime = now;
    }
    char text[128];
    std::snprintf(text, sizeof(text), "frames %llu  %.1f fps  %s", static_cast<unsigned long long>(frames), m_rate,
                  Elapsed(Seconds(now - m_start)).c_str());
    std::string line = text;
    if (frames > 0) line += "  " + std::to_string(width) + "x" + std::to_string(height);
    return line;
}

std::string StreamStatus::Summary(Clock::time_point now, uint64_t peakMemoryBytes) const {
    std::string summary = FramesSummary(now);
    if (peakMemoryBytes > 0) {
        // Rounded up: a stream never costs less than it says.
        constexpr uint64_t kMegabyte = 1024 * 1024;
        summary += "; peak memory " + std::to_string((peakMemoryBytes + kMegabyte - 1) / kMegabyte) + " MB";
    }
    return summary;
}

std::string StreamStatus::FramesSummary(Clock::time_point now) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    char text[256];
    if (m_frames == 0) {
        std::snprintf(text, sizeof(text), "received no frames in %.1f s", Seconds(now - m_start));
        return text;
    }
    const double span = Seconds(m_last - m_first);
    const double average = (m_frames > 1 && span > 0) ? static_cast<double>(m_frames - 1) / span : 0;
    const double megabytes = static_cast<double>(m_width) * m_height * 3 / (1024.0 * 1024.0);
    std::snprintf(text, sizeof(text),
                  "received %llu frames of %ux%u (24-bit BGR, %.1f MiB each): %.2f fps on average; first frame "
                  "after %.1f s, %.1f s in all",
                  static_cast<unsigned long long>(m_frames), m_width, m_height, megabytes, average,
                  Seconds(m_first - m_start), Seconds(now - m_start));
    return text;
}

}  // namespace optivane::tool
