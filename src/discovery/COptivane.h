// The manager the host asks for cameras: one search at a time over IDS peak
// devices, Aravis devices, phones and (when none of those answers) the
// virtual camera, reported in one OnDevicesFound; and the camera component
// for a record the host hands back.
//
// State: Created, then Initialized by the one Initialize that succeeds; it
// never goes back (Uninitialize only drops the IDS peak enumerator). A search
// runs from StartSearch until just before it calls OnDevicesFound; while it
// runs, StartSearch returns E_FAIL and changes nothing.
//
// Threads: StartSearch starts the search thread (the CSimpleThread part),
// which probes, calls OnDevicesFound and ends; after that call it touches no
// member, so the callback may start the next search or release the manager.
// Host threads run everything else. The thread of a search is joined by the
// next StartSearch or by the destructor; when either runs on that thread
// itself (inside OnDevicesFound) it lets the thread go instead, since no
// thread joins itself, and pins the module, whose code that thread still
// returns through. The destructor on another thread waits for a running
// search to end and suppresses its callback (one already begun is waited
// for).
//
// Locks, never held across a source or the callback: m_lock guards the
// state, the searching flag, the callback, context and address and the
// released flag. m_peakLock guards the IDS peak enumerator and is held across
// the search's IDS peak step, so Uninitialize never frees it under a search.
// m_threadLock guards the CSimpleThread part: StartSearch and the destructor
// hold it while they join (or let go) one thread and start the next. Nesting
// only as m_threadLock then m_lock, and m_lock then m_peakLock (Initialize).
// The stored lists and the last probe's end belong to the running search
// alone: a search starts only after the previous one cleared its flag under
// m_lock, which orders their accesses.
//
// Ownership: one reference to the peak SDK manager, kept so that the IDS
// peak library stays open while the manager lives (none when it could not be
// made). The callback is held without a reference. Cameras are made through
// the class factory given at creation.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "discovery/DiscoverySources.h"
#include "frame/CUnknown.h"
#include "frame/ComPtr.h"
#include "optivane/optivane.h"
#include "peak/CIdsPeakManager.h"
#include "runtime/CSimpleThread.h"
#include "runtime/CVrelLock.h"

namespace optivane {

class COptivane : public IOptivane, public CSimpleThread, public CUnknown {
public:
    // A search within this long after the last probing search's end reports
    // that search's records again without probing.
    static constexpr int64_t kReuseMicroseconds = 5000000;

    // Makes the peak SDK manager and the cameras through factory (the
    // module's DllCreateInstance), searching with the module's own sources.
    static CUnknown* CreateInstance(IUnknown* outer, HRESULT* status, DllCreateInstanceFn factory);
    static CUnknown* CreateInstance(IUnknown* outer, HRESULT* status, DllCreateInstanceFn factory,
                                    std::unique_ptr<DiscoverySources> sources);

    OPTIVANE_DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(const IID& iid, void** object) override;

    // IOptivane
    HRESULT Initialize() override;
    // A null address is empty text: every local network.
    HRESULT StartSearch(IDeviceSearchCallback* callback, void* context, const char* address) override;
    // E_POINTER for a null record or out-pointer.
    HRESULT CreateCamera(const CameraDeviceInfo* device, IAravisCamera** camera) override;
    HRESULT Uninitialize() override;

    void Run() override;

private:
    enum class State { Created, Initialized };

    struct Found {
        std::vector<CameraDeviceInfo> peak;
        std::vector<CameraDeviceInfo> aravis;
        std::vector<CameraDeviceInfo> phones;
        std::vector<CameraDeviceInfo> virtualCameras;
    };

    COptivane(IUnknown* outer, DllCreateInstanceFn factory, std::unique_ptr<DiscoverySources> sources);
    ~COptivane() override;

    // The search thread's work before its callback: probes, or repeats the
    // stored lists within the reuse window.
    std::vector<CameraDeviceInfo> Search(const std::string& address);
    void Probe(const std::string& address, Found* found);
    void AddAravisDevices(const std::vector<CameraDeviceInfo>& peak, std::vector<CameraDeviceInfo>* aravis);
    // Joins, or from the search thread itself lets go, a finished search's thread.
    void RetireThread();

    const DllCreateInstanceFn m_factory;
    const std::unique_ptr<DiscoverySources> m_sources;
    ComPtr<IPeakSdkManager> m_peakSdk;

    CVrelLock m_lock;
    State m_state = State::Created;              // under m_lock
    bool m_searching = false;                    // under m_lock
    bool m_released = false;                     // under m_lock
    IDeviceSearchCallback* m_callback = nullptr; // under m_lock
    void* m_context = nullptr;                   // under m_lock
    std::string m_address;                       // under m_lock

    CVrelLock m_threadLock;

    CVrelLock m_peakLock;
    std::unique_ptr<CIdsPeakManager> m_enumerator;  // under m_peakLock

    // The running search's alone.
    bool m_probed = false;
    int64_t m_lastSearchEnd = 0;
    Found m_stored;
};

}  // namespace optivane
