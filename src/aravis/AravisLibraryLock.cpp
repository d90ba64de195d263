#include "aravis/AravisLibraryLock.h"

namespace optivane {

CVrelLock& AravisLibraryLock::Instance() {
    static CVrelLock lock;
    return lock;
}

}  // namespace optivane
