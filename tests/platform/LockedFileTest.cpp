#include "platform/LockedFile.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/ChildProcess.h"
#include "platform/TempDir.h"

namespace optivane::platform {
namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

// A child that opens the file through its copy of *holder and holds
// [offset, offset + length) until told to go.
test::ChildProcess HoldLock(LockedFile* holder, const std::string& path, uint64_t offset, uint64_t length) {
    return test::ChildProcess([holder, &path, offset, length]() -> char {
        return holder->Open(path) && holder->TryLock(offset, length) ? 1 : 2;
    });
}

TEST(LockedFile, CreatesKeepsContentsAndAppends) {
    test::TempDir dir;
    const std::string path = dir.File("append.log");
    {
        LockedFile file;
        ASSERT_TRUE(file.Open(path));
        EXPECT_TRUE(file.IsOpen());
        EXPECT_TRUE(file.AppendAll("abc", 3));
    }
    LockedFile file;
    ASSERT_TRUE(file.Open(path));
    uint64_t size = 0;
    ASSERT_TRUE(file.Size(&size));
    EXPECT_EQ(size, 3u);
    EXPECT_TRUE(file.AppendAll("def", 3));
    EXPECT_TRUE(file.AppendAll("", 0));
    file.Flush();
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(ReadAll(path), "abcdef");
}

TEST(LockedFile, FailsCleanlyWithoutAFile) {
    test::TempDir dir;
    LockedFile file;
    EXPECT_FALSE(file.Open(dir.File("no-such-folder/x.log")));
    uint64_t size = 0;
    EXPECT_FALSE(file.Size(&size));
    EXPECT_FALSE(file.TryLock(0, 1));
    EXPECT_FALSE(file.AppendAll("x", 1));
    file.Unlock(0, 1);
    file.Flush();
    file.Close();
}

TEST(LockedFile, RangeHeldByAnotherProcessIsRefusedUntilItEnds) {
    test::TempDir dir;
    const std::string path = dir.File("shared.log");
    LockedFile file;
    ASSERT_TRUE(file.Open(path));
    ASSERT_TRUE(file.AppendAll("0123456789", 10));

    LockedFile childsFile;
    auto child = HoldLock(&childsFile, path, 0, 10);
    ASSERT_EQ(child.Report(), 1);
    EXPECT_FALSE(file.TryLock(0, 10));
    EXPECT_FALSE(file.TryLock(9, 5));
    EXPECT_TRUE(file.TryLock(10, 5));  // beyond the held range
    file.Unlock(10, 5);
    child.Finish();
    EXPECT_TRUE(file.TryLock(0, 10));
    file.Unlock(0, 10);
}

TEST(LockedFile, ZeroLengthLocksExcludeEachOtherOnAnEmptyFile) {
    test::TempDir dir;
    const std::string path = dir.File("empty.log");
    LockedFile file;
    ASSERT_TRUE(file.Open(path));
    LockedFile childsFile;
    auto child = HoldLock(&childsFile, path, 0, 0);
    ASSERT_EQ(child.Report(), 1);
    EXPECT_FALSE(file.TryLock(0, 0));
    child.Finish();
    EXPECT_TRUE(file.TryLock(0, 0));
}

}  // namespace
}  // namespace optivane::platform
