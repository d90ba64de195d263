// virtual_bench: frames from optivane-frame-source (counter pattern, no rate
// limit) through libMirvale's receiver and the virtual camera to a host
// callback that does nothing, against a plain loopback reader that copies the
// same frames from the same source. Windows alternate in the order camera,
// reader, reader, camera, ... so that neither always follows the other, and
// each starts on a connection whose handshake is done. Outside a private
// network namespace it runs itself again inside one (tests/run-in-netns.sh).
//
// Per size: frames per second of both, the median of the pairs' ratios,
// CPU time per frame in this process for each side, heap allocations per
// steady-state frame, and whether the camera's frames came in order. The
// last line:
//   summary: ratio_1080p=R ratio_4000x3000=R fps_4000x3000=F cpu_ms_per_frame=C allocs_per_frame=A in_order=yes|no
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "HeapCounter.h"
#include "PrivateNetwork.h"
#include "frame/ComPtr.h"
#include "frame/modules/ModuleLoader.h"
#include "host/mirvale/protocol/MessageReader.h"
#include "optivane/host_framework.h"
#include "optivane/optivane.h"
#include "platform/TcpSocket.h"
#include "tools/SourceProcess.h"

namespace {

using namespace optivane;
using Clock = std::chrono::steady_clock;
// Many short windows, so that load from elsewhere falls on both sides alike.
constexpr double kWindowSeconds = 0.5;
constexpr double kSettleSeconds = 0.1;
constexpr int kPairs = 8;

double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + now.tv_nsec / 1e9;
}

// Counts frames and checks that the counter pattern's first byte steps by one.
class NoOpHost : public IAravisCameraCallback {
public:
    HRESULT OnFrame(int32_t, void*, IUnknown* frame) override {
        IFrameImage* image = nullptr;
        if (frame->QueryInterface(IID_IFrameImage, reinterpret_cast<void**>(&image)) == S_OK) {
            uint8_t* data = nullptr;
            uint32_t size = 0;
            if (image->GetBuffer(&data, &size) == S_OK && size > 0) {
                if (!m_fresh.exchange(false) && data[0] != static_cast<uint8_t>(m_last + 1)) m_inOrder = false;
                m_last = data[0];
            }
            image->Release();
        }
        ++m_frames;
        return S_OK;
    }
    std::atomic<uint64_t> m_frames{0};
    std::atomic<bool> m_inOrder{true};
    std::atomic<bool> m_fresh{true};  // a new connection starts its sequence at 0
    uint8_t m_last = 0;
};

// Reads whole frames of the stream into one buffer, as a minimal client does.
class PlainReader {
public:
    // pixels: room for the largest picture, touched before, reused by every window.
    explicit PlainReader(uint8_t* pixels) : m_pixels(pixels) {}
    // Connects and waits for the Welcome, as the receiver's Connect does,
    // before asking for the stream.
    bool Open(uint16_t port) {
        if (m_socket.Connect(0x7F000001u, port, 2000000) != platform::TcpSocket::Result::Ok) return false;
        m_socket.SetNoDelay(true);
        const mirvale::ControlMessage hello = mirvale::EncodeHello(&mirvale::kVersion, 1);
        if (m_socket.SendAll(hello.data.data(), hello.size, nullptr, 1000000) != platform::TcpSocket::Result::Ok) return false;
        mirvale::MessageReader::Event event = mirvale::MessageReader::Event::NeedMore;
        while (event == mirvale::MessageReader::Event::NeedMore) {
            size_t got = 0;
            if (m_socket.Receive(m_reader.WantData(), m_reader.WantSize(), &got, 2000000) != platform::TcpSocket::Result::Ok) return false;
            event = m_reader.Advance(got);
        }
        if (event != mirvale::MessageReader::Event::Welcome) return false;
        const mirvale::ControlMessage request = mirvale::EncodeRequest(mirvale::RequestMode::Stream);
        return m_socket.SendAll(request.data.data(), request.size, nullptr, 1000000) == platform::TcpSocket::Result::Ok;
    }
    uint64_t ReadFor(double seconds) {
        uint64_t frames = 0;
        const Clock::time_point end = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
        while (Clock::now() < end) {
            size_t got = 0;
            if (m_socket.Receive(m_reader.WantData(), m_reader.WantSize(), &got, 1000000) != platform::TcpSocket::Result::Ok) break;
            const mirvale::MessageReader::Event event = m_reader.Advance(got);
            if (event == mirvale::MessageReader::Event::FrameStarted) m_reader.SetFrameDestination(m_pixels);
            if (event == mirvale::MessageReader::Event::FrameDone) ++frames;
            if (event == mirvale::MessageReader::Event::Failed) break;
        }
        return frames;
    }

private:
    platform::TcpSocket m_socket;
    mirvale::MessageReader m_reader{mirvale::MessageReader::Side::Receiver};
    uint8_t* m_pixels;
};

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

struct Result {
    double cameraFps = 0, readerFps = 0, ratio = 0, cpuMsPerFrame = 0, readerCpuMsPerFrame = 0, allocsPerFrame = 0;
    bool inOrder = true;
};

