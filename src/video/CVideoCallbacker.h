// The deliverer: carries raw frames from a camera's acquisition thread to the
// host's frame callback through a ring of four conversion tasks, in push
// order, dropping frames while four are pending.
//
// Threads: the owner's acquisition thread calls every operation except Run;
// Run is the delivery thread (CSimpleThread), started and stopped by the owner,
// and calls the sink's OnFrame. The ring lock guards only the counters and
// the choice of task.
//
// How the conversions share the cores is chosen once per run, in
// CreatePools, from the size of the run's frames (ConversionSharing): small
// frames convert on their tasks' workers at once, large ones take turns on
// OpenCV's pool. Either way they start in push order, through a gate
// (ConversionGate) as wide as the sharing says.
//
// Per acquisition run the owner calls, in this order, CreateTasks,
// CreatePools, SetSink, Start, PushFrame for each frame (after SetTransform),
// Stop, ReleaseResources. The state enforces it: a call out of order returns
// E_UNEXPECTED and changes nothing. ReleaseResources may end a run at any
// point but while the delivery thread runs, and returns to the start.
//
// Memory: the pools and tasks of a run hold what the run's frames need, as
// its owner describes them to CreatePools (FrameSizing): each raw sample is
// prepared for the largest raw frame, each image set to the frame format,
// and each task given its work picture when flip or rotation is on from the
// start. All of it is made and touched there, before the first frame, so no
// frame allocates or pays for fresh pages. Within a run, a frame larger than
// described (in raw bytes or picture) makes each sample, image or work
// picture it passes through grow once, to exactly that frame: those frames
// pay for the new pages, later ones do not. A smaller frame uses the
// buffers as they are. A transform switched on during a run gives each task
// its work picture with its first transformed frame. Nothing shrinks within
// a run; ReleaseResources frees it all, and the next run is sized anew.
//
// Ownership: the deliverer owns its tasks, its two pools and its copy of the
// Zendra module, which outlives every object made from it. The sink is not
// owned. An image passed to OnFrame is lent for the call; pooled samples and
// images go back to their pools by Done and Release once nobody holds them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "frame/ComPtr.h"
#include "frame/modules/ModuleLoader.h"
#include "optivane/optivane.h"
#include "platform/ManualResetEvent.h"
#include "runtime/CSimpleThread.h"
#include "runtime/CVrelLock.h"
#include "video/CVideoConvTask.h"
#include "video/ConversionGate.h"
#include "video/FrameSizing.h"

namespace optivane {

class CVideoCallbacker : private CSimpleThread {
public:
    static constexpr int kTaskCount = 4;

    // Where a run stands; only the owner's thread changes it.
    enum class State { Empty, TasksCreated, PoolsFilled, SinkSet, Delivering, Stopped };

    // Loads the sibling Zendra module.
    CVideoCallbacker();
    // Takes its pools and pooled objects from the given module instead
    // (a stand-in for Zendra, or none at all).
    explicit CVideoCallbacker(ModuleLoader zendra);
    // Stops the delivery thread (delivering what is pending) and releases
    // the resources before the module goes.
    ~CVideoCallbacker() override;

    // Empty: resets the counters and creates the ring of idle tasks.
    HRESULT CreateTasks();
    // After CreateTasks: fills the raw-sample and image pools with objects
    // sized for the run's frames, gives the tasks their work pictures when
    // the run starts transformed, and chooses by the frame size how the
    // run's conversions share the cores (frames of another size later in the
    // run keep that choice). The first failure is returned, what
    // was added before stays until ReleaseResources, and the state does not
    // advance. E_HANDLE without the Zendra module.
    HRESULT CreatePools(int32_t rawCount, int32_t imageCount, const FrameSizing& sizing);
    // After CreatePools. The sink is not owned; it may be null (frames are
    // then converted and dropped).
    HRESULT SetSink(IAravisCameraCallback* sink, void* context);
    // After SetSink, or after Stop to deliver again with the same ring:
    // starts the delivery thread. E_FAIL when it cannot be created.
    HRESULT Start();
    // Stops the delivery thread once every pushed frame has been delivered.
    // S_FALSE, nothing done, when it is not delivering.
    HRESULT Stop();
    // Copied by the owner before each PushFrame.
    void SetTransform(uint32_t rotation, uint32_t flip) {
        m_rotation = rotation;
        m_flip = flip;
    }
    // While delivering. S_OK when queued; when dropped, the status of the
    // image take (a success status when the ring was full) or of a failing
    // sample or image call. E_POINTER for null format or data.
    HRESULT PushFrame(const FrameFormat* format, uint32_t pixelFormat, const void* data, uint32_t size,
                      int64_t timeMicroseconds);
    // Empties and releases both pools and deletes the tasks; back to Empty.
    // E_UNEXPECTED while delivering.
    HRESULT ReleaseResources();

    State CurrentState() const { return m_state; }

    // Frames handed to tasks, and taken back by the delivery thread, since
    // CreateTasks. Any thread.
    int64_t Produced() const;
    int64_t Consumed() const;

private:
    // The delivery thread: hands finished images to the sink in push order
    // until a stop is requested and every pushed frame has been delivered.
    void Run() override;

    // Abandons the gate, then deletes the tasks, each after its running job.
    void DeleteTasks();
    // Drops both pools (Clear, Release); objects in use live on with their users.
    void ReleasePools();
    // Creates a pool and count objects of the class into it, added through
    // their Interface pointer so that Take gives that pointer back.
    template <typename Interface>
    HRESULT FillPool(ComPtr<ISamplePool>& pool, const CLSID& objectClass, const IID& objectInterface, int32_t count,
                     const FrameSizing& sizing);
    // Hands a frame whose sample and image were taken to the task, or drops
    // it when the ring is full (then the take status, success, is returned).
    HRESULT QueueFrame(int64_t slot, IRawSample* sample, IFrameImage* image, const FrameFormat* format,
                       uint32_t pixelFormat, const void* data, uint32_t size, int64_t timeMicroseconds);

    ModuleLoader m_zendra;
    State m_state = State::Empty;
    IAravisCameraCallback* m_sink = nullptr;
    void* m_sinkContext = nullptr;
    ComPtr<ISamplePool> m_rawPool;
    ComPtr<ISamplePool> m_imagePool;
    // Before the tasks, which use it until they are deleted.
    ConversionGate m_gate;
    std::array<std::unique_ptr<CVideoConvTask>, kTaskCount> m_tasks;
    mutable CVrelLock m_ringLock;
    int64_t m_produced = 0;
    int64_t m_consumed = 0;
    // Set by PushFrame after each queued frame: the idle delivery thread
    // waits on it, at most one poll period, instead of sleeping blind.
    platform::ManualResetEvent m_framePushed;
    uint32_t m_rotation = 0;
    uint32_t m_flip = 0;
};

}  // namespace optivane
