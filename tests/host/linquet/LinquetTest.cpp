// Linquet on real loopback sockets, inside the test's private namespace:
// TcpConnection against in-test peers (guards, whole sends, partial reads,
// time-outs, peer close, refused and unanswered connects) and NetAdapterList.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "frame/ComPtr.h"
#include "frame/modules/ModuleLoader.h"
#include "optivane/host_framework.h"
#include "platform/LocalAddresses.h"
#include "platform/ManualResetEvent.h"
#include "platform/TcpListener.h"

namespace optivane::test {
namespace {

using Clock = std::chrono::steady_clock;
using platform::TcpSocket;

constexpr uint32_t kLoopback = 0x7F000001u;   // 127.0.0.1, host byte order
constexpr int64_t kPeerWait = 10 * 1000000LL;  // bounds every wait of a peer session
constexpr NetTimeout kShort = {0, 100000};     // for calls that are meant to time out
constexpr NetTimeout kFiveSeconds = {5, 0};

// A call's status and how many seconds it took.
struct Timed { HRESULT status; double seconds; };
Timed Time(const std::function<HRESULT()>& call) {
    const Clock::time_point start = Clock::now();
    const HRESULT status = call();
    return {status, std::chrono::duration<double>(Clock::now() - start).count()};
}

// Listens on 127.0.0.1 at a free port and runs one session with the first
// connection accepted, on a thread that Join and the destructor join.
class PeerServer {
public:
    explicit PeerServer(std::function<void(TcpSocket&)> session) {
        if (!m_listener.Listen(kLoopback, 0, 4)) return;
        m_thread = std::thread([this, session = std::move(session)] {
            TcpSocket peer;
            if (m_listener.Accept(&peer, 2 * kPeerWait) == TcpSocket::Result::Ok) session(peer);
        });
    }
    ~PeerServer() { Join(); }
    uint16_t Port() const { return m_listener.Port(); }
    void Join() { if (m_thread.joinable()) m_thread.join(); }

private:
    platform::TcpListener m_listener;
    std::thread m_thread;
};

// Reads count bytes through receive(buffer, capacity, &got), which answers
// whether it succeeded, and stops at the first failure.
template <typename Receive>
std::string ReadUpTo(size_t count, Receive receive) {
    std::string data(count, '\0');
    size_t done = 0;
    for (size_t got = 0; done < count && receive(&data[done], count - done, &got); done += got) EXPECT_GE(got, 1u);
    return data.substr(0, done);
}

std::string PeerRead(TcpSocket& peer, size_t count) {
    return ReadUpTo(count, [&](char* to, size_t capacity, size_t* got) {
        return peer.Receive(to, capacity, got, kPeerWait) == TcpSocket::Result::Ok;
    });
}

std::string Read(ITcpConnection* connection, size_t count) {
    return ReadUpTo(count, [&](char* to, size_t capacity, size_t* got) {
        return SUCCEEDED(connection->Receive(to, capacity, got, &kFiveSeconds));
    });
}

const ModuleLoader g_linquet = ModuleLoader::ForSibling("Linquet");

// A new connection after Init, connected to server when one is given.
ComPtr<ITcpConnection> Connection(const PeerServer* server = nullptr, bool init = true) {
    ComPtr<ITcpConnection> connection;
    EXPECT_EQ(g_linquet.CreateInstance(CLSID_TcpConnection, IID_ITcpConnection, connection.ReceiveVoid()), S_OK);
    EXPECT_EQ(init ? connection->Init() : S_OK, S_OK);
    EXPECT_EQ(server ? connection->Connect(0, 0, server->Port(), kLoopback, &kFiveSeconds) : S_OK, S_OK);
    return connection;
}

bool IsConnected(ITcpConnection* connection) {
    int32_t connected = -1;
    EXPECT_EQ(connection->IsConnected(&connected), S_OK);
    return connected == 1;
}

TEST(Linquet, ConnectionGuardsStateOrderAndArguments) {
    PeerServer server([](TcpSocket& peer) { PeerRead(peer, 1); });
    ComPtr<ITcpConnection> tested = Connection(nullptr, false);
    ITcpConnection* c = tested.Get();
    const uint16_t port = server.Port();
    const NetTimeout micros = {0, 1000000}, negative = {-1, 0};
    char buffer[4];
    size_t count = 0;
    uint32_t address = 0;
    uint16_t peerPort = 0;
    // connected: what IsConnected answers after the call; clears: the call sets the count to 0.
    struct Step { const char* what; std::function<HRESULT()> call; HRESULT expected; bool connected, clears = false; };
    const Step steps[] = {
        {"Connect before Init", [&] { return c->Connect(0, 0, port, kLoopback, &kFiveSeconds); }, E_FAIL, false},
        {"Disconnect", [&] { return c->Disconnect(); }, S_OK, false},
        {"Init", [&] { return c->Init(); }, S_OK, false},
        {"Init again", [&] { return c->Init(); }, S_FALSE, false},
        {"Send unconnected", [&] { return c->Send("x", 1, &count, &kShort); }, E_FAIL, false, true},
        {"Receive unconnected", [&] { return c->Receive(buffer, 4, &count, &kShort); }, E_FAIL, false, true},
        {"SetNoDelay unconnected", [&] { return c->SetNoDelay(1); }, E_FAIL, false},
        {"GetPeer unconnected", [&] { return c->GetPeer(&address, &peerPort); }, E_FAIL, false},
        {"reserved1", [&] { return c->Connect(1, 0, port, kLoopback, &kFiveSeconds); }, E_INVALIDARG, false},
        {"reserved2", [&] { return c->Connect(0, 7, port, kLoopback, &kFiveSeconds); }, E_INVALIDARG, false},
        {"port 0", [&] { return c->Connect(0, 0, 0, kLoopback, &kFiveSeconds); }, E_INVALIDARG, false},
        {"address 0", [&] { return c->Connect(0, 0, port, 0, &kFiveSeconds); }, E_INVALIDARG, false},
        {"micros", [&] { return c->Connect(0, 0, port, kLoopback, &micros); }, E_INVALIDARG, false},
        {"negative", [&] { return c->Connect(0, 0, port, kLoopback, &negative); }, E_INVALIDARG, false},
        {"Connect", [&] { return c->Connect(0, 0, port, kLoopback, &kFiveSeconds); }, S_OK, true},
        {"Disconnect", [&] { return c->Disconnect(); }, S_OK, false},
        {"reconnect, default time-out", [&] { return c->Connect(0, 0, port, kLoopback, nullptr); }, S_OK, true},
        {"Connect connected", [&] { return c->Connect(0, 0, port, kLoopback, &kFiveSeconds); }, E_FAIL, true},
        {"GetPeer", [&] { return c->GetPeer(&address, &peerPort); }, S_OK, true},
        {"SetNoDelay", [&] { return c->SetNoDelay(1); }, S_OK, true},
        {"capacity 0", [&] { return c->Receive(buffer, 0, &count, &kShort); }, E_INVALIDARG, true, true},
        {"no buffer", [&] { return c->Receive(nullptr, 4, &count, &kShort); }, E_INVALIDARG, true},
        {"no count", [&] { return c->Receive(buffer, 4, nullptr, &kShort); }, E_POINTER, true},
        {"negative", [&] { return c->Receive(buffer, 4, &count, &negative); }, E_INVALIDARG, true},
        {"no data", [&] { return c->Send(nullptr, 3, &count, &kShort); }, E_POINTER, true},
        {"micros", [&] { return c->Send("x", 1, &count, &micros); }, E_INVALIDARG, true},
        {"SetNoDelay(2)", [&] { return c->SetNoDelay(2); }, E_INVALIDARG, true},
        {"IsConnected(null)", [&] { return c->IsConnected(nullptr); }, E_POINTER, true},
        {"GetPeer(null)", [&] { return c->GetPeer(nullptr, &peerPort); }, E_POINTER, true},
        {"empty Send", [&] { return c->Send("", 0, &count, &kShort); }, S_OK, true, true},
        {"Send, no count", [&] { return c->Send("x", 1, nullptr, &kShort); }, S_OK, true},
        {"Uninit", [&] { return c->Uninit(); }, S_OK, false},
        {"Uninit again", [&] { return c->Uninit(); }, S_FALSE, false},
        {"Init after Uninit", [&] { return c->Init(); }, E_FAIL, false},
        {"Connect after Uninit", [&] { return c->Connect(0, 0, port, kLoopback, &kFiveSeconds); }, E_FAIL, false},
    };
    for (const Step& step : steps) {
        count = 7;
        EXPECT_EQ(step.call(), step.expected) << step.what;
        EXPECT_EQ(IsConnected(c), step.connected) << step.what;
        EXPECT_TRUE(!step.clears || count == 0) << step.what << ": count not cleared";
    }
    EXPECT_TRUE(address == kLoopback && peerPort == port) << address << ":" << peerPort;
}

// Time-outs are the caller's: the test gives short ones and checks that the
// calls waited at least that long.
TEST(Linquet, ConnectionReceivesPartiallyTimesOutAndStaysUsable) {
    // Far more than the loopback buffers hold, to a peer that reads a part
    // while the send runs (so that it takes several writes), then nothing
    // until the send has timed out.
    std::string payload(32u * 1024 * 1024, '\0');
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>((i * 131u + (i >> 12)) & 0xFF);
    size_t sent = 0;
    std::string received;
    platform::ManualResetEvent timedOut, done;
    PeerServer server([&](TcpSocket& peer) {
        peer.SendAll("abc", 3, nullptr, kPeerWait);
        received = PeerRead(peer, 8u * 1024 * 1024);
        if (!timedOut.WaitFor(30000) || sent < received.size()) return;
        received += PeerRead(peer, sent - received.size());
        peer.SendAll("0123456789", 10, nullptr, kPeerWait);
        done.WaitFor(15000);  // closing with unread data would reset the connection
    });
    ComPtr<ITcpConnection> connection = Connection(&server);
    // Returns with what has arrived, without waiting to fill its capacity.
    char buffer[64] = {};
    size_t got = 0;
    ASSERT_EQ(connection->Receive(buffer, sizeof(buffer), &got, &kFiveSeconds), S_OK);
    ASSERT_TRUE(got >= 1 && got <= 3) << got;
    EXPECT_EQ(std::string(buffer, got) + Read(connection.Get(), 3 - got), "abc");

    Timed call = Time([&] { return connection->Receive(buffer, sizeof(buffer), &got, &kShort); });
    EXPECT_TRUE(call.status == LINQUET_E_TIMEDOUT && call.seconds >= 0.099 && got == 0) << call.status << " " << got;
    call = Time([&] { return connection->Send(payload.data(), payload.size(), &sent, &kShort); });
    EXPECT_TRUE(call.status == LINQUET_E_TIMEDOUT && call.seconds >= 0.099) << call.status << " " << call.seconds;
    EXPECT_TRUE(sent > 0 && sent < payload.size()) << sent;
    EXPECT_TRUE(IsConnected(connection.Get()));

    // The bytes counted as sent arrive whole and in order; what exceeds the
    // capacity of a receive waits for the next call.
    timedOut.Set();
    std::string small;
    while (small.size() < 10) {
        ASSERT_EQ(connection->Receive(buffer, 2, &got, &kFiveSeconds), S_OK);
        ASSERT_TRUE(got >= 1 && got <= 2) << got;
        small.append(buffer, got);
    }
    EXPECT_EQ(small, "0123456789");
    done.Set();
    server.Join();
    EXPECT_TRUE(received == payload.substr(0, sent)) << "the peer did not receive the bytes sent, in order";
}

TEST(Linquet, ConnectionFailsOnRefusalUnansweredConnectAndPeerCloseNeverReceivingNothing) {
    ComPtr<ITcpConnection> connection = Connection();
    const NetTimeout eightSeconds = {8, 0};  // never waited out
    // Nothing listens at port 1 in the test's namespace.
    Timed call = Time([&] { return connection->Connect(0, 0, 1, kLoopback, &eightSeconds); });
    EXPECT_TRUE(call.status == LINQUET_E_REFUSED && call.seconds < 5.0) << call.status << " " << call.seconds;

    PeerServer server([](TcpSocket& peer) { peer.SendAll("xy", 2, nullptr, kPeerWait); });
    ASSERT_EQ(connection->Connect(0, 0, server.Port(), kLoopback, &kFiveSeconds), S_OK) << "after a refusal";
    EXPECT_EQ(Read(connection.Get(), 2), "xy");
    server.Join();  // the session's end closes the peer socket
    char buffer[16];
    size_t got = 99;
    call = Time([&] { return connection->Receive(buffer, sizeof(buffer), &got, &eightSeconds); });
    EXPECT_TRUE(call.status == E_FAIL && got == 0 && call.seconds < 7.0) << "peer close must not wait for the time-out";
    EXPECT_FALSE(IsConnected(connection.Get()));
    EXPECT_EQ(connection->Receive(buffer, sizeof(buffer), &got, &kShort), E_FAIL);

    // A listener that never accepts, with the smallest backlog: once its queue
    // is full the kernel drops further SYNs, so a connect gets no answer.
    platform::TcpListener listener;
    ASSERT_TRUE(listener.Listen(kLoopback, 0, 0));
    std::vector<TcpSocket> fillers(8);
    bool queueFull = false;
    for (size_t i = 0; i < fillers.size() && !queueFull; ++i) {
        const TcpSocket::Result result = fillers[i].Connect(kLoopback, listener.Port(), 300000);
        ASSERT_TRUE(result == TcpSocket::Result::Ok || result == TcpSocket::Result::TimedOut);
        queueFull = result == TcpSocket::Result::TimedOut;
    }
    if (!queueFull) GTEST_SKIP() << "this kernel answers SYNs to a full accept queue";
    call = Time([&] { return connection->Connect(0, 0, listener.Port(), kLoopback, &kShort); });
    EXPECT_TRUE(call.status == LINQUET_E_TIMEDOUT && call.seconds >= 0.099) << call.status << " " << call.seconds;
    EXPECT_FALSE(IsConnected(connection.Get()));
}

TEST(Linquet, AdapterListSeesNoAddressWhereOnlyLoopbackExists) {
    ComPtr<INetAdapterList> list;
    ASSERT_EQ(g_linquet.CreateInstance(CLSID_NetAdapterList, IID_INetAdapterList, list.ReceiveVoid()), S_OK);
    std::vector<uint32_t> addresses(platform::LocalAddresses::kMaxCount, 0xDEADBEEFu);
    uint16_t count = 99;
    ASSERT_EQ(list->Refresh(), S_OK);
    ASSERT_EQ(list->GetLocalAddresses(&count, addresses.data()), S_OK);
    EXPECT_TRUE(count == 0 && addresses[0] == 0xDEADBEEFu) << count << ": 127.0.0.1 to 127.0.0.9 are loopback";
    EXPECT_EQ(list->GetLocalAddresses(nullptr, addresses.data()), E_POINTER);
    EXPECT_EQ(list->GetLocalAddresses(&count, nullptr), E_POINTER);
}

TEST(LocalAddresses, ListsHostOrderAddressesOnceWithoutLoopbackUpToTheLimit) {
    using platform::LocalAddresses;
    const uint8_t bytes[4] = {192, 168, 1, 20};
    EXPECT_EQ(LocalAddresses::FromNetworkBytes(bytes), 0xC0A80114u);
    std::vector<uint32_t> list;
    for (const uint32_t refused : {0x7F000001u, 0x7FFFFFFEu, 0u}) EXPECT_FALSE(LocalAddresses::Append(refused, &list));
    EXPECT_TRUE(LocalAddresses::Append(0x80000001u, &list)) << "128.0.0.1 is no loopback";
    EXPECT_FALSE(LocalAddresses::Append(0x80000001u, &list)) << "repeated";
    for (uint32_t i = 1; i < LocalAddresses::kMaxCount; ++i) ASSERT_TRUE(LocalAddresses::Append(0x0A000000 + i, &list));
    EXPECT_FALSE(LocalAddresses::Append(0x0B000001u, &list)) << "beyond the limit";
    EXPECT_EQ(list.size(), LocalAddresses::kMaxCount);
}

}  // namespace
}  // namespace optivane::test
