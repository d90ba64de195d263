// Exit statuses of the optivane program.
#pragma once

namespace optivane::tool {

enum ExitStatus : int {
    ExitSuccess = 0,
    ExitFailure = 1,      // the module or the camera failed; the reason was printed
    ExitUsage = 2,        // the command line was wrong; the reason was printed
    ExitInterrupted = 130,  // stopped by a signal before the requested frames or time
};

}  // namespace optivane::tool
