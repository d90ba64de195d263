// search_bench: the manager's search against Aravis's own discovery, in a
// private network namespace it enters itself.
//
// 1. An empty search (nothing answers; a new manager each time) against
//    arv_update_device_list, five of each alternating, medians and ratio.
// 2. A search with four simulated GigE cameras, two phones and one IDS peak
//    camera (address 127.0.0.1, so the phones' /24 is probed), Aravis's
//    discovery timed beside it.
// 3. A repeated search of the same manager (within 5 s: no probing).
// Last line: summary: empty_ratio=R empty_s=S arv_discovery_s=A full_s=F
// records=N repeat_ms=M
#include <arv.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "PrivateNetwork.h"
#include "aravis/FakeCameraProcess.h"
#include "frame/ComPtr.h"
#include "frame/modules/ModuleLoader.h"
#include "optivane/optivane.h"
#include "platform/SharedLibrary.h"
#include "smartphone/FakePhoneProcess.h"

namespace {

using namespace optivane;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

class Waiter : public IDeviceSearchCallback {
public:
    HRESULT OnDevicesFound(int32_t, void*, const CameraDeviceInfo*, int32_t count) override {
        std::lock_guard<std::mutex> hold(m_lock);
        m_count = count;
        m_done = true;
        m_changed.notify_all();
        return S_OK;
    }
    int Wait() {
        std::unique_lock<std::mutex> hold(m_lock);
        m_changed.wait(hold, [this] { return m_done; });
        m_done = false;
        return m_count;
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_done = false;
    int m_count = 0;
};

ComPtr<IOptivane> NewManager(const ModuleLoader& module) {
    ComPtr<IOptivane> manager;
    if (FAILED(module.CreateInstance(CLSID_Optivane, IID_IOptivane, manager.ReceiveVoid())) ||
        FAILED(manager->Initialize()))
        return {};
    return manager;
}

// One search of manager: seconds, and the count found.
double Search(IOptivane* manager, const char* address, int* found) {
    Waiter waiter;
    const auto start = Clock::now();
    if (FAILED(manager->StartSearch(&waiter, nullptr, address))) return -1;
    *found = waiter.Wait();
    return Seconds(start);
}

double ArvDiscovery(unsigned int* found) {
    const auto start = Clock::now();
    arv_update_device_list();
    const double seconds = Seconds(start);
    *found = arv_get_n_devices();
    return seconds;
}

}  // namespace

int main(int, char** argv) {
    if (!bench::InPrivateNetwork()) {
        bench::RunInPrivateNetwork(argv);
        std::fprintf(stderr, "search_bench: cannot run in a private network namespace\n");
        return 1;
    }
    const ModuleLoader module("./" + platform::SharedLibrary::FileNameFor("Optivane"));
    if (module.Entry() == nullptr) {
        std::fprintf(stderr, "search_bench: libOptivane.so not found beside the program\n");
        return 1;
    }

    std::vector<double> searches, discoveries;
    int found = 0;
    unsigned int arvFound = 0;
    for (int round = 0; round < 5; ++round) {
        discoveries.push_back(ArvDiscovery(&arvFound));
        ComPtr<IOptivane> manager = NewManager(module);
        if (!manager) return 1;
        searches.push_back(Search(manager.Get(), "", &found));
        std::printf("empty   round %d: search %.3f s (%d records), arv_update_device_list %.3f s (%u devices)\n",
                    round + 1, searches.back(), found, discoveries.back(), arvFound);
    }
    const double emptySearch = Median(searches), arvEmpty = Median(discoveries);

    std::vector<std::unique_ptr<test::FakeCameraProcess>> cameras;
    for (const char* address : {"127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"})
        cameras.push_back(std::make_unique<test::FakeCameraProcess>(
            std::vector<std::string>{OPTIVANE_FAKE_CAMERA, "--address", address, "--serial", address + 8}));
    cameras.push_back(std::make_unique<test::FakeCameraProcess>(std::vector<std::string>{
        OPTIVANE_FAKE_CAMERA, "--address", "127.0.0.9", "--serial", "P1", "--preset", "ids-peak"}));
    for (auto& camera : cameras) {
        if (!camera->Start()) return 1;
    }
    test::FakePhoneProcess first("127.0.0.7", 60000, {"--size", "64x48"});
    test::FakePhoneProcess second("127.0.0.8", 60000, {"--size", "64x48"});
    if (!first.IsRunning() || !second.IsRunning()) return 1;
    // The cameras need a moment before they answer a discovery.
    for (int attempt = 0; attempt < 20 && arvFound < 5; ++attempt) ArvDiscovery(&arvFound);

    ComPtr<IOptivane> manager = NewManager(module);
    if (!manager) return 1;
    const double full = Search(manager.Get(), "127.0.0.1", &found);
    const double arvFull = ArvDiscovery(&arvFound);
    std::printf("full    search %.3f s (%d records), arv_update_device_list %.3f s (%u devices)\n", full, found,
                arvFull, arvFound);
    int repeated = 0;
    const double repeat = Search(manager.Get(), "127.0.0.1", &repeated);
    std::printf("repeat  search %.3f ms (%d records)\n", repeat * 1000, repeated);
    std::printf("summary: empty_ratio=%.2f empty_s=%.3f arv_discovery_s=%.3f full_s=%.3f records=%d repeat_ms=%.2f\n",
                emptySearch / arvEmpty, emptySearch, arvEmpty, full, found, repeat * 1000);
    return 0;
}
