#include "runtime/CDebugLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/ChildProcess.h"
#include "platform/LockedFile.h"
#include "platform/TempDir.h"

namespace optivane {
namespace {

using platform::LocalCalendarTime;

const char* const kStamp = R"(\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} \d{3}\])";

class CDebugLogTest : public ::testing::Test {
protected:
    CDebugLogTest() : m_path(m_dir.File("test.log")) { m_log.SetPathForTesting(m_path.c_str()); }

    // Every daily file of the test path, oldest first, joined (a run may
    // cross midnight).
    std::string Written() const {
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(m_dir.Path())) files.push_back(entry.path().string());
        std::sort(files.begin(), files.end());
        std::string all;
        for (const auto& file : files) {
            std::ifstream in(file, std::ios::binary);
            std::stringstream content;
            content << in.rdbuf();
            all += content.str();
        }
        return all;
    }
    bool NothingWritten() const { return std::filesystem::is_empty(m_dir.Path()); }

    test::TempDir m_dir;
    std::string m_path;
    CDebugLog m_log;
};

TEST(CDebugLogNames, TimeStampAlwaysHasThreeDigitMilliseconds) {
    EXPECT_EQ(CDebugLog::TimeStamp(LocalCalendarTime{2026, 12, 4, 2, 13, 0, 7}), "[2026-12-04 02:13:00 007]    ");
    EXPECT_EQ(CDebugLog::TimeStamp(LocalCalendarTime{2026, 1, 9, 23, 5, 9, 45}), "[2026-01-09 23:05:09 045]    ");
    EXPECT_EQ(CDebugLog::TimeStamp(LocalCalendarTime{2026, 12, 31, 0, 0, 0, 999}), "[2026-12-31 00:00:00 999]    ");
}

TEST(CDebugLogNames, DailyFileNameWithAndWithoutADot) {
    const LocalCalendarTime day{2026, 12, 4, 2, 13, 0, 45};
    EXPECT_EQ(CDebugLog::DailyFileName("C:\\ProgramData\\Pellion.log", day), "C:\\ProgramData\\Pellion.log-20261204");
    EXPECT_EQ(CDebugLog::DailyFileName("/var/tmp/Pellion.log", day), "/var/tmp/Pellion.log-20261204");
    EXPECT_EQ(CDebugLog::DailyFileName("/var/tmp/Pellion", day), "/var/tmp/Pellion20261204");
    EXPECT_EQ(CDebugLog::DailyFileName("/var/tmp/a.b.c", LocalCalendarTime{987, 1, 2, 0, 0, 0, 0}),
              "/var/tmp/a.b.c-09870102");
    EXPECT_STREQ(CDebugLog::DefaultPath(), "/var/tmp/Pellion.log");
}

TEST(CDebugLogNames, MidnightStartsANewFile) {
    const std::string path = "/var/tmp/Pellion.log";
    EXPECT_NE(CDebugLog::DailyFileName(path, LocalCalendarTime{2026, 12, 4, 23, 59, 59, 999}),
              CDebugLog::DailyFileName(path, LocalCalendarTime{2026, 12, 5, 0, 0, 0, 0}));
    EXPECT_EQ(CDebugLog::DailyFileName(path, LocalCalendarTime{2026, 12, 31, 23, 59, 59, 999}), path + "-20261231");
    EXPECT_EQ(CDebugLog::DailyFileName(path, LocalCalendarTime{2027, 1, 1, 0, 0, 0, 0}), path + "-20270101");
}

TEST_F(CDebugLogTest, ErrorLineHasTheExactFormat) {
    m_log.Error("CPeakCamInstance", "OpenCamera failed...  EXCEPTION: %s, DeviceID: %s\n", "boom", "1234");
    const std::string written = Written();
    EXPECT_TRUE(std::regex_match(
        written, std::regex(std::string("^") + kStamp +
                            R"(     ERROR /CPeakCamInstance/ OpenCamera failed\.\.\.  EXCEPTION: boom, DeviceID: 1234\n$)")))
        << written;
    // The file is today's daily file of the path.
    const LocalCalendarTime now = platform::Clock::LocalNow();
    if (now.hour != 0 || now.minute != 0) {
        EXPECT_TRUE(std::filesystem::exists(CDebugLog::DailyFileName(m_path, now)));
    }
}

TEST_F(CDebugLogTest, LinesAppendAndAMessageWithoutLineEndRunsOn) {
    m_log.Error("A", "first");
    m_log.Error("B", "second %d\n", 2);
    m_log.Error("C", "third\n");
    const std::string written = Written();
    EXPECT_TRUE(std::regex_match(written, std::regex(std::string("^") + kStamp + "     ERROR /A/ first" + kStamp +
                                                     "     ERROR /B/ second 2\n" + kStamp +
                                                     "     ERROR /C/ third\n$")))
        << written;
}

TEST_F(CDebugLogTest, NullFormatAndTracesWriteNothing) {
    m_log.Error("A", nullptr);
    m_log.Trace("A", "ThreadProc() Start. (%s)\n", "x");
    m_log.TraceW(L"StartLiveStreaming() hr = 0x%08X (%p)\n", 0u, nullptr);
    EXPECT_TRUE(NothingWritten());
    EXPECT_EQ(m_log.WriteLine(nullptr), -1);
    EXPECT_TRUE(NothingWritten());
}

TEST_F(CDebugLogTest, LongMessagesAndLinesAreCut) {
    const std::string longText(3000, 'x');
    m_log.Error("CLong", "%s\n", longText.c_str());
    const std::string written = Written();
    EXPECT_EQ(written.size(), 1023u);
    EXPECT_TRUE(std::regex_match(written, std::regex(std::string("^") + kStamp + "     ERROR /CLong/ x+$")));

    const std::string longLine(5000, 'y');
    EXPECT_EQ(m_log.WriteLine(longLine.c_str()), 0);
    EXPECT_EQ(Written(), written + std::string(1023, 'y'));
}

TEST_F(CDebugLogTest, UnwritablePathFails) {
    m_log.SetPathForTesting(m_dir.File("no-such-folder/test.log").c_str());
    EXPECT_EQ(m_log.WriteLine("line\n"), -1);
    m_log.Error("A", "line\n");
    EXPECT_TRUE(NothingWritten());
}

TEST_F(CDebugLogTest, ConcurrentWritersGiveWholeLines) {
    const int threads = 8;
    const int linesEach = 60;
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t) {
        writers.emplace_back([this, t] {
            CDebugLog log;  // each component has its own object
            log.SetPathForTesting(m_path.c_str());
            for (int i = 0; i < linesEach; ++i) log.Error("CWriter", "thread %d line %d %s\n", t, i, "payload-payload-payload");
        });
    }
    for (auto& writer : writers) writer.join();

