// peak_stream_bench: the IDS peak layer's buffer loop against a plain Aravis
// pop/push loop on the same simulated camera at its highest rate, in
// alternating 3 s windows (three pairs, median ratio); the IDS peak camera's
// frame rate against its ceiling of one frame per (50 ms + frame period);
// and how long a killed 5 s wait takes to end. Run it in a private network
// namespace: tests/run-in-netns.sh build/out/peak_stream_bench
#include <arv.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <future>
#include <thread>
#include <vector>

#include "aravis/FakeGvCamera.h"
#include "frame/ComPtr.h"
#include "peak/CIdsPeakCamera.h"
#include "peak/sdk/CommandNode.h"
#include "peak/sdk/DeviceManager.h"
#include "peak/sdk/Exception.h"
#include "peak/sdk/IntegerNode.h"
#include "peak/sdk/Library.h"

namespace {

using namespace optivane;
using Clock = std::chrono::steady_clock;

constexpr const char* kAddress = "127.0.0.2";
constexpr uint32_t kFramePeriodUs = 1000;  // the simulated camera's shortest
constexpr auto kWindow = std::chrono::seconds(3);
constexpr int kPairs = 3;

double Seconds(Clock::duration duration) { return std::chrono::duration<double>(duration).count(); }

// Frames per second through the layer's wait/queue loop.
double LayerWindow(double* killMs) {
    peak::Library::Initialize();
    peak::DeviceManager::Instance().Update();
    const auto devices = peak::DeviceManager::Instance().Devices();
    if (devices.empty()) return 0;
    auto device = devices.front()->OpenDevice(peak::DeviceDescriptor::kAccessControl);
    auto nodes = device->NodeMaps().at(0);
    auto stream = device->OpenDataStream();
    const auto payload = static_cast<size_t>(nodes->FindNode<peak::IntegerNode>("PayloadSize")->Value());
    for (size_t i = 0; i < stream->NumBuffersAnnouncedMinRequired(); ++i)
        stream->QueueBuffer(stream->AllocAndAnnounceBuffer(payload));
    stream->StartAcquisition(peak::DataStream::kStartDefault, peak::DataStream::kInfiniteCount);
    nodes->FindNode<peak::CommandNode>("AcquisitionStart")->Execute();
    int64_t frames = 0;
    const auto start = Clock::now();
    while (Clock::now() - start < kWindow) {
        stream->QueueBuffer(stream->WaitForFinishedBuffer(1000));
        ++frames;
    }
    const double fps = frames / Seconds(Clock::now() - start);
    nodes->FindNode<peak::CommandNode>("AcquisitionStop")->Execute();
    if (killMs != nullptr) {
        // Buffers filled before the stop come first; the wait after them is
        // the one killed.
        auto waiter = std::async(std::launch::async, [&stream] {
            try {
                for (;;) stream->QueueBuffer(stream->WaitForFinishedBuffer(5000));
            } catch (const peak::Exception&) {
            }
            return Clock::now();
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const auto killed = Clock::now();
        stream->KillWait();
        *killMs = std::chrono::duration<double, std::milli>(waiter.get() - killed).count();
    }
    stream.reset();
    device.reset();
    peak::Library::Close();
    return fps;
}

// Frames per second through Aravis's own pop/push loop.
double AravisWindow() {
    GErrorPtr error;
    auto camera = GObjectPtr<ArvCamera>::Adopt(arv_camera_new(kAddress, error.Out()));
    if (!camera) return 0;
    const guint payload = arv_camera_get_payload(camera.Get(), error.Out());
    auto stream = GObjectPtr<ArvStream>::Adopt(arv_camera_create_stream(camera.Get(), nullptr, nullptr, error.Out()));
    if (!stream || error) return 0;
    for (int i = 0; i < 5; ++i) arv_stream_push_buffer(stream.Get(), arv_buffer_new_allocate(payload));
    arv_camera_start_acquisition(camera.Get(), error.Out());
    int64_t frames = 0;
    const auto start = Clock::now();
    while (Clock::now() - start < kWindow) {
        if (ArvBuffer* buffer = arv_stream_timeout_pop_buffer(stream.Get(), 1000000)) {
            arv_stream_push_buffer(stream.Get(), buffer);
            ++frames;
        }
    }
    const double fps = frames / Seconds(Clock::now() - start);
    arv_camera_stop_acquisition(camera.Get(), error.Out());
    return fps;
}

class FrameCounter : public IAravisCameraCallback {
public:
    HRESULT OnFrame(int32_t, void*, IUnknown*) override {
        ++frames;
        return S_OK;
    }
    std::atomic<int64_t> frames{0};
};

double CameraWindow() {
    HRESULT status = S_OK;
    CUnknown* made = ::CIdsPeakCamera::CreateInstance(nullptr, &status);
    ComPtr<IAravisCamera> camera;
    made->NonDelegatingAddRef();
    made->NonDelegatingQueryInterface(IID_IAravisCamera, camera.ReceiveVoid());
    made->NonDelegatingRelease();
    CameraDeviceInfo record{};
    std::snprintf(record.DeviceId, sizeof record.DeviceId, "IDS/IdsSim/B1");
    if (!camera || FAILED(camera->Open(&record))) return 0;
    FrameCounter counter;
    camera->StartStreaming(&counter, nullptr);
    // The first frames wait for the deliverer to start: count from the first.
    while (counter.frames.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const int64_t first = counter.frames.load();
    const auto start = Clock::now();
    std::this_thread::sleep_for(kWindow);
    const double fps = (counter.frames.load() - first) / Seconds(Clock::now() - start);
    camera->Close();
    return fps;
}

}  // namespace

int main() {
    test::FakeGvCamera fake(kAddress, "ids-peak.xml", "IDS", "B1", "IdsSim");
    if (!fake.IsRunning()) {
        std::fprintf(stderr, "peak_stream_bench: the simulated camera does not run on %s (run in a namespace)\n",
                     kAddress);
        return 1;
    }
    fake.Write(test::genicam::kFramePeriod, kFramePeriodUs);
    std::vector<double> ratios;
    double layerFps = 0, aravisFps = 0, killMs = 0;
    for (int pair = 0; pair < kPairs; ++pair) {
        const double layer = LayerWindow(pair == 0 ? &killMs : nullptr);
        const double aravis = AravisWindow();
        std::printf("pair %d: layer %.1f fps, aravis %.1f fps\n", pair + 1, layer, aravis);
        ratios.push_back(aravis > 0 ? layer / aravis : 0);
        layerFps += layer / kPairs;
        aravisFps += aravis / kPairs;
    }
    std::sort(ratios.begin(), ratios.end());
    const double cameraFps = CameraWindow();
    const double ceiling = 1.0 / (0.050 + kFramePeriodUs / 1e6);
    std::printf("summary: layer_vs_aravis=%.3f layer_fps=%.1f aravis_fps=%.1f camera_fps=%.1f ceiling_fps=%.1f "
                "kill_ms=%.1f\n",
                ratios[kPairs / 2], layerFps, aravisFps, cameraFps, ceiling, killMs);
    return 0;
}
