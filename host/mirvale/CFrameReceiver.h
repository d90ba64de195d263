// The Mirvale module's frame receiver (CLSID_FrameReceiver): one frame source,
// single frames on request and a stream on a thread of its own.
//
// State: Disconnected -> Connected (Connect) -> Receiving (StartReceiving)
// -> Connected (StopReceiving) -> Disconnected (Disconnect, or the
// destructor). The state is checked at every entry; see IFrameReceiver in
// host_framework.h for the statuses.
//
// Threads: host threads call the IFrameReceiver operations, serialised by
// the call lock, which a grab while streaming gives up while it waits (so
// StopReceiving stays prompt). The receiving thread is the streamer's
// (FrameStreamer): it owns the connection while the state is Receiving,
// host calls own it otherwise. The state lock guards the state; it is taken
// after the call lock, never the other way round, and never held across a
// socket wait or a call out of this object.
//
// Ownership: the receiver owns its timings, its connection, the streamer,
// the image pool (made at the first StartReceiving, cleared at destruction;
// images kept by a sink live on with it) and its Zendra loader.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "frame/CUnknown.h"
#include "frame/ComPtr.h"
#include "frame/modules/ModuleLoader.h"
#include "host/mirvale/FrameConnection.h"
#include "host/mirvale/FrameStreamer.h"
#include "host/mirvale/ReceiveTimings.h"
#include "optivane/host_framework.h"
#include "optivane/optivane.h"

namespace optivane {

class CFrameReceiver : public IFrameReceiver, public CUnknown {
public:
    enum class State { Disconnected, Connected, Receiving };

    static CUnknown* CreateInstance(IUnknown* outer, HRESULT* status);
    // With other time limits than the protocol's (tests).
    static CUnknown* CreateWithTimings(IUnknown* outer, const mirvale::ReceiveTimings& timings, HRESULT* status);
    ~CFrameReceiver() override;

    OPTIVANE_DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(const IID& iid, void** object) override;

    HRESULT Connect(const char* host, uint16_t port) override;
    HRESULT GrabFrame(IUnknown** frame) override;
    HRESULT StartReceiving(ICamImageCallback* sink, void* owner) override;
    HRESULT StopReceiving() override;
    HRESULT Disconnect() override;
    HRESULT GetCounts(uint64_t* delivered, uint64_t* dropped, uint64_t* reconnects) override;

private:
    static constexpr uint32_t kPoolImages = 4;

    CFrameReceiver(IUnknown* outer, const mirvale::ReceiveTimings& timings);

    HRESULT GrabIdle(IUnknown** frame);
    HRESULT MakePool();
    HRESULT MakeSnapshot(ComPtr<IFrameImage>* image) const;
    HRESULT StopThread();

    std::mutex m_calls;  // serialises host calls
    std::mutex m_lock;   // state lock
    State m_state = State::Disconnected;  // state lock
    uint32_t m_address = 0;               // set while Disconnected or Connected
    uint16_t m_port = 0;
    const mirvale::FrameConnection::StopRequest m_neverStop{0};

    const mirvale::ReceiveTimings m_timings;
    ModuleLoader m_zendra;
    ComPtr<ISamplePool> m_pool;
    mirvale::FrameConnection m_connection{m_timings};
    mirvale::FrameStreamer m_streamer{m_connection, m_timings};
};

}  // namespace optivane
