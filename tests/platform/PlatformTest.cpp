// The platform layer: threads, COM apartments, events, clocks, addresses,
// memory and libraries (file locks between processes: the runtime's
// DebugLogProcessTest).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "platform/ComApartment.h"
#include "platform/Ipv4Text.h"
#include "platform/ManualResetEvent.h"
#include "platform/SharedLibrary.h"
#include "platform/Thread.h"
#include "platform/ProcessMemory.h"
#include "platform/TouchedMemory.h"

namespace optivane::platform {
namespace {

void SlowIncrement(void* counter) {
    Clock::SleepMilliseconds(30);
    ++*static_cast<int*>(counter);  // read by the test after the join only
}

TEST(Thread, JoinWaitsForTheEntryAndOnlyOneIsHeldAtATime) {
    int runs = 0;
    {
        Thread thread;
        ASSERT_TRUE(thread.Start(&SlowIncrement, &runs));
        EXPECT_FALSE(thread.Start(&SlowIncrement, &runs) || thread.Start(nullptr, &runs));
        thread.Join();
        EXPECT_EQ(runs, 1);
        ASSERT_TRUE(thread.Start(&SlowIncrement, &runs));
    }  // the destructor joins
    EXPECT_EQ(runs, 2);
}

void RecordDepth(void* depth) { *static_cast<int*>(depth) = ComApartment::Depth(); }

TEST(ComApartment, NestsPerThreadAndScopeUninitialisesOnlyAfterSOk) {
    EXPECT_EQ(ComApartment::Initialize(), S_OK);
    EXPECT_EQ(ComApartment::Initialize(), S_FALSE);
    int otherDepth = -1;
    Thread other;
    ASSERT_TRUE(other.Start(&RecordDepth, &otherDepth));
    other.Join();
    EXPECT_EQ(otherDepth, 0);
    for (int i = 0; i < 3; ++i) ComApartment::Uninitialize();  // the third is unbalanced
    {
        ComScope outer;
        {
            ComScope inner;  // S_FALSE: counted, but left to the caller as with CoInitialize
            EXPECT_TRUE(outer.Status() == S_OK && inner.Status() == S_FALSE);
        }
        EXPECT_EQ(ComApartment::Depth(), 2);
        ComApartment::Uninitialize();
    }
    EXPECT_EQ(ComApartment::Depth(), 0);
}

TEST(ManualResetEvent, SetWakesEveryWaiterAndStaysSetUntilReset) {
    ManualResetEvent event;
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 4; ++i)
        waiters.emplace_back([&, i] {
            if (i % 2 == 0) event.Wait();
            if (i % 2 == 0 || event.WaitFor(60000)) ++woken;
        });
    EXPECT_TRUE(!event.WaitFor(20) && woken.load() == 0);
    event.Set();
    for (auto& waiter : waiters) waiter.join();
    EXPECT_EQ(woken.load(), 4);
    event.Wait();  // still set: returns at once
    event.Reset();
    EXPECT_FALSE(event.IsSet() || event.WaitFor(0) || event.WaitFor(30));
}

TEST(Clock, AgreesWithTheCRuntimeAndSleepsAtLeastTheTime) {
    const time_t before = time(nullptr);
    const UtcTimeSpec utc = Clock::UtcNow();
    const LocalCalendarTime local = Clock::LocalNow();
    const time_t after = time(nullptr);
    EXPECT_TRUE(utc.seconds >= before - 1 && utc.seconds <= after + 1) << utc.seconds;  // time() is coarse
    EXPECT_TRUE(utc.nanoseconds >= 0 && utc.nanoseconds < 1000000000) << utc.nanoseconds;
    const struct tm expected = *std::localtime(&after);  // the only thread asking
    if (expected.tm_hour != 0 || expected.tm_min != 0) {  // unless midnight passed in between
        EXPECT_EQ(local.year * 10000 + local.month * 100 + local.day,
                  (expected.tm_year + 1900) * 10000 + (expected.tm_mon + 1) * 100 + expected.tm_mday);
    }
    const int64_t ticks = Clock::MonotonicTicks();
    Clock::SleepMilliseconds(50);
    EXPECT_GE(Clock::MonotonicTicks() - ticks, 50 * 10000);  // 100 ns ticks
}

TEST(Ipv4Text, ParsesAndFormatsOnlyFourDecimalPartsInHostOrder) {
    const std::pair<const char*, uint32_t> good[] = {
        {"192.168.1.20", 0xC0A80114u}, {"0.0.0.0", 0u}, {"255.255.255.255", 0xFFFFFFFFu}, {"127.0.0.1", 0x7F000001u}};
    for (const auto& [text, expected] : good) {
        uint32_t address = 0;
        EXPECT_TRUE(Ipv4Text::Parse(text, &address) && address == expected) << text;
        EXPECT_EQ(Ipv4Text::Format(expected), text);
    }
    const char* bad[] = {"1.2.3",  "256.1.1.1",  " 1.2.3.4", "1.2.3.4x", "1.2.3.4 ", "",     "1.2.3.4.5",
                         "1..3.4", "0x7f.0.0.1", "a.b.c.d",  "1.2.3.-4", "16909060", nullptr};
    for (const char* text : bad) {
        uint32_t address = 0xDEADBEEF;
        EXPECT_FALSE(Ipv4Text::Parse(text, &address) || address != 0xDEADBEEF) << (text ? text : "null");
    }
    EXPECT_FALSE(Ipv4Text::Parse("1.2.3.4", nullptr));
    const unsigned char bytes[4] = {10, 20, 30, 40};  // as sockets hold it: first part first in memory
    uint32_t network = 0;
    std::memcpy(&network, bytes, sizeof(network));
    EXPECT_EQ(Ipv4Text::NetworkToHost(network), 0x0A141E28u);
}

TEST(TouchedMemory, GivesAZeroedBlockMovesItAndIsEmptyWhenItCannot) {
    const size_t size = 3 * 1024 * 1024 + 123;
    TouchedMemory block(size);
    ASSERT_TRUE(block.Data() != nullptr && block.Size() == size);
    EXPECT_TRUE(std::all_of(block.Data(), block.Data() + size, [](uint8_t byte) { return byte == 0; }));
    block.Data()[size - 1] = 2;
    TouchedMemory moved(std::move(block));
    TouchedMemory assigned(4096);
    assigned = std::move(moved);  // frees its own block
    EXPECT_TRUE(block.Data() == nullptr && block.Size() == 0 && moved.Data() == nullptr);
    ASSERT_EQ(assigned.Size(), size);
    EXPECT_EQ(assigned.Data()[size - 1], 2);
    for (size_t impossible : {size_t{0}, SIZE_MAX / 2}) {
        TouchedMemory empty(impossible);
        EXPECT_TRUE(empty.Data() == nullptr && empty.Size() == 0) << impossible;
    }
}

// In bytes, counting the pages a touched block maps; never falls.
TEST(ProcessMemory, PeakCountsTouchedPagesInBytes) {
    const uint64_t before = ProcessMemory::PeakResidentBytes();
    ASSERT_GT(before, 0u);
    constexpr size_t kBlock = size_t{96} << 20;  // well above what the test program holds
    TouchedMemory block(kBlock);
    ASSERT_NE(block.Data(), nullptr);
    const uint64_t after = ProcessMemory::PeakResidentBytes();
    EXPECT_GE(after, before);
    EXPECT_GE(after, uint64_t{kBlock});
}

TEST(SharedLibrary, LoadsALibraryThatNamesItselfAndFailsCleanlyWithoutOne) {
    const std::filesystem::path program = SharedLibrary::PathOfThisBinary();
    EXPECT_TRUE(program.is_absolute() && std::filesystem::is_regular_file(program) &&
                program.stem() == "platform_test")
        << program;
    const std::string probePath = (program.parent_path() / SharedLibrary::FileNameFor("PlatformProbe")).string();
    SharedLibrary library(probePath);
    ASSERT_TRUE(library.IsLoaded()) << probePath;
    auto probe = reinterpret_cast<const char* (*)()>(library.Symbol("ProbePathOfThisBinary"));
    ASSERT_NE(probe, nullptr);
    EXPECT_TRUE(std::filesystem::equivalent(probe(), probePath)) << probe();
    EXPECT_TRUE(library.Symbol("NoSuchSymbol") == nullptr && library.Symbol(nullptr) == nullptr);

    SharedLibrary moved(std::move(library));
    SharedLibrary assigned((program.parent_path() / SharedLibrary::FileNameFor("NoSuchModule")).string());
    EXPECT_TRUE(!assigned.IsLoaded() && assigned.Symbol("DllCreateInstance") == nullptr);
    assigned = std::move(moved);
    EXPECT_FALSE(library.IsLoaded() || moved.IsLoaded());
    EXPECT_NE(assigned.Symbol("ProbePathOfThisBinary"), nullptr);
}

}  // namespace
}  // namespace optivane::platform
