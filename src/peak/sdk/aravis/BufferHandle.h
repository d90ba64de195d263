// The Aravis buffer behind a Buffer; the layer's own reference to it, which
// outlives the stream's queues.
#pragma once

#include <arv.h>

#include "aravis/GObjectPtr.h"

namespace optivane::peak {

struct BufferHandle {
    GObjectPtr<ArvBuffer> buffer;
};

}  // namespace optivane::peak