Result Measure(const ModuleLoader& module, const char* size, uint16_t port) {
    Result result;
    test::SourceProcess source(OPTIVANE_FRAME_SOURCE, {"--size", size, "--fps", "0", "--port", std::to_string(port)});
    if (source.FirstLine().find("listening") == std::string::npos) return result;
    ComPtr<IAravisCamera> camera;
    if (FAILED(module.CreateInstance(CLSID_DummyCamera, IID_IAravisCamera, camera.ReceiveVoid()))) return result;
    CameraDeviceInfo device{};
    std::snprintf(device.DeviceId, sizeof(device.DeviceId), "127.0.0.1:%u", port);
    NoOpHost host;
    if (FAILED(camera->Open(&device)) || FAILED(camera->StartStreaming(&host, nullptr))) return result;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));  // warm-up: pool images touched
    std::vector<uint8_t> pixels(mirvale::PictureBytes(mirvale::kMaxWidth, mirvale::kMaxHeight), 1);
    double cameraFrames = 0, readerFrames = 0, cpu = 0, readerCpu = 0;
    uint64_t allocations = 0;
    // Frames of the last window of each side.
    double cameraWindowFrames = 0, readerWindowFrames = 0;
    std::vector<double> ratios;
    auto cameraWindow = [&] {
        cameraWindowFrames = 0;
        host.m_fresh = true;
        if (FAILED(camera->StartStreaming(&host, nullptr))) return;
        std::this_thread::sleep_for(std::chrono::duration<double>(kSettleSeconds));
        const uint64_t framesBefore = host.m_frames;
        const uint64_t allocBefore = bench::HeapAllocations();
        const double cpuBefore = CpuSeconds();
        std::this_thread::sleep_for(std::chrono::duration<double>(kWindowSeconds));
        cpu += CpuSeconds() - cpuBefore;
        allocations += bench::HeapAllocations() - allocBefore;
        cameraWindowFrames = static_cast<double>(host.m_frames - framesBefore);
        cameraFrames += cameraWindowFrames;
        camera->StopStreaming();
    };
    auto readerWindow = [&] {
        readerWindowFrames = 0;
        PlainReader plain(pixels.data());
        if (!plain.Open(port)) return;
        plain.ReadFor(kSettleSeconds);
        const double cpuBefore = CpuSeconds();
        readerWindowFrames = static_cast<double>(plain.ReadFor(kWindowSeconds));
        readerCpu += CpuSeconds() - cpuBefore;
        readerFrames += readerWindowFrames;
    };
    camera->StopStreaming();
    for (int pair = 0; pair < kPairs; ++pair) {
        if (pair % 2 == 0) {
            cameraWindow();
            readerWindow();
        } else {
            readerWindow();
            cameraWindow();
        }
        if (readerWindowFrames > 0) ratios.push_back(cameraWindowFrames / readerWindowFrames);
    }
    camera->Close();
    result.cameraFps = cameraFrames / (kPairs * kWindowSeconds);
    result.readerFps = readerFrames / (kPairs * kWindowSeconds);
    result.ratio = Median(ratios);
    result.cpuMsPerFrame = cameraFrames > 0 ? cpu * 1000 / cameraFrames : 0;
    result.readerCpuMsPerFrame = readerFrames > 0 ? readerCpu * 1000 / readerFrames : 0;
    result.allocsPerFrame = cameraFrames > 0 ? static_cast<double>(allocations) / cameraFrames : 0;
    result.inOrder = host.m_inOrder;
    std::printf("%-10s camera %.1f fps, plain reader %.1f fps, ratio %.2f (median of %zu pairs), CPU per frame %.2f ms "
                "(reader %.2f ms), %.2f allocations per frame, in order: %s\n",
                size, result.cameraFps, result.readerFps, result.ratio, ratios.size(), result.cpuMsPerFrame,
                result.readerCpuMsPerFrame, result.allocsPerFrame, result.inOrder ? "yes" : "no");
    return result;
}

}  // namespace

int main(int, char** argv) {
    // The frame source and both clients stay on this machine's loopback.
    if (!bench::InPrivateNetwork()) {
        bench::RunInPrivateNetwork(argv);
        std::fprintf(stderr, "virtual_bench: cannot run in a private network namespace\n");
        return 1;
    }
    const ModuleLoader module("./" + platform::SharedLibrary::FileNameFor("Optivane"));
    if (module.Entry() == nullptr) {
        std::fprintf(stderr, "virtual_bench: libOptivane.so not found beside the program\n");
        return 1;
    }
    const Result hd = Measure(module, "1920x1080", 45000);
    const Result big = Measure(module, "4000x3000", 45001);
    std::printf("summary: ratio_1080p=%.2f ratio_4000x3000=%.2f fps_4000x3000=%.1f cpu_ms_per_frame=%.2f "
                "allocs_per_frame=%.2f in_order=%s\n",
                hd.ratio, big.ratio, big.cameraFps, big.cpuMsPerFrame, (hd.allocsPerFrame + big.allocsPerFrame) / 2,
                hd.inOrder && big.inOrder ? "yes" : "no");
    return 0;
}
