#include "platform/SharedLibrary.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <utility>

namespace optivane::platform {
namespace {

std::string Folder(const std::string& path) { return path.substr(0, path.rfind(SharedLibrary::PathSeparator())); }

std::string ProbePath() {
    return Folder(SharedLibrary::PathOfThisBinary()) + SharedLibrary::PathSeparator() +
           SharedLibrary::FileNameFor("PlatformProbe");
}

TEST(SharedLibrary, PathOfThisBinaryNamesTheTestProgram) {
    const std::string path = SharedLibrary::PathOfThisBinary();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.front(), '/');
    EXPECT_EQ(std::filesystem::path(path).filename(), "platform_test");
    EXPECT_TRUE(std::filesystem::equivalent(path, "/proc/self/exe"));
}

TEST(SharedLibrary, NamesFollowThePlatform) {
    EXPECT_EQ(SharedLibrary::FileNameFor("Zendra"), "libZendra.so");
    EXPECT_EQ(SharedLibrary::PathSeparator(), '/');
}

TEST(SharedLibrary, LoadsALibraryWhoseCodeNamesItself) {
    SharedLibrary library(ProbePath());
    ASSERT_TRUE(library.IsLoaded()) << ProbePath();
    using ProbeFn = size_t (*)(char*, size_t);
    auto probe = reinterpret_cast<ProbeFn>(library.Symbol("ProbePathOfThisBinary"));
    ASSERT_NE(probe, nullptr);
    char path[4096] = {};
    ASSERT_GT(probe(path, sizeof(path)), 0u);
    EXPECT_TRUE(std::filesystem::equivalent(path, ProbePath())) << path;
    EXPECT_EQ(library.Symbol("NoSuchSymbol"), nullptr);
    EXPECT_EQ(library.Symbol(nullptr), nullptr);

    SharedLibrary moved(std::move(library));
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_TRUE(moved.IsLoaded());
    EXPECT_NE(moved.Symbol("ProbePathOfThisBinary"), nullptr);
    SharedLibrary assigned;
    assigned = std::move(moved);
    EXPECT_FALSE(moved.IsLoaded());
    EXPECT_TRUE(assigned.IsLoaded());
}

TEST(SharedLibrary, MissingFileFailsCleanly) {
    SharedLibrary library(Folder(ProbePath()) + "/libNoSuchModule.so");
    EXPECT_FALSE(library.IsLoaded());
    EXPECT_EQ(library.Symbol("DllCreateInstance"), nullptr);
    SharedLibrary empty;
    EXPECT_FALSE(empty.IsLoaded());
    EXPECT_EQ(empty.Symbol("DllCreateInstance"), nullptr);
}

}  // namespace
}  // namespace optivane::platform
