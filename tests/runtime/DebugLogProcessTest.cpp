// The debug log beside another process that holds its file (POSIX builds: the
// other process is a fork).
#include <gtest/gtest.h>

#include <cstdint>
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

}  // namespace
}  // namespace optivane