    std::istringstream lines(Written());
    const std::regex pattern(std::string("^") + kStamp + R"(     ERROR /CWriter/ thread (\d+) line (\d+) payload-payload-payload$)");
    std::set<std::pair<int, int>> seen;
    std::string line;
    while (std::getline(lines, line)) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, pattern)) << line;
        EXPECT_TRUE(seen.emplace(std::stoi(match[1]), std::stoi(match[2])).second) << line;
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(threads * linesEach));
}

TEST_F(CDebugLogTest, LineIsDroppedWhileAnotherProcessHoldsTheFile) {
    ASSERT_EQ(m_log.WriteLine("kept\n"), 0);
    const std::string daily = CDebugLog::DailyFileName(m_path, platform::Clock::LocalNow());
    platform::LockedFile childsFile;
    test::ChildProcess child([&childsFile, &daily]() -> char {
        return childsFile.Open(daily) && childsFile.TryLock(0, 1 << 20) ? 1 : 2;
    });
    ASSERT_EQ(child.Report(), 1);
    EXPECT_EQ(m_log.WriteLine("dropped\n"), 0);
    m_log.Error("A", "dropped too\n");
    EXPECT_EQ(Written(), "kept\n");

    child.Finish();
    EXPECT_EQ(m_log.WriteLine("written\n"), 0);
    EXPECT_EQ(Written(), "kept\nwritten\n");
}

TEST_F(CDebugLogTest, EmptyFileIsGuardedToo) {
    const std::string daily = CDebugLog::DailyFileName(m_path, platform::Clock::LocalNow());
    platform::LockedFile childsFile;
    test::ChildProcess child([&childsFile, &daily]() -> char {
        return childsFile.Open(daily) && childsFile.TryLock(0, 0) ? 1 : 2;
    });
    ASSERT_EQ(child.Report(), 1);
    EXPECT_EQ(m_log.WriteLine("dropped\n"), 0);
    EXPECT_EQ(Written(), "");
    child.Finish();
    EXPECT_EQ(m_log.WriteLine("written\n"), 0);
    EXPECT_EQ(Written(), "written\n");
}

}  // namespace
}  // namespace optivane
