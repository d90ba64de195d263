// The debug log beside other processes (POSIX builds): one that holds its
// file, and the trace probe started with each OPTIVANE_TRACE setting.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/ChildProcess.h"
#include "platform/Clock.h"
#include "platform/LockedFile.h"
#include "runtime/DebugLogFixture.h"

extern char** environ;

namespace optivane {
namespace {

TEST_F(CDebugLogTest, LineIsDroppedWhileAnotherProcessHoldsTheFile) {
    const std::string daily = CDebugLog::DailyFileName(m_path, platform::Clock::LocalNow());
    std::string expected;
    for (const char* line : {"first\n", "second\n"}) {  // an empty file, then one with content
        platform::LockedFile childsFile;
        uint64_t size = 0;
        test::ChildProcess child([&]() -> char {
            return childsFile.Open(daily) && childsFile.Size(&size) && childsFile.TryLock(0, size) ? 1 : 2;
        });
        ASSERT_EQ(child.Report(), 1);
        EXPECT_EQ(m_log.WriteLine("dropped\n"), 0);
        m_log.Error("A", "dropped too\n");
        EXPECT_EQ(Written(), expected);
        child.Finish();
        EXPECT_EQ(m_log.WriteLine(line), 0);
        EXPECT_EQ(Written(), expected += line);
    }
}

// Runs the probe with OPTIVANE_TRACE set to setting (unset when null) and its
// standard error in errorFile; its exit status.
int RunProbe(const char* setting, const std::string& errorFile) {
    std::vector<std::string> variables;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        if (std::strncmp(*variable, "OPTIVANE_TRACE=", 15) != 0) variables.emplace_back(*variable);
    }
    if (setting != nullptr) variables.push_back(std::string("OPTIVANE_TRACE=") + setting);
    std::vector<char*> environment;
    for (std::string& variable : variables) environment.push_back(variable.data());
    environment.push_back(nullptr);
    char program[] = OPTIVANE_TRACE_PROBE;
    char* arguments[] = {program, nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int started = posix_spawn(&pid, program, &actions, nullptr, arguments, environment.data());
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (started != 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Every entry of the probe once, whole, on its own line, each probe thread
// under one thread number of its own.
void ExpectProbeTrace(const std::string& text) {
    const std::regex pattern("^" + test::kStamp + R"(     thread (\d+) TRACE (/CProbe/ )?thread (\d) entry (\d+)$)");
    std::set<std::pair<int, int>> entries;
    std::map<int, std::string> threadIds;
    std::set<std::string> distinctIds;
    std::istringstream lines(text);
    std::smatch match;
    for (std::string line; std::getline(lines, line);) {
        ASSERT_TRUE(std::regex_match(line, match, pattern)) << line;
        const int thread = std::stoi(match[3]);
        const int entry = std::stoi(match[4]);
        EXPECT_EQ(match[2].matched, entry % 2 == 0) << line;  // Trace has a class, TraceW none
        EXPECT_TRUE(entries.emplace(thread, entry).second) << line;
        EXPECT_EQ(threadIds.emplace(thread, match[1]).first->second, match[1]) << line;
        distinctIds.insert(match[1]);
    }
    EXPECT_EQ(entries.size(), 4u * 50u);
    EXPECT_EQ(distinctIds.size(), 4u);
}

TEST(Trace, GoesOnlyWhereTheVariableSaysWithTheThreadOfEachEntry) {
    test::TempDir dir;
    const std::string traceFile = dir.File("trace.log");
    const std::string errorFile = dir.File("stderr.txt");
    const struct {
        const char* setting;
        bool toStandardError, toFile;
    } rows[] = {{nullptr, false, false}, {"", false, false}, {"1", true, false}, {traceFile.c_str(), false, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.setting == nullptr ? "unset" : row.setting);
        ASSERT_EQ(RunProbe(row.setting, errorFile), 0);
        const std::string toError = test::ReadFile(errorFile);
        const std::string toFile = test::ReadFile(traceFile);
        if (row.toStandardError) ExpectProbeTrace(toError);
        else EXPECT_EQ(toError, "");
        if (row.toFile) ExpectProbeTrace(toFile);
        else EXPECT_EQ(toFile, "");
        std::remove(traceFile.c_str());
    }
}

}  // namespace
}  // namespace optivane
