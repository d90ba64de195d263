// Keeps a listing of IDS peak devices and a restart of the library apart: a
// listing run across a restart would walk devices of a closed library. Taken
// first, before the SDK manager's lock (order: restart, manager, device,
// instance); the listing holds it for its whole walk, ReinitializeSdk for the
// whole restart.
#pragma once

#include "runtime/CVrelLock.h"

namespace optivane {

class PeakRestartLock {
public:
    static CVrelLock& Instance();
};

}  // namespace optivane
