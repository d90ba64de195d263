// The stream command: streams from an opened camera until the requested
// frames or seconds, a stop signal, or silence from the camera; shows a live
// status line and a summary, and saves every K-th frame when asked.
//
// Threads: Run blocks the caller's thread, which polls and prints; frames
// arrive on the module's delivery thread (StreamReceiver), pictures are
// written on the FrameSaver's thread. Streaming is stopped before Run returns,
// so nothing of the module calls into objects of Run afterwards.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "optivane/optivane.h"

namespace optivane::tool {

struct StreamOptions {
    uint64_t frames = 0;        // 0: no frame limit
    double seconds = 0;         // 0: no time limit
    std::string saveFolder;     // empty: save nothing
    uint32_t every = 10;        // save frames every, 2 * every, ...
    double silenceSeconds = 30;  // give up when no frame arrives for this long
};

class StreamCommand {
public:
    StreamCommand(IAravisCamera* camera, std::ostream& out, std::ostream& err)
        : m_camera(camera), m_out(out), m_err(err) {}

    int Run(const StreamOptions& options);

private:
    IAravisCamera* const m_camera;
    std::ostream& m_out;
    std::ostream& m_err;
};

}  // namespace optivane::tool
