// The debug log beside other processes (POSIX builds): one that holds its
// file, and the trace probe started with each OPTIVANE_TRACE setting.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "platform/ChildProcess.h"
#include "platform/Clock.h"
#include "platform/LockedFile.h"
#include "runtime/DebugLogFixture.h"

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
// standard error into errorFile; true when it ended well.
bool RunProbe(const char* setting, const std::string& errorFile) {
    const std::string variable =
        setting == nullptr ? "-u OPTIVANE_TRACE" : std::string("OPTIVANE_TRACE='") + setting + "'";
    return std::system(("env " + variable + " '" OPTIVANE_TRACE_PROBE "' 2>'" + errorFile + "'").c_str()) == 0;
}

// Every entry of the probe once, whole, on a line of its own, each probe
// thread under one thread number of its own. Nothing at all when not expected.
void ExpectProbeTrace(const std::string& text, bool expected) {
    if (!expected) {
        EXPECT_EQ(text, "");
        return;
    }
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
        ASSERT_TRUE(RunProbe(row.setting, errorFile));
        ExpectProbeTrace(test::ReadFile(errorFile), row.toStandardError);
        ExpectProbeTrace(test::ReadFile(traceFile), row.toFile);
        std::remove(traceFile.c_str());
    }
}

}  // namespace
}  // namespace optivane
