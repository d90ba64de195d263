// The turns of the ring's conversions. Waits that must not end are checked
// over a short while only, so they can miss a fault but never fail wrongly.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "video/ConversionGate.h"

namespace optivane::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kStillBlocked = 150ms;
constexpr auto kMustEnd = 60s;

TEST(ConversionGateWidth, FollowsTheCoresLeftByOpenCv) {
    struct Row { int cores, openCvThreads, width; };
    const Row rows[] = {
        {2, 2, 1},    // OpenCV on every core: one conversion at a time
        {16, 16, 1},
        {16, 4, 4},
        {16, 2, 4},   // never more than the ring holds
        {8, 4, 2},
        {1, 8, 1},    // more OpenCV threads than cores: still one
        {2, 1, 4},    // OpenCV on one thread: every task is a conversion
        {0, 1, 4},    // unknown core count
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ConversionGate::WidthFor(row.cores, row.openCvThreads, 4), row.width)
            << row.cores << " cores, " << row.openCvThreads << " OpenCV threads";
    }
}

TEST(ConversionGateOrder, TicketsTakeTurnsInOrderWhateverOrderTheyArriveIn) {
    ConversionGate gate;
    gate.Restart(1);
    std::vector<int64_t> tickets;
    for (int i = 0; i < 5; ++i) tickets.push_back(gate.Issue());
    ASSERT_EQ(tickets, (std::vector<int64_t>{0, 1, 2, 3, 4}));

    // Each records its ticket on taking the turn and -1 - ticket on giving it
    // back: one at a time and in order, the two alternate.
    std::mutex mutex;
    std::vector<int64_t> events;
    const auto record = [&](int64_t event) {
        std::lock_guard<std::mutex> lock(mutex);
        events.push_back(event);
    };
    std::vector<std::thread> workers;
    for (int64_t ticket = 4; ticket >= 0; --ticket) {  // the last ticket arrives first
        workers.emplace_back([&, ticket] {
            gate.Take(ticket);
            record(ticket);
            std::this_thread::sleep_for(5ms);
            record(-1 - ticket);
            gate.Give();
        });
        std::this_thread::sleep_for(10ms);
    }
    for (std::thread& worker : workers) worker.join();
    EXPECT_EQ(events, (std::vector<int64_t>{0, -1, 1, -2, 2, -3, 3, -4, 4, -5}));
}

TEST(ConversionGateOrder, WidthTwoLetsTwoRunAndTheThirdWaitsForAGive) {
    ConversionGate gate;
    gate.Restart(2);
    for (int i = 0; i < 3; ++i) gate.Issue();
    gate.Take(0);
    gate.Take(1);  // beside ticket 0: must not block
    auto third = std::async(std::launch::async, [&] { gate.Take(2); });
    EXPECT_EQ(third.wait_for(kStillBlocked), std::future_status::timeout) << "three at once in a gate of two";
    gate.Give();
    EXPECT_EQ(third.wait_for(kMustEnd), std::future_status::ready);
    gate.Give();
    gate.Give();
}

TEST(ConversionGateOrder, PassWaitsForEarlierTicketsButNotForRunningOnes) {
    ConversionGate gate;
    gate.Restart(1);
    auto pass = std::async(std::launch::async, [&] { gate.Pass(1); });
    EXPECT_EQ(pass.wait_for(kStillBlocked), std::future_status::timeout) << "passed before ticket 0 started";
    gate.Take(0);
    // Ticket 0 converts; ticket 1 converts nothing and need not wait for it.
    EXPECT_EQ(pass.wait_for(kMustEnd), std::future_status::ready);
    auto next = std::async(std::launch::async, [&] { gate.Take(2); });
    EXPECT_EQ(next.wait_for(kStillBlocked), std::future_status::timeout) << "two at once in a gate of one";
    gate.Give();
    EXPECT_EQ(next.wait_for(kMustEnd), std::future_status::ready);
    gate.Give();
}

TEST(ConversionGateTearDown, AbandonFreesWaitersForATicketThatNeverComesAndRestartStartsAfresh) {
    ConversionGate gate;
    gate.Restart(1);
    // Ticket 0's job never runs: tickets 1 and 2 would wait for ever.
    auto second = std::async(std::launch::async, [&] { gate.Take(1); });
    auto third = std::async(std::launch::async, [&] { gate.Pass(2); });
    EXPECT_EQ(second.wait_for(kStillBlocked), std::future_status::timeout);
    gate.Abandon();
    EXPECT_EQ(second.wait_for(kMustEnd), std::future_status::ready);
    EXPECT_EQ(third.wait_for(kMustEnd), std::future_status::ready);
    gate.Give();

    gate.Restart(1);
    EXPECT_EQ(gate.Issue(), 0);
    auto later = std::async(std::launch::async, [&] { gate.Take(1); });
    EXPECT_EQ(later.wait_for(kStillBlocked), std::future_status::timeout) << "turns kept again after Restart";
    gate.Take(0);
    gate.Give();
    EXPECT_EQ(later.wait_for(kMustEnd), std::future_status::ready);
    gate.Give();
}

}  // namespace
}  // namespace optivane::test
