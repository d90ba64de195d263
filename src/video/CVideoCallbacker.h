// The deliverer: carries raw frames from a camera's acquisition thread to the
// host's frame callback through a ring of four conversion tasks, in push
// order, dropping frames while four are pending.
//
// Threads: the owner's acquisition thread calls every operation except Run;
// Run is the delivery thread (CSimpleThread), started and stopped by the owner,
// and calls the sink's OnFrame. The ring lock guards only the counters and
// the choice of task.
//
// The conversions take turns through a gate (ConversionGate), in push order.
//
// Per acquisition run the owner calls CreateTasks, CreatePools, SetSink,
// Start, PushFrame for each frame (after SetTransform), Stop, ReleaseResources.
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

namespace optivane {

class CVideoCallbacker : public CSimpleThread {
public:
    static constexpr int kTaskCount = 4;

    // Loads the sibling Zendra module.
    CVideoCallbacker();
    // Takes its pools and pooled objects from the given module instead
    // (a stand-in for Zendra, or none at all).
    explicit CVideoCallbacker(ModuleLoader zendra);
    // Stops the delivery thread (delivering what is pending) and releases
    // the resources before the module goes.
    ~CVideoCallbacker() override;

    // Resets the counters and creates the ring of idle tasks. E_UNEXPECTED
    // while the delivery thread runs.
    HRESULT CreateTasks();
    // Fills the raw-sample and image pools; the first failure is returned and
    // what was added before stays. E_HANDLE without the Zendra module;
    // E_UNEXPECTED while the delivery thread runs. Pools of an earlier call
    // are let go first.
    HRESULT CreatePools(int32_t rawCount, int32_t imageCount);
    // Not owned; set before Start.
    void SetSink(IAravisCameraCallback* sink, void* context) {
        m_sink = sink;
        m_sinkContext = context;
    }
    // Copied by the owner before each PushFrame.
    void SetTransform(uint32_t rotation, uint32_t flip) {
        m_rotation = rotation;
        m_flip = flip;
    }
    // S_OK when queued; when dropped, the status of the image take (a success
    // status when the ring was full) or of a failing sample or image call.
    // E_UNEXPECTED without tasks or pools, E_POINTER for null format or data.
    HRESULT PushFrame(const FrameFormat* format, uint32_t pixelFormat, const void* data, uint32_t size,
                      int64_t timeMicroseconds);
    // Empties and releases both pools and deletes the tasks. Only after Stop:
    // E_UNEXPECTED while the delivery thread exists.
    HRESULT ReleaseResources();

    // The delivery thread: hands finished images to the sink in push order
    // until a stop is requested and every pushed frame has been delivered.
    void Run() override;

    // Frames handed to tasks, and taken back by the delivery thread, since
    // CreateTasks. Any thread.
    int64_t Produced() const;
    int64_t Consumed() const;

private:
    // Abandons the gate, then deletes the tasks, each after its running job.
    void DeleteTasks();
    // Drops both pools (Clear, Release); objects in use live on with their users.
    void ReleasePools();
    // Creates a pool and count objects of the class into it, added through
    // their Interface pointer so that Take gives that pointer back.
    template <typename Interface>
    HRESULT FillPool(ComPtr<ISamplePool>& pool, const CLSID& objectClass, const IID& objectInterface, int32_t count);
    // Hands a frame whose sample and image were taken to the task, or drops
    // it when the ring is full (then the take status, success, is returned).
    HRESULT QueueFrame(int64_t slot, IRawSample* sample, IFrameImage* image, const FrameFormat* format,
                       uint32_t pixelFormat, const void* data, uint32_t size, int64_t timeMicroseconds);

    ModuleLoader m_zendra;
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
