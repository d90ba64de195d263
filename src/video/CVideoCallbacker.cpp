#include "video/CVideoCallbacker.h"

#include <cstring>
#include <new>
#include <thread>
#include <utility>

#include <opencv2/core/utility.hpp>

#include "runtime/CDebugLog.h"
#include "runtime/CVrelAutoLock.h"
#include "video/ConversionSharing.h"

namespace optivane {

namespace {

constexpr int64_t kMicrosecondsPerSecond = 1000000;
constexpr uint32_t kIdlePollMilliseconds = 10;

// A taken object goes back to its pool by Done, then Release.
template <typename Interface>
void HandBack(ComPtr<Interface>& object) {
    if (!object) return;
    if (FAILED(object->Done())) CDebugLog().Trace("CVideoCallbacker", "pooled object was not held\n");
    object.Reset();
}

// A new pooled object gets its buffer for the run's frames now, touched
// before the first frame; an unknown size leaves it to the first frame.
HRESULT SizeForRun(IRawSample* sample, const FrameSizing& sizing) {
    return sizing.rawBytes == 0 ? S_OK : sample->Prepare(sizing.rawBytes);
}

HRESULT SizeForRun(IFrameImage* image, const FrameSizing& sizing) {
    if (sizing.format.Width == 0 || sizing.format.Height == 0) return S_OK;
    return image->SetFormat(&sizing.format);
}

// Takes an idle object; the pool gives back the Interface pointer it was given.
template <typename Interface>
HRESULT TakeFrom(ISamplePool* pool, ComPtr<Interface>* object) {
    IUnknown* taken = nullptr;
    const HRESULT status = pool->Take(&taken);
    if (FAILED(status)) {
        if (taken != nullptr) taken->Release();
        return status;
    }
    if (taken == nullptr) return E_FAIL;
    *object = ComPtr<Interface>::Adopt(static_cast<Interface*>(taken));
    return status;
}

}  // namespace

CVideoCallbacker::CVideoCallbacker() : CVideoCallbacker(ModuleLoader::ForSibling("Zendra")) {}

CVideoCallbacker::CVideoCallbacker(ModuleLoader zendra) : m_zendra(std::move(zendra)) {}

CVideoCallbacker::~CVideoCallbacker() {
    Stop();
    ReleaseResources();
}

HRESULT CVideoCallbacker::CreateTasks() {
    if (m_state != State::Empty) return E_UNEXPECTED;
    try {
        for (std::unique_ptr<CVideoConvTask>& task : m_tasks) task = std::make_unique<CVideoConvTask>();
    } catch (const std::bad_alloc&) {
        CDebugLog().Trace("CVideoCallbacker", "no memory for the conversion tasks\n");
        return E_OUTOFMEMORY;
    }
    {
        CVrelAutoLock lock(&m_ringLock);
        m_produced = 0;
        m_consumed = 0;
    }
    m_state = State::TasksCreated;
    return S_OK;
}

HRESULT CVideoCallbacker::CreatePools(int32_t rawCount, int32_t imageCount, const FrameSizing& sizing) {
    if (m_state != State::TasksCreated) return E_UNEXPECTED;
    if (rawCount < 0 || imageCount < 0) return E_INVALIDARG;
    if (m_zendra.Entry() == nullptr) return E_HANDLE;
    ReleasePools();
    HRESULT status = FillPool<IRawSample>(m_rawPool, CLSID_RawSample, IID_IRawSample, rawCount, sizing);
    if (SUCCEEDED(status)) {
        status = FillPool<IFrameImage>(m_imagePool, CLSID_FrameImage, IID_IFrameImage, imageCount, sizing);
    }
    if (sizing.transformed) {
        for (std::unique_ptr<CVideoConvTask>& task : m_tasks) {
            if (SUCCEEDED(status)) status = task->ReserveWorkPicture(sizing.format.Width, sizing.format.Height);
        }
    }
    // OpenCV's thread count is the host's to choose; the sharing follows it.
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    const ConversionSharing sharing = ConversionSharing::For(sizing.format.Width, sizing.format.Height, cores,
                                                             cv::getNumThreads(), kTaskCount);
    m_gate.Restart(sharing.Width());
    for (std::unique_ptr<CVideoConvTask>& task : m_tasks) task->SetOwnThread(sharing.OwnThreads());
    if (FAILED(status)) {
        CDebugLog().Trace("CVideoCallbacker", "CreatePools failed: 0x%08X\n", static_cast<unsigned>(status));
        return status;
    }
    m_state = State::PoolsFilled;
    return status;
}

HRESULT CVideoCallbacker::SetSink(IAravisCameraCallback* sink, void* context) {
    if (m_state != State::PoolsFilled) return E_UNEXPECTED;
    m_sink = sink;
    m_sinkContext = context;
    m_state = State::SinkSet;
    return S_OK;
}

HRESULT CVideoCallbacker::Start() {
    if (m_state != State::SinkSet && m_state != State::Stopped) return E_UNEXPECTED;
    if (!CSimpleThread::Start()) return E_FAIL;
    m_state = State::Delivering;
    return S_OK;
}

HRESULT CVideoCallbacker::Stop() {
    if (m_state != State::Delivering) return S_FALSE;
    CSimpleThread::Stop();
    m_state = State::Stopped;
    return S_OK;
}

template <typename Interface>
HRESULT CVideoCallbacker::FillPool(ComPtr<ISamplePool>& pool, const CLSID& objectClass, const IID& objectInterface,
                                   int32_t count, const FrameSizing& sizing) {
    void* created = nullptr;
    HRESULT status = m_zendra.CreateInstance(CLSID_SamplePool, IID_ISamplePool, &created);
    pool = ComPtr<ISamplePool>::Adopt(static_cast<ISamplePool*>(created));
    if (FAILED(status)) {
        pool.Reset();
        return status;
    }
    if (!pool) return E_FAIL;
    for (int32_t i = 0; i < count; ++i) {
        created = nullptr;
        status = m_zendra.CreateInstance(objectClass, objectInterface, &created);
        ComPtr<Interface> object = ComPtr<Interface>::Adopt(static_cast<Interface*>(created));
        if (FAILED(status)) return status;
        if (!object) return E_FAIL;
        status = SizeForRun(object.Get(), sizing);
        if (FAILED(status)) return status;
        // The pool keeps its own reference; ours goes with object.
        status = pool->Add(object.Get());
        if (FAILED(status)) return status;
    }
    return S_OK;
}

// Acquisition thread.
HRESULT CVideoCallbacker::PushFrame(const FrameFormat* format, uint32_t pixelFormat, const void* data, uint32_t size,
                                    int64_t timeMicroseconds) {
    if (m_state != State::Delivering) return E_UNEXPECTED;
    if (format == nullptr || data == nullptr) return E_POINTER;
    // Only this thread changes produced, so it is read here without the lock.
    const int64_t slot = m_produced % kTaskCount;

    ComPtr<IRawSample> sample;
    HRESULT status = TakeFrom(m_rawPool.Get(), &sample);
    if (FAILED(status)) return status;
    ComPtr<IFrameImage> image;
    status = TakeFrom(m_imagePool.Get(), &image);
    if (SUCCEEDED(status)) {
        status = QueueFrame(slot, sample.Get(), image.Get(), format, pixelFormat, data, size, timeMicroseconds);
    }
    // Our own holds end here; a task that got the objects holds them itself.
    HandBack(sample);
    HandBack(image);
    return status;
}

HRESULT CVideoCallbacker::QueueFrame(int64_t slot, IRawSample* sample, IFrameImage* image, const FrameFormat* format,
                                     uint32_t pixelFormat, const void* data, uint32_t size,
                                     int64_t timeMicroseconds) {
    CVideoConvTask* task = nullptr;
    {
        CVrelAutoLock lock(&m_ringLock);
        if (m_produced - m_consumed < kTaskCount) task = m_tasks[static_cast<size_t>(slot)].get();
    }
    // All tasks busy: dropped, not counted, with the success of the take.
    if (task == nullptr) return S_OK;

    HRESULT status = sample->Prepare(size);
    if (FAILED(status)) return status;
    uint8_t* buffer = nullptr;
    uint32_t capacity = 0;
    status = sample->GetBuffer(&buffer, &capacity);
    if (FAILED(status)) return status;
    if (buffer == nullptr || capacity < size) return E_FAIL;
    std::memcpy(buffer, data, size);
    status = sample->SetData(buffer, size);
    if (FAILED(status)) return status;

    status = image->SetFormat(format);
    if (FAILED(status)) return status;
    const FrameTime time{timeMicroseconds, kMicrosecondsPerSecond};
    status = image->SetTime(&time, &time);
    if (FAILED(status)) return status;

    // Each hand-over is a reference and a hold of the task's own.
    sample->AddRef();
    status = sample->Hold();
    if (FAILED(status)) {
        sample->Release();
        return status;
    }
    image->AddRef();
    status = image->Hold();
    if (FAILED(status)) {
        image->Release();
        ComPtr<IRawSample> handedOver = ComPtr<IRawSample>::Adopt(sample);
        HandBack(handedOver);
        return status;
    }
    task->SetRawSample(sample);
    task->SetImage(image);
    task->SetPixelFormat(pixelFormat);
    task->SetRotation(m_rotation);
    task->SetFlip(m_flip);
    task->SetTurn(&m_gate);
    task->Trigger();

    {
        CVrelAutoLock lock(&m_ringLock);
        ++m_produced;
    }
    m_framePushed.Set();
    return S_OK;
}

// Delivery thread: the images in push order, until a stop is requested and
// nothing is pending.
void CVideoCallbacker::Run() {
    for (;;) {
        CVideoConvTask* task = nullptr;
        {
            CVrelAutoLock lock(&m_ringLock);
            if (m_consumed < m_produced) {
                task = m_tasks[static_cast<size_t>(m_consumed % kTaskCount)].get();
            } else if (StopRequested()) {
                return;
            }
        }
        if (task == nullptr) {
            // A push during the wait ends it at once; one that comes between
            // the wake and the reset is seen by the check above.
            m_framePushed.WaitFor(kIdlePollMilliseconds);
            m_framePushed.Reset();
            continue;
        }
        task->WaitDone();
        ComPtr<IFrameImage> image = ComPtr<IFrameImage>::Adopt(task->TakeImage());
        if (image && m_sink != nullptr) {
            try {
                m_sink->OnFrame(0, m_sinkContext, image.Get());
            } catch (...) {
                // The host's fault; the frames after this one still go out.
                CDebugLog().Trace("CVideoCallbacker", "OnFrame threw\n");
            }
        }
        HandBack(image);
        CVrelAutoLock lock(&m_ringLock);
        ++m_consumed;
    }
}

HRESULT CVideoCallbacker::ReleaseResources() {
    if (m_state == State::Delivering) return E_UNEXPECTED;
    ReleasePools();
    DeleteTasks();
    m_state = State::Empty;
    return S_OK;
}

void CVideoCallbacker::DeleteTasks() {
    // A job triggered but never started would hold every later ticket up.
    m_gate.Abandon();
    for (std::unique_ptr<CVideoConvTask>& task : m_tasks) task.reset();
}

void CVideoCallbacker::ReleasePools() {
    for (ComPtr<ISamplePool>* pool : {&m_rawPool, &m_imagePool}) {
        if (!*pool) continue;
        if (FAILED((*pool)->Clear())) CDebugLog().Trace("CVideoCallbacker", "a pool could not be cleared\n");
        pool->Reset();
    }
}

int64_t CVideoCallbacker::Produced() const {
    CVrelAutoLock lock(&m_ringLock);
    return m_produced;
}

int64_t CVideoCallbacker::Consumed() const {
    CVrelAutoLock lock(&m_ringLock);
    return m_consumed;
}

}  // namespace optivane
