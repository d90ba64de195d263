// Time limits of the exchanges with a phone, in milliseconds.
//
// Each wait (connect, one send, one receive) has its own limit, but a phone
// that trickles one byte just inside every receive limit could otherwise hold
// an exchange -- and with it the camera's lock or a whole search -- for
// hours. So each exchange also has an overall deadline: a wait is given what
// is left of it when that is less than the wait's own limit, and an exchange
// past its deadline fails as a time-out.
#pragma once

#include <cstdint>

namespace optivane::phone {

struct PhoneTimings {
    uint32_t connectMs = 3000;
    uint32_t sendMs = 3000;
    uint32_t queryReceiveMs = 3000;    // the capability reply
    uint32_t captureReceiveMs = 8000;  // each read of an image reply
    uint32_t statusReceiveMs = 5000;
    uint32_t queryDeadlineMs = 10000;  // search command to capability document
    uint32_t imageDeadlineMs = 30000;  // capture command to the image's last byte
    uint32_t streamPauseMs = 1000;     // between two streamed photographs
    uint32_t retryPauseMs = 10;        // after a failed capture or no free image
};

}  // namespace optivane::phone
