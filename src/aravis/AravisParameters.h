// The numbered settings of an Aravis camera (GetParameter, SetParameter,
// GetParameterRange), the exposure steps and the long-exposure user set.
//
// Threads: every operation runs on the calling host thread and takes its own
// reference to the device handle, so a reconnection on the streaming thread
// may replace the camera's handle meanwhile. Rotation, flip, frame rate and
// the no-frame time-out go to the stream settings, which the streaming
// thread reads. A user-set switch stops and restarts the streaming thread
// from the calling thread.
//
// Ownership: device, settings, streamer and timings belong to the camera; the
// vendor rules are shared constants.
#pragma once

#include <arv.h>

#include <atomic>
#include <cstdint>

#include "aravis/AravisDevice.h"
#include "aravis/AravisStreamSettings.h"
#include "aravis/AravisStreamer.h"
#include "aravis/AravisTimings.h"
#include "aravis/AravisVendorRules.h"
#include "optivane/optivane.h"

namespace optivane {

class AravisParameters {
public:
    AravisParameters(AravisDevice& device, AravisStreamSettings& settings, AravisStreamer& streamer,
                     const AravisTimings& timings);

    // The rules of the opened device's vendor; until set, every gain and
    // colour channel fails.
    void SetVendorRules(const AravisVendorRules& rules) { m_rules.store(&rules); }

    HRESULT Get(int32_t id, uint32_t* value);
    HRESULT Set(int32_t id, uint32_t value);
    HRESULT GetRange(int32_t channel, uint32_t* min, uint32_t* max);
    HRESULT GetExposureTimeRange(double* min, double* max);

private:
    HRESULT SetExposureTime(ArvCamera* device, double microseconds);
    HRESULT SetExposureStep(ArvCamera* device, uint32_t index);
    // Selects and loads the user set, retrying while it does not take; a
    // running stream is stopped for the switch and started again after it.
    // S_OK also when the set never took.
    HRESULT LoadUserSet(ArvCamera* device, int64_t userSet);
    // Reading the rate also makes it the rate the next run asks for.
    void KeepFrameRate(double rate);

    AravisDevice& m_device;
    AravisStreamSettings& m_settings;
    AravisStreamer& m_streamer;
    const AravisTimings& m_timings;
    std::atomic<const AravisVendorRules*> m_rules;
};

}  // namespace optivane
