// phone_bench: what the phone camera costs, in a private network namespace
// (tests/run-in-netns.sh gives one with loopback alone).
//
//   phone_bench [--quick]
//
//  1. Decoding a 4000x3000 JPEG (a textured picture, quality 90, as a phone's
//     photograph is): the camera's decoder, into its kept picture and copied
//     into an image buffer, against cv::imdecode into a fresh cv::Mat plus
//     the same copy, alternating round by round so both see the same machine
//     load; the median milliseconds of each, and heap allocations per frame.
//     The module's own allocations are those of the decoder's path beyond
//     what cv::imdecode into a kept cv::Mat makes (a third variant, in the
//     same rounds).
//  2. The capture round trip: a snapshot of optivane-fake-phone at 4000x3000
//     on 127.0.0.2 (connect, command, reply, decode, copy), median.
//  3. A /24 search with the camera's real limits, all hosts refusing, then
//     all silent (listeners that never accept, their queue taken): seconds,
//     against the 3 s connect budget; the peak thread count and resident
//     memory during the silent search.
// The last line:
//   summary: decode_ms=D baseline_ms=B allocs_per_frame=A capture_ms=C scan_refused_s=R scan_silent_s=S budget_s=3
#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "HeapCounter.h"
#include "frame/ComPtr.h"
#include "platform/TcpListener.h"
#include "smartphone/CSmartPhoneCamManager.h"
#include "smartphone/CSmartPhoneCamera.h"
#include "smartphone/FakePhoneProcess.h"
#include "smartphone/PhonePictureDecoder.h"

namespace {

using namespace optivane;
using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration elapsed) { return std::chrono::duration<double, std::milli>(elapsed).count(); }

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A photograph-like picture: gradients with fine noise, so the JPEG has the
// detail (and about the size) of a real one.
std::vector<uint8_t> TexturedJpeg(int width, int height) {
    cv::Mat picture(height, width, CV_8UC3);
    cv::randu(picture, cv::Scalar::all(0), cv::Scalar::all(48));
    for (int y = 0; y < height; ++y) {
        uint8_t* row = picture.ptr<uint8_t>(y);
        for (int x = 0; x < width; ++x) {
            row[3 * x] = static_cast<uint8_t>(row[3 * x] + x * 200 / width);
            row[3 * x + 1] = static_cast<uint8_t>(row[3 * x + 1] + y * 200 / height);
            row[3 * x + 2] = static_cast<uint8_t>(row[3 * x + 2] + (x + y) % 160);
        }
    }
    std::vector<uint8_t> jpeg;
    cv::imencode(".jpg", picture, jpeg, {cv::IMWRITE_JPEG_QUALITY, 90});
    return jpeg;
}

struct DecodeResult {
    double moduleMs = 0, baselineMs = 0, moduleAllocs = 0, baselineAllocs = 0, ownAllocs = 0;
    bool ok = false;
};

