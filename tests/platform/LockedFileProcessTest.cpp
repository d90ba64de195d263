// File locks between processes (POSIX builds: the other process is a fork).
#include <gtest/gtest.h>

#include <string>

#include "platform/ChildProcess.h"
#include "platform/LockedFile.h"
#include "platform/TempDir.h"

namespace optivane::platform {
namespace {

// Appending and keeping contents are covered through the debug log.
TEST(LockedFile, RefusesOnlyTheRangeAnotherProcessHoldsAndOnlyWhileItLives) {
    test::TempDir dir;
    const std::string path = dir.File("shared.log");
    LockedFile file;
    EXPECT_FALSE(file.Open(dir.File("no-such-folder/x.log")) || file.TryLock(0, 1) || file.AppendAll("x", 1));
    ASSERT_TRUE(file.Open(path));
    LockedFile childsFile;
    test::ChildProcess child([&]() -> char { return childsFile.Open(path) && childsFile.TryLock(5, 10) ? 1 : 2; });
    ASSERT_EQ(child.Report(), 1);
    EXPECT_FALSE(file.TryLock(0, 6));
    EXPECT_FALSE(file.TryLock(14, 5));
    EXPECT_TRUE(file.TryLock(0, 5) && file.TryLock(15, 5));  // beside the held range
    child.Finish();
    EXPECT_TRUE(file.TryLock(5, 10));
}

}  // namespace
}  // namespace optivane::platform
