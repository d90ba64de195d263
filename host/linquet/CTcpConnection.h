// One TCP client connection of the Linquet module (CLSID_TcpConnection).
//
// States: created -> initialised (Init) -> connected (Connect) -> back to
// initialised (Disconnect, or a connection broken during Send or Receive) ->
// uninitialised (Uninit, final). Connect needs an initialised, unconnected
// object: calling it before Init, while connected or after Uninit is E_FAIL,
// so that a forgotten Init or Disconnect shows at once instead of silently
// dropping a live connection. Init again is S_FALSE. After Uninit, Init,
// Connect and the connection calls are E_FAIL; Uninit again is S_FALSE.
// Disconnect is S_OK in every state.
//
// Time-outs: a NetTimeout of 0..999999 microseconds and non-negative seconds;
// null means 5 seconds for every call. Failures: LINQUET_E_TIMEDOUT when the
// time-out passes (the connection stays open after a Send or Receive
// time-out; *sent tells how much of the data went), LINQUET_E_REFUSED when
// nothing listens at the port, E_FAIL when the peer has closed or reset the
// connection (it is then closed here too) and for any other socket error;
// E_INVALIDARG and E_POINTER for bad arguments, checked before the state.
//
// Threads: calls on one connection are serialised by its lock; a call that
// waits delays the others by up to its time-out.
#pragma once

#include <mutex>

#include "frame/CUnknown.h"
#include "optivane/host_framework.h"
#include "platform/TcpSocket.h"

namespace optivane {

class CTcpConnection : public ITcpConnection, public CUnknown {
public:
    static CUnknown* CreateInstance(IUnknown* outer, HRESULT* status);

    OPTIVANE_DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(const IID& iid, void** object) override;

    HRESULT Init() override;
    HRESULT IsConnected(int32_t* connected) override;
    HRESULT Connect(uint32_t reserved1, uint32_t reserved2, uint16_t port, uint32_t address,
                    const NetTimeout* timeout) override;
    HRESULT SetNoDelay(int32_t enable) override;
    HRESULT GetPeer(uint32_t* address, uint16_t* port) override;
    HRESULT Send(const char* data, size_t length, size_t* sent, const NetTimeout* timeout) override;
    HRESULT Receive(char* buffer, size_t capacity, size_t* received, const NetTimeout* timeout) override;
    HRESULT Disconnect() override;
    HRESULT Uninit() override;

private:
    enum class State { Created, Initialised, Connected, Uninitialised };

    explicit CTcpConnection(IUnknown* outer);

    std::mutex m_lock;  // guards everything below
    State m_state = State::Created;
    platform::TcpSocket m_socket;  // open exactly in State::Connected
};

}  // namespace optivane