DecodeResult MeasureDecode(int rounds) {
    DecodeResult result;
    const std::vector<uint8_t> jpeg = TexturedJpeg(4000, 3000);
    const size_t imageBytes = size_t{4000} * 3000 * 3;
    std::vector<uint8_t> image(imageBytes, 1);  // the host's image, touched once
    phone::PhonePictureDecoder decoder;
    cv::Mat kept;
    const cv::Mat encoded(1, static_cast<int>(jpeg.size()), CV_8UC1, const_cast<uint8_t*>(jpeg.data()));
    // One of each first: the decoder's kept picture and OpenCV's set-up.
    if (FAILED(decoder.Decode(jpeg.data(), jpeg.size())) || !decoder.CopyTo(image.data(), image.size())) return result;
    cv::imdecode(encoded, cv::IMREAD_COLOR, &kept);
    std::vector<double> moduleMs, baselineMs;
    uint64_t moduleAllocs = 0, baselineAllocs = 0, keptAllocs = 0;
    for (int round = 0; round < rounds; ++round) {
        uint64_t before = bench::HeapAllocations();
        Clock::time_point start = Clock::now();
        const bool decoded = SUCCEEDED(decoder.Decode(jpeg.data(), jpeg.size())) &&
                             decoder.CopyTo(image.data(), image.size());
        const Clock::duration took = Clock::now() - start;
        moduleAllocs += bench::HeapAllocations() - before;
        moduleMs.push_back(Milliseconds(took));
        if (!decoded) return result;

        before = bench::HeapAllocations();
        start = Clock::now();
        const cv::Mat fresh = cv::imdecode(encoded, cv::IMREAD_COLOR);
        for (int y = 0; y < fresh.rows; ++y)
            std::memcpy(image.data() + size_t{4000} * 3 * y, fresh.ptr(y), size_t{4000} * 3);
        const Clock::duration tookFresh = Clock::now() - start;
        baselineAllocs += bench::HeapAllocations() - before;
        baselineMs.push_back(Milliseconds(tookFresh));

        before = bench::HeapAllocations();
        cv::imdecode(encoded, cv::IMREAD_COLOR, &kept);
        keptAllocs += bench::HeapAllocations() - before;
    }
    result.moduleMs = Median(moduleMs);
    result.baselineMs = Median(baselineMs);
    result.moduleAllocs = static_cast<double>(moduleAllocs) / rounds;
    result.baselineAllocs = static_cast<double>(baselineAllocs) / rounds;
    result.ownAllocs = (static_cast<double>(moduleAllocs) - static_cast<double>(keptAllocs)) / rounds;
    result.ok = true;
    std::printf("decode 4000x3000 JPEG of %.1f MB: decoder %.1f ms, imdecode into a fresh Mat plus copy %.1f ms "
                "(ratio %.2f); allocations per frame %.1f against %.1f, the module's own %.1f\n",
                static_cast<double>(jpeg.size()) / 1e6, result.moduleMs, result.baselineMs,
                result.baselineMs > 0 ? result.moduleMs / result.baselineMs : 0, result.moduleAllocs,
                result.baselineAllocs, result.ownAllocs);
    return result;
}

HRESULT MakeCamera(IAravisCamera** camera) {
    HRESULT status = S_OK;
    CUnknown* object = CSmartPhoneCamera::CreateInstance(nullptr, &status);
    if (object == nullptr) return status;
    object->NonDelegatingAddRef();
    status = object->NonDelegatingQueryInterface(IID_IAravisCamera, reinterpret_cast<void**>(camera));
    object->NonDelegatingRelease();
    return status;
}

double MeasureCapture(int rounds) {
    test::FakePhoneProcess phone("127.0.0.2", 60000, {"--size", "4000x3000"});
    if (!phone.IsRunning()) return -1;
    ComPtr<IAravisCamera> camera;
    if (FAILED(MakeCamera(camera.Receive()))) return -1;
    CameraDeviceInfo device{};
    std::snprintf(device.DeviceId, sizeof device.DeviceId, "SMPHCA00127.0.0.2:60000");
    if (FAILED(camera->Open(&device))) return -1;
    std::vector<double> times;
    for (int round = 0; round <= rounds; ++round) {
        ComPtr<IUnknown> frame;
        const Clock::time_point start = Clock::now();
        const HRESULT status = camera->GrabSnapshot(0, frame.Receive());
        if (FAILED(status)) {
            std::printf("capture failed: 0x%08X\n", static_cast<unsigned>(status));
            return -1;
        }
        if (round > 0) times.push_back(Milliseconds(Clock::now() - start));  // the first makes the buffer
    }
    const double median = Median(times);
    std::printf("capture round trip of a 4000x3000 photograph from optivane-fake-phone: %.1f ms (median of %d)\n",
                median, rounds);
    return median;
}

