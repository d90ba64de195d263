// Whether the standard streams of this process are terminals, so that a
// program may redraw a status line in place only where a person watches.
#pragma once

namespace optivane::platform {

class Terminal {
public:
    static bool IsStandardOutputTerminal();
};

}  // namespace optivane::platform
