// The manager over fake sources, clock and class factory: group and source
// order, the IDS peak twin dropped, the reuse window, the virtual fallback,
// calls out of order, searches racing Release, Uninitialize and the next
// search, and the class each record opens.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "discovery/COptivane.h"
#include "discovery/SearchResults.h"
#include "frame/ComPtr.h"

namespace optivane {
namespace {

using namespace std::chrono_literals;
using test::Results;

CameraDeviceInfo Record(const char* id, const char* address, const char* model, const char* vendor = "") {
    CameraDeviceInfo record{};
    std::strncpy(record.DeviceId, id, sizeof record.DeviceId - 1);
    std::strncpy(record.IpAddress, address, sizeof record.IpAddress - 1);
    std::strncpy(record.ModelName, model, sizeof record.ModelName - 1);
    std::strncpy(record.VendorName, vendor, sizeof record.VendorName - 1);
    return record;
}

// A door a source waits at until the test opens it.
class Gate {
public:
    void Pass() {
        std::unique_lock<std::mutex> hold(m_lock);
        m_waiting = true;
        m_changed.notify_all();
        m_changed.wait(hold, [this] { return m_open; });
    }
    bool AwaitWaiter() {
        std::unique_lock<std::mutex> hold(m_lock);
        return m_changed.wait_for(hold, 10s, [this] { return m_waiting; });
    }
    void Open() {
        std::lock_guard<std::mutex> hold(m_lock);
        m_open = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_waiting = false;
    bool m_open = false;
};

struct World {
    std::vector<CameraDeviceInfo> peak, phones, virtualCameras;
    std::vector<AravisDeviceList::Entry> aravis;
    std::atomic<int64_t> now{100000000};
    std::atomic<int> calls{0};
    std::string phoneAddress;
    Gate* phoneGate = nullptr;
    Gate* peakGate = nullptr;
};

class FakeSources : public DiscoverySources {
public:
    explicit FakeSources(World& world) : m_world(world) {}
    void FindPeakDevices(CIdsPeakManager&, std::vector<CameraDeviceInfo>& list) override {
        ++m_world.calls;
        if (m_world.peakGate != nullptr) m_world.peakGate->Pass();
        list.insert(list.end(), m_world.peak.begin(), m_world.peak.end());
    }
    void FindAravisDevices(std::vector<AravisDeviceList::Entry>& list) override {
        ++m_world.calls;
        list = m_world.aravis;
    }
    void FindPhones(const std::string& address, std::vector<CameraDeviceInfo>& list) override {
        ++m_world.calls;
        m_world.phoneAddress = address;
        if (m_world.phoneGate != nullptr) m_world.phoneGate->Pass();
        list.insert(list.end(), m_world.phones.begin(), m_world.phones.end());
    }
    void FindVirtualCameras(std::vector<CameraDeviceInfo>& list) override {
        ++m_world.calls;
        list.insert(list.end(), m_world.virtualCameras.begin(), m_world.virtualCameras.end());
    }
    int64_t NowMicroseconds() override { return m_world.now.load(); }

private:
    World& m_world;
};

// The fake class factory makes no camera: it notes the class asked for and
// answers kNotMade, which CreateCamera must hand back.
constexpr HRESULT kNotMade = E_OUTOFMEMORY;
CLSID g_lastClass{};

HRESULT FakeFactory(const CLSID& classId, const IID&, void**) {
    // No IDS peak library here: the manager must do without one.
    if (classId == CLSID_PeakSdkManager) return CLASS_E_CLASSNOTAVAILABLE;
    g_lastClass = classId;
    return kNotMade;
}

ComPtr<IOptivane> NewManager(World& world) {
    HRESULT status = S_OK;
    CUnknown* made = COptivane::CreateInstance(nullptr, &status, &FakeFactory, std::make_unique<FakeSources>(world));
    ComPtr<IOptivane> manager;
    made->NonDelegatingAddRef();
    EXPECT_EQ(made->NonDelegatingQueryInterface(IID_IOptivane, manager.ReceiveVoid()), S_OK);
    made->NonDelegatingRelease();
    return manager;
}

std::vector<std::string> Ids(const std::vector<CameraDeviceInfo>& records) {
    std::vector<std::string> ids;
    for (const CameraDeviceInfo& record : records) ids.emplace_back(record.DeviceId);
    return ids;
}

std::vector<CameraDeviceInfo> SearchOnce(IOptivane* manager, Results& results, size_t n, const char* address = "") {
    EXPECT_EQ(manager->StartSearch(&results, &results, address), S_OK);
    return results.Await(n);
}

TEST(DiscoveryManager, ReportsGroupsInOrderAndDropsPeakTwinsByExactAddressAndModel) {
    World world;
    world.peak = {Record("IDS/IdsSim/P2", "127.0.0.3", "IdsSim", "IDS PeakCamera"),
                  Record("IDS/IdsSim/P1", "127.0.0.4", "IdsSim", "IDS PeakCamera")};
    world.aravis = {{"Fake-3", "127.0.0.3", "IDS", "IdsSim", "P2", "GigEVision"},      // the twin
                    {"Fake-2", "127.0.0.2", "Aravis", "Fake", "G1", "GigEVision"},
                    {"", "127.0.0.9", "X", "Y", "Z", "GigEVision"},                    // no id: skipped
                    {"Fake-4a", "127.0.0.4", "IDS", "IdsSim2", "P1", "GigEVision"},    // model differs
                    {"Fake-4b", "127.0.0.44", "IDS", "IdsSim", "P1", "GigEVision"},    // address differs
                    {"Fake-4c", "127.0.0.4", "IDS", "idssim", "P1", "GigEVision"},     // case differs
                    // Ids too long to open once cut: vendor-serial, else the address.
                    {"Acme-Model-With-A-Much-Longer-Name-S7", "127.0.0.7", "Acme", "M", "S7", "USB3Vision"},
                    {"IDS Imaging Development Systems-IdsSim-P8", "127.0.0.8", "IDS Imaging Development Systems GmbH",
                     "IdsSim", "P8", "GigEVision"}};
    world.phones = {Record("SMPHCA00127.0.0.6:60000", "127.0.0.6", "SmartPhoneCamera"),
                    Record("SMPHCA00127.0.0.5:60000", "127.0.0.5", "SmartPhoneCamera")};
    world.virtualCameras = {Record("127.0.0.1:45000", "127.0.0.1", "VirtualCamera")};
    ComPtr<IOptivane> manager = NewManager(world);
    ASSERT_EQ(manager->Initialize(), S_OK);
    Results results;
    EXPECT_EQ(Ids(SearchOnce(manager.Get(), results, 1, nullptr)),
              (std::vector<std::string>{"IDS/IdsSim/P2", "IDS/IdsSim/P1", "Fake-2", "Fake-4a", "Fake-4b", "Fake-4c",
                                        "Acme-S7", "127.0.0.8", "SMPHCA00127.0.0.6:60000",
                                        "SMPHCA00127.0.0.5:60000"}));
    EXPECT_EQ(results.Context(1), &results);
    EXPECT_EQ(world.phoneAddress, "");
    EXPECT_EQ(world.calls, 3) << "the virtual camera is probed only when nothing else is found";

    // Without the enumerator the twin is an Aravis camera like any other.
    EXPECT_EQ(manager->Uninitialize(), S_OK);
    world.now += COptivane::kReuseMicroseconds;
    world.calls = 0;
    const auto second = SearchOnce(manager.Get(), results, 2, "127.0.0.1");
    EXPECT_EQ(world.calls, 2);
    EXPECT_EQ(Ids(second).at(0), "Fake-3");
    EXPECT_EQ(world.phoneAddress, "127.0.0.1");

    // Nothing else: the virtual camera; with that gone too, a count of 0.
    world.aravis.clear();
    world.phones.clear();
    world.now += COptivane::kReuseMicroseconds;
    EXPECT_EQ(Ids(SearchOnce(manager.Get(), results, 3)), (std::vector<std::string>{"127.0.0.1:45000"}));
    world.virtualCameras.clear();
    world.now += COptivane::kReuseMicroseconds;
    EXPECT_TRUE(SearchOnce(manager.Get(), results, 4).empty());
}

TEST(DiscoveryManager, RepeatsTheProbingSearchWithinFiveSecondsOfItsEnd) {
    World world;
    world.now = 1;  // a clock near its start: the first search probes all the same
    world.phones = {Record("SMPHCA00127.0.0.5:60000", "127.0.0.5", "SmartPhoneCamera")};
    CameraDeviceInfo full{};
    std::memset(&full, 'x', sizeof full);
    full.DeviceId[31] = full.DeviceUserId[31] = full.VendorName[15] = full.IpAddress[23] = full.ModelName[31] =
        full.SerialNumber[31] = '\0';
    world.phones.push_back(full);
    ComPtr<IOptivane> manager = NewManager(world);
    ASSERT_EQ(manager->Initialize(), S_OK);
    Results results;
    const auto first = SearchOnce(manager.Get(), results, 1);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(std::memcmp(&first[1], &full, sizeof full), 0);
    const int probes = world.calls;

    world.phones.clear();
    const int64_t end = world.now;
    for (int64_t at : {end + COptivane::kReuseMicroseconds - 1, end - int64_t{3600000000}, end + 4000000}) {
        world.now = at;
        const auto repeated = SearchOnce(manager.Get(), results, results.Count() + 1);
        ASSERT_EQ(repeated.size(), first.size()) << at - end;
        EXPECT_EQ(std::memcmp(repeated.data(), first.data(), first.size() * sizeof first[0]), 0);
        EXPECT_EQ(world.calls, probes) << "a repeat probes nothing";
    }
    // Counted from the probing search's end, not from a repeat.
    world.now = end + COptivane::kReuseMicroseconds;
    EXPECT_TRUE(SearchOnce(manager.Get(), results, results.Count() + 1).empty());
    EXPECT_GT(world.calls, probes);
}

TEST(DiscoveryManager, RefusesCallsOutOfOrderAndBadArguments) {
    World world;
    ComPtr<IOptivane> manager = NewManager(world);
    Results results;
    EXPECT_EQ(manager->StartSearch(&results, nullptr, ""), E_FAIL);
    EXPECT_EQ(manager->Uninitialize(), S_OK);
    ASSERT_EQ(manager->Initialize(), S_OK);
    EXPECT_EQ(manager->Initialize(), E_FAIL);
    EXPECT_EQ(manager->StartSearch(nullptr, nullptr, ""), E_POINTER);

    Gate gate;
    world.phoneGate = &gate;
    ASSERT_EQ(manager->StartSearch(&results, nullptr, "127.0.0.1"), S_OK);
    ASSERT_TRUE(gate.AwaitWaiter());
    EXPECT_EQ(manager->StartSearch(&results, &world, "127.0.0.2"), E_FAIL);
    gate.Open();
    results.Await(1);
    EXPECT_EQ(world.phoneAddress, "127.0.0.1");
    EXPECT_EQ(results.Context(1), nullptr);

    IAravisCamera* untouched = reinterpret_cast<IAravisCamera*>(&world);
    const CameraDeviceInfo record = Record("Fake-2", "127.0.0.2", "Fake");
    EXPECT_EQ(manager->CreateCamera(nullptr, &untouched), E_POINTER);
    EXPECT_EQ(manager->CreateCamera(&record, nullptr), E_POINTER);
    EXPECT_EQ(untouched, reinterpret_cast<IAravisCamera*>(&world));
}

// Uninitialize waits for the IDS peak step; Release for the whole search,
// whose callback then never comes.
TEST(DiscoveryManager, UninitializeAndReleaseWaitForTheSearch) {
    World world;
    Gate peakStep, phoneStep;
    world.peakGate = &peakStep;
    world.phoneGate = &phoneStep;
    ComPtr<IOptivane> manager = NewManager(world);
    ASSERT_EQ(manager->Initialize(), S_OK);
    Results results;
    ASSERT_EQ(manager->StartSearch(&results, nullptr, ""), S_OK);
    ASSERT_TRUE(peakStep.AwaitWaiter());
    auto uninitialized = std::async(std::launch::async, [&] { return manager->Uninitialize(); });
    EXPECT_EQ(uninitialized.wait_for(200ms), std::future_status::timeout) << "the enumerator went under a search";
    peakStep.Open();
    EXPECT_EQ(uninitialized.get(), S_OK);
    ASSERT_TRUE(phoneStep.AwaitWaiter());
    auto released = std::async(std::launch::async, [&] { manager.Reset(); });
    EXPECT_EQ(released.wait_for(200ms), std::future_status::timeout) << "Release left a search running";
    phoneStep.Open();
    released.get();
    EXPECT_EQ(results.Count(), 0u);
}

TEST(DiscoveryManager, TheCallbackMayStartTheNextSearchOrReleaseTheManager) {
    World world;
    world.aravis = {{"Fake-2", "127.0.0.2", "Aravis", "Fake", "G1", "GigEVision"}};
    ComPtr<IOptivane> manager = NewManager(world);
    ASSERT_EQ(manager->Initialize(), S_OK);
    Results results;
    std::atomic<int> round{0};
    results.inside = [&] {
        const int now = ++round;
        if (now < 3) {
            world.now += COptivane::kReuseMicroseconds;
            EXPECT_EQ(manager->StartSearch(&results, nullptr, ""), S_OK);
        } else {
            manager.Reset();  // the last reference, on the search thread
        }
    };
    ASSERT_EQ(manager->StartSearch(&results, nullptr, ""), S_OK);
    EXPECT_EQ(results.Await(3).size(), 1u);
    EXPECT_FALSE(manager);
}

TEST(DiscoveryManager, CreateCameraRoutesByRecordAndHandsBackTheFactorysResult) {
    struct Case {
        CameraDeviceInfo record;
        const CLSID* expected;
    };
    char fullId[32];
    std::memset(fullId, '9', 31);
    fullId[31] = '\0';
    std::memcpy(fullId, "SMPHCA00127.0.0.5:", 18);
    const Case cases[] = {
        {Record("SMPHCA00192.168.1.20:60000", "127.0.0.1", "M", "IDS PeakCamera"), &CLSID_DummyCamera},
        {Record("x", "10.0.0.1", "M", "IDS PeakCamera"), &CLSID_IdsPeakCamera},
        {Record("SMPHCA00192.168.1.20:60000", "10.0.0.1", "M", "IDS PeakCamer"), &CLSID_SmartPhoneCamera},
        {Record(fullId, "", ""), &CLSID_SmartPhoneCamera},
        {Record("SMPHCAxx255.255.255.255:1", "", ""), &CLSID_SmartPhoneCamera},
        {Record("SMPHCA00192.168.001.020:1", "", ""), &CLSID_SmartPhoneCamera},
        {Record("SMPHCA:0192.168.1.20", "", ""), &CLSID_SmartPhoneCamera},  // ':' before index 8: to the end
        {Record("SMPHCA00192.168.1.300:60000", "", ""), &CLSID_AravisCamera},
        {Record("SMPHCA00192.168.1.20", "", ""), &CLSID_AravisCamera},
        {Record("SMPHCA00192.168.1:20:1", "", ""), &CLSID_AravisCamera},
        {Record("SMPHCA0", "", ""), &CLSID_AravisCamera},
        {Record("SMPHCA00 192.168.1.20:1", "", ""), &CLSID_AravisCamera},
        {Record("127.0.0.1:45000", "127.0.0.10", ""), &CLSID_AravisCamera},
    };
    World world;
    ComPtr<IOptivane> manager = NewManager(world);
    for (const Case& test : cases) {
        g_lastClass = CLSID{};
        IAravisCamera* untouched = nullptr;
        EXPECT_EQ(manager->CreateCamera(&test.record, &untouched), kNotMade);
        EXPECT_TRUE(untouched == nullptr && g_lastClass == *test.expected)
            << test.record.DeviceId << " " << test.record.IpAddress;
    }
}

}  // namespace
}  // namespace optivane
