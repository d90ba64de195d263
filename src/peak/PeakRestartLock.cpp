#include "peak/PeakRestartLock.h"

namespace optivane {

CVrelLock& PeakRestartLock::Instance() {
    static CVrelLock lock;
    return lock;
}

}  // namespace optivane
