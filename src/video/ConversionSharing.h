// How the conversions of one acquisition run share the cores, chosen once per
// run from the size of its frames.
//
// Small frames convert each on its own task's worker, off OpenCV's pool,
// several at once: a conversion of a frame this size is short enough that
// waking OpenCV's pool for it, and waiting for the slower half, costs as much
// as the half it saves, and OpenCV lets only one loop at a time use its pool,
// so the others wait their turn anyway. Large frames take turns on OpenCV's
// pool, one (or as many as the cores allow) at a time: each then finishes in
// a fraction of its time, so the oldest frame's slot in the ring comes free
// first and a single frame arrives soonest. bench/README.md has the
// measurements behind the rule and its threshold.
//
// The host's choice of OpenCV threads is read, never changed.
#pragma once

#include <cstdint>

namespace optivane {

class ConversionSharing {
public:
    // Frames of at most this many pixels convert on their own workers.
    static constexpr uint64_t kOwnThreadPixels = 1920 * 1200;

    // The sharing for a run of width x height frames (0 when not known
    // before the first frame: turns on the pool, as for large frames) on a
    // machine with the given cores, OpenCV on the given number of threads,
    // and a ring of ringSize conversion tasks.
    static ConversionSharing For(uint32_t width, uint32_t height, int cores, int openCvThreads, int ringSize);

    // Whether each conversion stays on its task's worker thread.
    bool OwnThreads() const { return m_ownThreads; }
    // Conversions at once: the width of the ring's gate.
    int Width() const { return m_width; }

private:
    ConversionSharing(bool ownThreads, int width) : m_ownThreads(ownThreads), m_width(width) {}

    bool m_ownThreads;
    int m_width;
};

}  // namespace optivane
