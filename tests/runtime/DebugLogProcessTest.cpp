// The debug log and its file locks beside other processes (POSIX builds): a
// forked child that holds the files, and the trace probe started with each
// OPTIVANE_TRACE setting.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "platform/Clock.h"
#include "platform/LockedFile.h"
#include "runtime/DebugLogFixture.h"

namespace optivane {
namespace {

// A forked child that runs body (plain system calls only, after fork),
// reports its result byte (1 for success; 0 when it could not be started)
// and waits to be killed, so that the test can act while the child holds
// something.
struct ChildProcess {
    explicit ChildProcess(const std::function<char()>& body) {
        int channel[2];
        if (pipe(channel) != 0) return;
        if ((pid = fork()) == 0) {
            const char result = body();
            (void)!write(channel[1], &result, 1);
            for (;;) pause();
        }
        close(channel[1]);
        if (pid < 0 || read(channel[0], &report, 1) != 1) report = 0;
        close(channel[0]);
    }
    ~ChildProcess() { Finish(); }
    void Finish() {
        if (pid > 0 && kill(pid, SIGKILL) == 0) waitpid(pid, nullptr, 0);
        pid = -1;
    }
    pid_t pid = -1;
    char report = 0;
};

// The child holds the log's file whole, empty and then with content, and
// bytes 5 to 14 of another file: the log drops its lines, the range and only
// the range is refused, and all is free once the child has gone. Appending
// and keeping contents are the log's tests.
TEST_F(CDebugLogTest, LinesAreDroppedAndOnlyTheHeldRangeIsRefusedWhileAnotherProcessHoldsIt) {
    const std::string daily = CDebugLog::DailyFileName(m_path, platform::Clock::LocalNow());
    test::TempDir other;
    const std::string shared = other.File("shared.log");
    platform::LockedFile file;
    EXPECT_FALSE(file.Open(other.File("no-such-folder/x.log")) || file.TryLock(0, 1) || file.AppendAll("x", 1));
    std::string expected;
    for (const char* line : {"first\n", "second\n"}) {
        ASSERT_TRUE(file.Open(shared));  // drops this process's own locks of the round before
        platform::LockedFile childsLog, childsFile;
        uint64_t size = 0;
        ChildProcess child([&]() -> char {
            const bool held = childsLog.Open(daily) && childsLog.Size(&size) && childsLog.TryLock(0, size);
            return held && childsFile.Open(shared) && childsFile.TryLock(5, 10) ? 1 : 2;
        });
        ASSERT_EQ(child.report, 1);
        EXPECT_EQ(m_log.WriteLine("dropped\n"), 0);
        m_log.Error("A", "dropped too\n");
        EXPECT_EQ(Written(), expected);
        EXPECT_FALSE(file.TryLock(0, 6) || file.TryLock(14, 5));
        EXPECT_TRUE(file.TryLock(0, 5) && file.TryLock(15, 5));  // beside the held range
        child.Finish();
        EXPECT_TRUE(file.TryLock(5, 10));
        EXPECT_EQ(m_log.WriteLine(line), 0);
        EXPECT_EQ(Written(), expected += line);
    }
}

// Runs the probe with OPTIVANE_TRACE set to setting (unset when null) and its
// standard error into errorFile; true when it ended well.
bool RunProbe(const char* setting, const std::string& errorFile) {
    const std::string variable =
        setting == nullptr ? "-u OPTIVANE_TRACE" : std::string("OPTIVANE_TRACE='") + setting + "'";
    return std::system(("env " + variable + " '" OPTIVANE_TRACE_PROBE "' 2>'" + errorFile + "'").c_str()) == 0;
}

// Every entry of the probe once, whole, on a line of its own, each probe
// thread under one thread number of its own; nothing at all when not expected.
void ExpectProbeTrace(const std::string& text, bool expected) {
    const std::regex pattern("^" + kStamp + R"(     thread (\d+) TRACE (/CProbe/ )?thread (\d) entry (\d+)$)");
    std::set<std::pair<int, int>> entries;
    std::map<int, std::string> threadIds;
    std::set<std::string> distinctIds;
    std::istringstream lines(text);
    std::smatch match;
    for (std::string line; std::getline(lines, line);) {
        ASSERT_TRUE(expected && std::regex_match(line, match, pattern)) << line;
        const int thread = std::stoi(match[3]), entry = std::stoi(match[4]);
        EXPECT_EQ(match[2].matched, entry % 2 == 0) << line;  // Trace has a class, TraceW none
        EXPECT_TRUE(entries.emplace(thread, entry).second) << line;
        EXPECT_EQ(threadIds.emplace(thread, match[1]).first->second, match[1]) << line;
        distinctIds.insert(match[1]);
    }
    EXPECT_EQ(entries.size(), expected ? 4u * 50u : 0u);
    EXPECT_EQ(distinctIds.size(), expected ? 4u : 0u);
}

TEST(Trace, GoesOnlyWhereTheVariableSaysWithTheThreadOfEachEntry) {
    test::TempDir dir;
    const std::string traceFile = dir.File("trace.log"), errorFile = dir.File("stderr.txt");
    const struct { const char* setting; bool toStandardError, toFile; } rows[] = {
        {nullptr, false, false}, {"", false, false}, {"1", true, false}, {traceFile.c_str(), false, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.setting == nullptr ? "unset" : row.setting);
        ASSERT_TRUE(RunProbe(row.setting, errorFile));
        ExpectProbeTrace(test::ReadFile(errorFile), row.toStandardError);
        ExpectProbeTrace(test::ReadFile(traceFile), row.toFile);
        std::remove(traceFile.c_str());
    }
}

}  // namespace
}  // namespace optivane
