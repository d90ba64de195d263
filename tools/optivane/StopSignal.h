// Ctrl-C (SIGINT) and SIGTERM as a request to stop, for as long as an object
// of this class lives: the handler only raises a flag, which the stream
// command polls. A second signal, of either kind, ends the program at once; a
// signal ignored by whoever started the program stays ignored.
//
// One object at a time; the previous handlers come back on destruction.
#pragma once

namespace optivane::tool {

class StopSignal {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;

    static bool Raised();
    // From now on the first signal of either kind ends the program at once,
    // as a second one does: for a stop that may hang on a camera that is gone.
    static void LetNextSignalQuit();
};

}  // namespace optivane::tool
