// The streaming thread of an Aravis camera: acquisition runs back to back,
// each feeding the camera's deliverer, with a new device handle whenever
// frames stop or a run cannot start.
//
// Threads: host threads call Start, Stop, IsStreaming, Sink, ReleaseDeliverer
// and take the stream lock for snapshots; Run is the streaming thread
// (CSimpleThread), which alone runs acquisitions and uses the deliverer; the
// deliverer adds its delivery thread (which calls the host's OnFrame) and
// four conversion workers for the length of each run.
//
// Locks: the control lock serialises Start, Restart and Stop between host
// threads (and guards the sink); the streaming thread never takes it, so a
// Stop may join the thread while holding it. The stream lock guards the live
// stream, which the streaming thread sets at the start of a run and clears at
// its end; a snapshot holds it for its whole capture, so a run never tears
// the stream down under it. Neither nests in the other, and neither is held
// across a call into the host.
//
// Ownership: owns its deliverer (kept from run to run until
// ReleaseDeliverer) and the live stream. The device, settings and timings
// belong to the camera, which outlives the thread; the sink is not owned.
#pragma once

#include <arv.h>

#include <memory>

#include "aravis/AravisDevice.h"
#include "aravis/AravisStreamSettings.h"
#include "aravis/AravisTimings.h"
#include "aravis/GObjectPtr.h"
#include "optivane/optivane.h"
#include "runtime/CSimpleThread.h"
#include "runtime/CVrelLock.h"
#include "video/CVideoCallbacker.h"

namespace optivane {

class AravisStreamer : private CSimpleThread {
public:
    AravisStreamer(AravisDevice& device, AravisStreamSettings& settings, const AravisTimings& timings);
    ~AravisStreamer() override;

    // Starts the thread with this sink. E_FAIL while streaming or when the
    // thread cannot be created.
    HRESULT Start(IAravisCameraCallback* sink, void* context);
    // Starts again with the sink of the last Start.
    HRESULT Restart();
    // Ends the running acquisition and joins the thread; no OnFrame follows.
    // Returns at once when not streaming. Never from the streaming thread.
    void Stop();
    bool IsStreaming();
    // Drops the deliverer with its pools; only while not streaming.
    void ReleaseDeliverer();

    // The snapshot's way to the live stream: hold the lock while using it.
    CVrelLock& StreamLock() { return m_streamLock; }
    // Null between runs. Only under the stream lock.
    ArvStream* LiveStream() const { return m_stream.Get(); }

private:
    void Run() override;
    // One acquisition run: set-up, pop loop, tear-down. E_ABORT when frames
    // stopped coming; E_FAIL when the run could not start.
    HRESULT RunAcquisition();
    HRESULT PumpFrames(ArvCamera* device);
    void EndAcquisition(ArvCamera* device);
    // The deliverer's run set-up, made on first use, with its buffers sized
    // for the run's frames.
    HRESULT StartDeliverer(const FrameSizing& sizing);

    AravisDevice& m_device;
    AravisStreamSettings& m_settings;
    const AravisTimings& m_timings;
    CVrelLock m_controlLock;
    // Under m_controlLock, written only while no thread runs.
    IAravisCameraCallback* m_sink = nullptr;
    void* m_sinkContext = nullptr;
    std::unique_ptr<CVideoCallbacker> m_deliverer;  // streaming thread, or host thread while stopped
    CVrelLock m_streamLock;
    GObjectPtr<ArvStream> m_stream;  // under m_streamLock
};

}  // namespace optivane