// The peak thread count and resident memory of this process while it runs,
// sampled by a thread of its own; read them after Stop(), whose join orders
// the watcher's writes before the reads.
class PeakWatch {
public:
    PeakWatch() : m_thread([this] { Watch(); }) {}
    ~PeakWatch() { Stop(); }
    PeakWatch(const PeakWatch&) = delete;
    PeakWatch& operator=(const PeakWatch&) = delete;
    void Stop() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
    }
    int Threads() const { return m_threads; }
    double ResidentMb() const { return m_residentKb / 1024.0; }
    double StartMb() const { return m_startKb / 1024.0; }

private:
    void Watch() {
        while (!m_stop) {
            std::ifstream status("/proc/self/status");
            std::string line;
            while (std::getline(status, line)) {
                if (line.rfind("Threads:", 0) == 0) m_threads = std::max(m_threads, std::atoi(line.c_str() + 8));
                if (line.rfind("VmRSS:", 0) != 0) continue;
                m_residentKb = std::max(m_residentKb, std::atol(line.c_str() + 6));
                if (m_startKb == 0) m_startKb = m_residentKb;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    std::atomic<bool> m_stop{false};
    int m_threads = 0;
    long m_residentKb = 0;
    long m_startKb = 0;
    std::thread m_thread;
};

double Search(CSmartPhoneCamManager& manager, const char* address, size_t* found) {
    std::vector<CameraDeviceInfo> list;
    const Clock::time_point start = Clock::now();
    manager.FindDevices(address, nullptr, list);
    *found = list.size();
    return Milliseconds(Clock::now() - start) / 1000;
}

bool MeasureSearches(double* refused, double* silent) {
    // About 800 descriptors: the listeners, their queued connections and one socket per probe.
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
    limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, 4096);
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur < 1024) {
        std::printf("search: needs 1024 descriptors, the limit allows %lu\n", static_cast<unsigned long>(limit.rlim_cur));
        return false;
    }
    CSmartPhoneCamManager manager(MakeCamera);
    size_t found = 0;
    *refused = Search(manager, "127.0.9.1", &found);
    std::printf("search of 127.0.9.0/24, every host refusing: %.2f s, %zu found\n", *refused, found);

    std::vector<platform::TcpListener> listeners(253);
    std::vector<platform::TcpSocket> queued(253);
    for (uint32_t host = 2; host <= 254; ++host) {
        const uint32_t address = (127u << 24) | (10u << 8) | host;
        if (!listeners[host - 2].Listen(address, CSmartPhoneCamManager::kPhonePort, 0) ||
            queued[host - 2].Connect(address, CSmartPhoneCamManager::kPhonePort, 2000000) !=
                platform::TcpSocket::Result::Ok) {
            std::printf("search: cannot make the silent host 127.0.10.%u\n", host);
            return false;
        }
    }
    PeakWatch watch;
    *silent = Search(manager, "127.0.10.1", &found);
    watch.Stop();
    std::printf("search of 127.0.10.0/24, every host silent: %.2f s, %zu found; peak %d threads, %.0f MB resident "
                "(%.0f MB before)\n",
                *silent, found, watch.Threads(), watch.ResidentMb(), watch.StartMb());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const DecodeResult decode = MeasureDecode(quick ? 5 : 21);
    if (!decode.ok) {
        std::fprintf(stderr, "phone_bench: the decoder refused the test picture\n");
        return 1;
    }
    const double capture = MeasureCapture(quick ? 3 : 11);
    double refused = -1, silent = -1;
    if (!MeasureSearches(&refused, &silent)) std::fprintf(stderr, "phone_bench: the searches could not be measured\n");
    std::printf("summary: decode_ms=%.1f baseline_ms=%.1f allocs_per_frame=%.1f capture_ms=%.1f scan_refused_s=%.2f "
                "scan_silent_s=%.2f budget_s=3\n",
                decode.moduleMs, decode.baselineMs, decode.moduleAllocs, capture, refused, silent);
    return capture < 0 || silent < 0 ? 1 : 0;
}
