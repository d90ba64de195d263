// Aravis keeps its device list and its GigE device table without a lock of
// its own, and the texts arv_get_device_* return are freed by the next update
// of the list. So every update, read and copy of that list, and every
// arv_camera_new and arv_open_device (which may rediscover and replace the
// table), run under this one process lock. Nothing else is taken while it is
// held.
#pragma once

#include "runtime/CVrelLock.h"

namespace optivane {

class AravisLibraryLock {
public:
    static CVrelLock& Instance();
};

}  // namespace optivane
