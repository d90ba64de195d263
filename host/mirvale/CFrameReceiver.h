// The Mirvale module's frame receiver (CLSID_FrameReceiver): one frame source,
// single frames on request and a stream on a thread of its own.
//
// State: Disconnected -> Connected (Connect) -> Receiving (StartReceiving)
// -> Connected (StopReceiving) -> Disconnected (Disconnect, or the
// destructor). The state is checked at every entry; see IFrameReceiver in
// host_framework.h for the statuses.
//
// Threads: host threads call the IFrameReceiver operations, serialised by
// the call lock, which GrabFrame gives up while it waits for a streamed
// frame (so StopReceiving stays prompt). The receiving thread (Receive) owns
// the connection while the state is Receiving; host calls own it otherwise.
// The receiving thread calls the sink's OnImage with no lock held. The state
// lock guards the state, the pending grab and the counters; it is taken
// after the call lock, never the other way round, and never held across a
// socket wait or a call out of this object.
//
// Ownership: the receiver owns its connection, the thread, the image pool
// (made at the first StartReceiving, cleared at destruction; images kept by
// a sink live on with it) and its Zendra loader. The sink is a plain pointer.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "frame/CUnknown.h"
#include "frame/ComPtr.h"
#include "frame/modules/ModuleLoader.h"
#include "host/mirvale/FrameConnection.h"
#include "optivane/host_framework.h"
#include "optivane/optivane.h"
#include "platform/Thread.h"

namespace optivane {

class CFrameReceiver : public IFrameReceiver, public CUnknown, private mirvale::FrameConnection::Target {
public:
    enum class State { Disconnected, Connected, Receiving };

    static CUnknown* CreateInstance(IUnknown* outer, HRESULT* status);
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
    enum class Grab { None, Waiting, Filled, Failed };
    static constexpr uint32_t kPoolImages = 4;

    explicit CFrameReceiver(IUnknown* outer);

    static void ReceiveEntry(void* self);
    void Receive();
    // One frame of the stream into a pool image (or the pending grab).
    uint8_t* PixelsFor(const mirvale::FrameInfo& info) override;
    void Deliver();
    HRESULT GrabIdle(IUnknown** frame);
    HRESULT GrabStreamed(std::unique_lock<std::mutex>& calls, IUnknown** frame);
    HRESULT MakePool();
    HRESULT MakeSnapshot(ComPtr<IFrameImage>* image) const;
    HRESULT StopThread();

    std::mutex m_calls;  // serialises host calls
    std::mutex m_lock;   // state lock: guards the fields marked so
    std::condition_variable m_grabChanged;

    State m_state = State::Disconnected;  // state lock
    uint32_t m_address = 0;               // set while Disconnected or Connected
    uint16_t m_port = 0;
    ICamImageCallback* m_sink = nullptr;  // set before the thread starts
    std::atomic<bool> m_stop{false};
    const std::atomic<bool> m_neverStop{false};

    Grab m_grab = Grab::None;             // state lock
    ComPtr<IFrameImage> m_grabImage;      // state lock
    bool m_intoGrab = false;              // receiving thread: this frame goes to the grab image
    uint64_t m_delivered = 0;             // state lock
    uint64_t m_dropped = 0;               // state lock
    uint64_t m_reconnects = 0;            // state lock

    ModuleLoader m_zendra;
    ComPtr<ISamplePool> m_pool;
    ComPtr<IFrameImage> m_current;  // receiving thread: the image being filled
    mirvale::FrameConnection m_connection;
    platform::Thread m_thread;
};

}  // namespace optivane
