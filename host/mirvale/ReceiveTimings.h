// How long a receiver waits for each step of a frame source, in
// milliseconds. The defaults are the protocol's; tests give shorter ones so
// a hung source is noticed without real seconds passing.
#pragma once

#include <cstdint>

#include "host/mirvale/protocol/MirvaleProtocol.h"

namespace optivane::mirvale {

struct ReceiveTimings {
    uint32_t handshakeMs = 2000;             // from Hello to Welcome
    uint32_t silenceMs = kSilenceLimitMs;    // nothing heard at all: the source hangs
    uint32_t frameMs = kFrameTimeLimitMs;    // a frame's first byte to its last
    uint32_t reconnectMs = 1000;             // between attempts to reach a lost source
    uint32_t grabWaitMs = 8000;              // a grab while streaming, for the next frame
};

}  // namespace optivane::mirvale
