// TcpConnection on real loopback sockets against in-test peers: state and
// argument guards, whole sends to a slow reader, partial reads, time-outs,
// peer close, refused and unanswered connects, and calls from two threads.
#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "LinquetModule.h"
#include "PeerServer.h"
#include "platform/ManualResetEvent.h"

namespace optivane::test {
namespace {

using Clock = std::chrono::steady_clock;
using platform::TcpSocket;

constexpr NetTimeout kOneSecond = {1, 0};
constexpr NetTimeout kFiveSeconds = {5, 0};
constexpr NetTimeout kEightSeconds = {8, 0};
constexpr int64_t kPeerWait = 10 * 1000000LL;  // bounded waits inside sessions
constexpr uint32_t kSignalWaitMs = 15000;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Reads from a peer socket until count bytes arrived or it fails.
std::string ReadExactly(TcpSocket& peer, size_t count) {
    std::string data;
    char chunk[4096];
    while (data.size() < count) {
        size_t got = 0;
        if (peer.Receive(chunk, std::min(sizeof(chunk), count - data.size()), &got, kPeerWait) !=
            TcpSocket::Result::Ok) {
            break;
        }
        data.append(chunk, got);
    }
    return data;
}

// Receives through the connection until count bytes arrived or a call fails.
std::string ReceiveExactly(ITcpConnection* connection, size_t count) {
    std::string data;
    char chunk[4096];
    while (data.size() < count) {
        size_t got = 0;
        if (FAILED(connection->Receive(chunk, std::min(sizeof(chunk), count - data.size()), &got, &kFiveSeconds))) {
            break;
        }
        EXPECT_GE(got, 1u);
        data.append(chunk, got);
    }
    return data;
}

using TcpConnectionGuards = LinquetModule;
using TcpConnectionExchange = LinquetModule;
using TcpConnectionFailures = LinquetModule;

TEST_F(TcpConnectionGuards, FollowsTheStateOrder) {
    ComPtr<ITcpConnection> connection = NewConnection();
    ASSERT_TRUE(connection);
    PeerServer server([](TcpSocket&) {});
    ASSERT_TRUE(server.IsListening());

    EXPECT_EQ(connection->Connect(0, 0, server.Port(), kLoopback, &kFiveSeconds), E_FAIL) << "Connect before Init";
    EXPECT_EQ(connection->Disconnect(), S_OK);
    EXPECT_EQ(connection->Init(), S_OK);
    EXPECT_EQ(connection->Init(), S_FALSE);

    char buffer[8];
    size_t count = 7;
    EXPECT_EQ(connection->Send("x", 1, &count, &kOneSecond), E_FAIL) << "Send before Connect";
    EXPECT_EQ(count, 0u);
    count = 7;
    EXPECT_EQ(connection->Receive(buffer, sizeof(buffer), &count, &kOneSecond), E_FAIL);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(connection->SetNoDelay(1), E_FAIL);
    uint32_t address = 0;
    uint16_t port = 0;
    EXPECT_EQ(connection->GetPeer(&address, &port), E_FAIL);

    ASSERT_EQ(connection->Connect(0, 0, server.Port(), kLoopback, &kFiveSeconds), S_OK);
    EXPECT_EQ(connection->Connect(0, 0, server.Port(), kLoopback, &kFiveSeconds), E_FAIL) << "already connected";
    int32_t connected = -1;
    EXPECT_EQ(connection->IsConnected(&connected), S_OK);
    EXPECT_EQ(connected, 1);

    EXPECT_EQ(connection->Uninit(), S_OK);
    EXPECT_EQ(connection->IsConnected(&connected), S_OK);
    EXPECT_EQ(connected, 0);
    EXPECT_EQ(connection->Uninit(), S_FALSE);
    EXPECT_EQ(connection->Init(), E_FAIL);
    EXPECT_EQ(connection->Connect(0, 0, server.Port(), kLoopback, &kFiveSeconds), E_FAIL);
    EXPECT_EQ(connection->Disconnect(), S_OK);
}

TEST_F(TcpConnectionGuards, RejectsBadArguments) {
    ComPtr<ITcpConnection> connection = NewInitialisedConnection();
    ASSERT_TRUE(connection);
    PeerServer server([](TcpSocket& peer) { ReadExactly(peer, 1); });
    ASSERT_TRUE(server.IsListening());

    EXPECT_EQ(connection->Connect(1, 0, server.Port(), kLoopback, &kFiveSeconds), E_INVALIDARG);
    EXPECT_EQ(connection->Connect(0, 7, server.Port(), kLoopback, &kFiveSeconds), E_INVALIDARG);
    EXPECT_EQ(connection->Connect(0, 0, 0, kLoopback, &kFiveSeconds), E_INVALIDARG);
    EXPECT_EQ(connection->Connect(0, 0, server.Port(), 0, &kFiveSeconds), E_INVALIDARG);
    const NetTimeout tooManyMicroseconds = {0, 1000000};
    const NetTimeout negative = {-1, 0};
    EXPECT_EQ(connection->Connect(0, 0, server.Port(), kLoopback, &tooManyMicroseconds), E_INVALIDARG);
    EXPECT_EQ(connection->Connect(0, 0, server.Port(), kLoopback, &negative), E_INVALIDARG);
    int32_t connected = -1;
    EXPECT_EQ(connection->IsConnected(&connected), S_OK);
    EXPECT_EQ(connected, 0) << "a rejected Connect does not connect";

    // Null time-out: the default.
    ASSERT_EQ(connection->Connect(0, 0, server.Port(), kLoopback, nullptr), S_OK);
    char buffer[4];
    size_t count = 9;
    EXPECT_EQ(connection->Receive(buffer, 0, &count, &kOneSecond), E_INVALIDARG);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(connection->Receive(nullptr, sizeof(buffer), &count, &kOneSecond), E_INVALIDARG);
    EXPECT_EQ(connection->Receive(buffer, sizeof(buffer), nullptr, &kOneSecond), E_POINTER);
    EXPECT_EQ(connection->Receive(buffer, sizeof(buffer), &count, &negative), E_INVALIDARG);
    EXPECT_EQ(connection->Send(nullptr, 3, &count, &kOneSecond), E_POINTER);
    EXPECT_EQ(connection->Send("x", 1, &count, &tooManyMicroseconds), E_INVALIDARG);
    EXPECT_EQ(connection->SetNoDelay(2), E_INVALIDARG);
    EXPECT_EQ(connection->IsConnected(nullptr), E_POINTER);
    uint16_t port = 0;
    EXPECT_EQ(connection->GetPeer(nullptr, &port), E_POINTER);

    // Nothing above broke the connection. The count may be null, and an
    // empty send succeeds.
    EXPECT_EQ(connection->Send("", 0, &count, &kOneSecond), S_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(connection->Send("x", 1, nullptr, &kOneSecond), S_OK);
    server.Join();
    EXPECT_EQ(connection->Disconnect(), S_OK);
}

TEST_F(TcpConnectionExchange, ConnectsReportsThePeerAndReconnects) {
    ComPtr<ITcpConnection> connection = NewInitialisedConnection();
    ASSERT_TRUE(connection);
    for (int round = 0; round < 2; ++round) {
        PeerServer server([](TcpSocket& peer) {
            const std::string request = ReadExactly(peer, 4);
            const std::string reply = request + "-ok";
            peer.SendAll(reply.data(), reply.size(), nullptr, kPeerWait);
        });
        ASSERT_TRUE(server.IsListening());
        ASSERT_EQ(connection->Connect(0, 0, server.Port(), kLoopback, &kFiveSeconds), S_OK) << "round " << round;
        uint32_t address = 0;
        uint16_t port = 0;
        EXPECT_EQ(connection->GetPeer(&address, &port), S_OK);
        EXPECT_EQ(address, kLoopback);
        EXPECT_EQ(port, server.Port());
        EXPECT_EQ(connection->SetNoDelay(1), S_OK);

        size_t sent = 0;
        EXPECT_EQ(connection->Send("ping", 4, &sent, &kFiveSeconds), S_OK);
        EXPECT_EQ(sent, 4u);
        EXPECT_EQ(ReceiveExactly(connection.Get(), 7), "ping-ok");
        EXPECT_EQ(connection->Disconnect(), S_OK);
        int32_t connected = -1;
        EXPECT_EQ(connection->IsConnected(&connected), S_OK);
        EXPECT_EQ(connected, 0);
    }
}

TEST_F(TcpConnectionExchange, SendsALargeBufferWhollyToASlowReader) {
    std::vector<char> payload(32u * 1024 * 1024);
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>((i * 131u + (i >> 12)) & 0xFF);
    std::atomic<bool> intact{false};
    PeerServer server([&](TcpSocket& peer) {
        // Let the sender fill every buffer and wait before reading anything.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        std::vector<char> received;
        received.reserve(payload.size());
        char chunk[16384];
        size_t reads = 0;
        while (received.size() < payload.size()) {
            size_t got = 0;
            if (peer.Receive(chunk, sizeof(chunk), &got, kPeerWait) != TcpSocket::Result::Ok) break;
            received.insert(received.end(), chunk, chunk + got);
            if (++reads % 64 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        intact = received == payload;
    });
    ASSERT_TRUE(server.IsListening());
    ComPtr<ITcpConnection> connection = NewInitialisedConnection();
    ASSERT_TRUE(connection);
    ASSERT_EQ(connection->Connect(0, 0, server.Port(), kLoopback, &kFiveSeconds), S_OK);

    size_t sent = 0;
    EXPECT_EQ(connection->Send(payload.data(), payload.size(), &sent, &kFiveSeconds), S_OK);
    EXPECT_EQ(sent, payload.size());
    server.Join();
    EXPECT_TRUE(intact) << "the peer did not receive every byte in order";
    EXPECT_EQ(connection->Disconnect(), S_OK);
}

TEST_F(TcpConnectionExchange, ReceivesWhatHasArrivedWithinTheCapacity) {
    platform::ManualResetEvent firstPartRead;
    PeerServer server([&](TcpSocket& peer) {
        peer.SendAll("abc", 3, nullptr, kPeerWait);
        if (!firstPartRead.WaitFor(kSignalWaitMs)) return;
        peer.SendAll("defgh", 5, nullptr, kPeerWait);
        // Then more than the reader's capacity at once.
        peer.SendAll("0123456789", 10, nullptr, kPeerWait);
        ReadExactly(peer, 1);  // stays open until the reader is done
    });
    ASSERT_TRUE(server.IsListening());
    ComPtr<ITcpConnection> connection = NewInitialisedConnection();
    ASSERT_TRUE(connection);
    ASSERT_EQ(connection->Connect(0, 0, server.Port(), kLoopback, &kFiveSeconds), S_OK);

    // The first call returns with what has arrived and does not wait for the
    // rest of its capacity.
    char buffer[64] = {};
    size_t got = 0;
    ASSERT_EQ(connection->Receive(buffer, sizeof(buffer), &got, &kFiveSeconds), S_OK);
    ASSERT_GE(got, 1u);
    ASSERT_LE(got, 3u);
    std::string data(buffer, got);
    data += ReceiveExactly(connection.Get(), 3 - data.size());
    EXPECT_EQ(data, "abc");
    firstPartRead.Set();
    EXPECT_EQ(ReceiveExactly(connection.Get(), 5), "defgh");

    std::string small;
    while (small.size() < 10) {
        char two[2] = {};
        got = 99;
        ASSERT_EQ(connection->Receive(two, sizeof(two), &got, &kFiveSeconds), S_OK);
        ASSERT_GE(got, 1u);
        ASSERT_LE(got, 2u) << "more than the capacity";
        small.append(two, got);
    }
    EXPECT_EQ(small, "0123456789");
    EXPECT_EQ(connection->Send("!", 1, nullptr, &kFiveSeconds), S_OK);
    server.Join();
    EXPECT_EQ(connection->Disconnect(), S_OK);
}

TEST_F(TcpConnectionExchange, SerialisesCallsFromTwoThreads) {
    constexpr int kMessages = 200;
    PeerServer server([](TcpSocket& peer) {
        const std::string all = ReadExactly(peer, kMessages * 4);
        peer.SendAll(all.data(), all.size(), nullptr, kPeerWait);
    });
    ASSERT_TRUE(server.IsListening());
    ComPtr<ITcpConnection> connection = NewInitialisedConnection();
    ASSERT_TRUE(connection);
    ASSERT_EQ(connection->Connect(0, 0, server.Port(), kLoopback, &kFiveSeconds), S_OK);

    std::atomic<int> sendFailures{0};
    std::thread sender([&] {
        for (int i = 0; i < kMessages; ++i) {
            if (FAILED(connection->Send("ping", 4, nullptr, &kFiveSeconds))) ++sendFailures;
        }
    });
    // Short waits so that the sender gets the connection between them.
    const NetTimeout shortWait = {0, 20000};
    std::string echoed;
    const Clock::time_point start = Clock::now();
    while (echoed.size() < kMessages * 4u && SecondsSince(start) < 60) {
        char chunk[256];
        size_t got = 0;
        const HRESULT status = connection->Receive(chunk, sizeof(chunk), &got, &shortWait);
        if (SUCCEEDED(status)) echoed.append(chunk, got);
        else if (status != LINQUET_E_TIMEDOUT) break;
        int32_t connected = 0;
        connection->IsConnected(&connected);
    }
    sender.join();
    EXPECT_EQ(sendFailures, 0);
    ASSERT_EQ(echoed.size(), kMessages * 4u);
    for (int i = 0; i < kMessages; ++i) EXPECT_EQ(echoed.compare(i * 4, 4, "ping"), 0);
    server.Join();
    EXPECT_EQ(connection->Disconnect(), S_OK);
}

TEST_F(TcpConnectionFailures, ReceiveTimesOutAndTheConnectionStaysUsable) {
    platform::ManualResetEvent timedOut;
    PeerServer server([&](TcpSocket& peer) {
        if (!timedOut.WaitFor(kSignalWaitMs)) return;
        peer.SendAll("z", 1, nullptr, kPeerWait);
    });
    ASSERT_TRUE(server.IsListening());
    ComPtr<ITcpConnection> connection = NewInitialisedConnection();
    ASSERT_TRUE(connection);
    ASSERT_EQ(connection->Connect(0, 0, server.Port(), kLoopback, &kFiveSeconds), S_OK);

    char buffer[16];
    size_t got = 99;
    Clock::time_point start = Clock::now();
    EXPECT_EQ(connection->Receive(buffer, sizeof(buffer), &got, &kOneSecond), LINQUET_E_TIMEDOUT);
    double waited = SecondsSince(start);
    EXPECT_EQ(got, 0u);
    EXPECT_GE(waited, 0.99);
    EXPECT_LT(waited, 10.0);

    const NetTimeout fifthOfASecond = {0, 200000};
    start = Clock::now();
    EXPECT_EQ(connection->Receive(buffer, sizeof(buffer), &got, &fifthOfASecond), LINQUET_E_TIMEDOUT);
    waited = SecondsSince(start);
    EXPECT_GE(waited, 0.199);
    EXPECT_LT(waited, 10.0);

    timedOut.Set();
    ASSERT_EQ(connection->Receive(buffer, sizeof(buffer), &got, &kFiveSeconds), S_OK);
    EXPECT_EQ(got, 1u);
    EXPECT_EQ(buffer[0], 'z');
    server.Join();
    EXPECT_EQ(connection->Disconnect(), S_OK);
}

TEST_F(TcpConnectionFailures, SendTimesOutWhenThePeerNeverReads) {
    platform::ManualResetEvent done;
    PeerServer server([&](TcpSocket&) { done.WaitFor(kSignalWaitMs * 2); });
    ASSERT_TRUE(server.IsListening());
    ComPtr<ITcpConnection> connection = NewInitialisedConnection();
    ASSERT_TRUE(connection);
    ASSERT_EQ(connection->Connect(0, 0, server.Port(), kLoopback, &kFiveSeconds), S_OK);

    // Far more than the send and receive buffers of loopback hold.
    const std::vector<char> payload(128u * 1024 * 1024, 'p');
    size_t sent = 0;
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(connection->Send(payload.data(), payload.size(), &sent, &kOneSecond), LINQUET_E_TIMEDOUT);
    EXPECT_GE(SecondsSince(start), 0.99);
    EXPECT_GT(sent, 0u);
    EXPECT_LT(sent, payload.size());
    int32_t connected = 0;
    EXPECT_EQ(connection->IsConnected(&connected), S_OK);
    EXPECT_EQ(connected, 1);
    done.Set();
    server.Join();
    EXPECT_EQ(connection->Disconnect(), S_OK);
}

TEST_F(TcpConnectionFailures, PeerCloseFailsReceiveInsteadOfReturningNothing) {
    PeerServer server([](TcpSocket& peer) { peer.SendAll("xy", 2, nullptr, kPeerWait); });
    ASSERT_TRUE(server.IsListening());
    ComPtr<ITcpConnection> connection = NewInitialisedConnection();
    ASSERT_TRUE(connection);
    ASSERT_EQ(connection->Connect(0, 0, server.Port(), kLoopback, &kFiveSeconds), S_OK);

    EXPECT_EQ(ReceiveExactly(connection.Get(), 2), "xy");
    server.Join();  // the session's end closes the peer socket
    char buffer[16];
    size_t got = 99;
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(connection->Receive(buffer, sizeof(buffer), &got, &kEightSeconds), E_FAIL);
    EXPECT_EQ(got, 0u);
    EXPECT_LT(SecondsSince(start), 7.0) << "peer close must not wait for the time-out";
    int32_t connected = 1;
    EXPECT_EQ(connection->IsConnected(&connected), S_OK);
    EXPECT_EQ(connected, 0);
    EXPECT_EQ(connection->Receive(buffer, sizeof(buffer), &got, &kOneSecond), E_FAIL);
    EXPECT_EQ(connection->Disconnect(), S_OK);
}

TEST_F(TcpConnectionFailures, ReleasingAConnectedObjectClosesTheSocket) {
    std::atomic<bool> sawClose{false};
    PeerServer server([&](TcpSocket& peer) {
        char byte = 0;
        size_t got = 0;
        sawClose = peer.Receive(&byte, 1, &got, kPeerWait) == TcpSocket::Result::Closed;
    });
    ASSERT_TRUE(server.IsListening());
    {
        ComPtr<ITcpConnection> connection = NewInitialisedConnection();
        ASSERT_TRUE(connection);
        ASSERT_EQ(connection->Connect(0, 0, server.Port(), kLoopback, &kFiveSeconds), S_OK);
    }
    server.Join();
    EXPECT_TRUE(sawClose);
}

TEST_F(TcpConnectionFailures, RefusedConnectFailsQuicklyAndAllowsAnotherAttempt) {
    uint16_t closedPort = 0;
    {
        platform::TcpListener probe;
        ASSERT_TRUE(probe.Listen(kLoopback, 0, 1));
        closedPort = probe.Port();
    }
    ComPtr<ITcpConnection> connection = NewInitialisedConnection();
    ASSERT_TRUE(connection);
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(connection->Connect(0, 0, closedPort, kLoopback, &kEightSeconds), LINQUET_E_REFUSED);
    EXPECT_LT(SecondsSince(start), 5.0);
    int32_t connected = 1;
    EXPECT_EQ(connection->IsConnected(&connected), S_OK);
    EXPECT_EQ(connected, 0);
    EXPECT_EQ(connection->Disconnect(), S_OK);

    PeerServer server([](TcpSocket&) {});
    ASSERT_TRUE(server.IsListening());
    EXPECT_EQ(connection->Connect(0, 0, server.Port(), kLoopback, &kFiveSeconds), S_OK);
    EXPECT_EQ(connection->Disconnect(), S_OK);
}

TEST_F(TcpConnectionFailures, ConnectTimesOutWhenTheListenQueueIsFull) {
    // A listener that never accepts, with the smallest backlog: once its
    // accept queue is full the kernel drops further SYNs, so a connect gets
    // no answer at all.
    platform::TcpListener listener;
    ASSERT_TRUE(listener.Listen(kLoopback, 0, 0));
    std::vector<TcpSocket> fillers;
    bool queueFull = false;
    for (int i = 0; i < 8 && !queueFull; ++i) {
        TcpSocket filler;
        const TcpSocket::Result result = filler.Connect(kLoopback, listener.Port(), 2000000);
        if (result == TcpSocket::Result::TimedOut) queueFull = true;
        else if (result == TcpSocket::Result::Ok) fillers.push_back(std::move(filler));
        else FAIL() << "filler connect failed outright";
    }
    if (!queueFull) GTEST_SKIP() << "this kernel answers SYNs to a full accept queue; no unanswered connect here";

    ComPtr<ITcpConnection> connection = NewInitialisedConnection();
    ASSERT_TRUE(connection);
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(connection->Connect(0, 0, listener.Port(), kLoopback, &kOneSecond), LINQUET_E_TIMEDOUT);
    const double waited = SecondsSince(start);
    EXPECT_GE(waited, 0.99);
    EXPECT_LT(waited, 10.0);
    int32_t connected = 1;
    EXPECT_EQ(connection->IsConnected(&connected), S_OK);
    EXPECT_EQ(connected, 0);
    EXPECT_EQ(connection->Disconnect(), S_OK);
}

}  // namespace
}  // namespace optivane::test
