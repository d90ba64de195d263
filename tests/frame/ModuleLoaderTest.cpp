// Finding and loading sibling modules beside this binary.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "frame/modules/ModuleLoader.h"
#include "optivane/host_framework.h"
#include "platform/SharedLibrary.h"

namespace optivane::test {
namespace {

// The paths below are written with '/'; this system's separator replaces it.
std::string Native(std::string path) {
    std::replace(path.begin(), path.end(), '/', platform::SharedLibrary::PathSeparator());
    return path;
}

std::string Resolve(const std::string& modulePath, const std::string& relativeName) {
    return ModuleLoader::ResolvePath(Native(modulePath), Native(relativeName));
}

TEST(ModuleLoaderTest, PlainNameLandsInTheModulesFolder) {
    EXPECT_EQ(Resolve("/opt/app/libOptivane.so", "libZendra.so"), Native("/opt/app/libZendra.so"));
}

TEST(ModuleLoaderTest, DotPrefixesStayOrClimb) {
    EXPECT_EQ(Resolve("/opt/app/bin/libOptivane.so", "./libZendra.so"), Native("/opt/app/bin/libZendra.so"));
    EXPECT_EQ(Resolve("/opt/app/bin/libOptivane.so", "../libZendra.so"), Native("/opt/app/libZendra.so"));
    EXPECT_EQ(Resolve("/opt/app/bin/libOptivane.so", "./.././../lib/libZendra.so"),
              Native("/opt/lib/libZendra.so"));
}

TEST(ModuleLoaderTest, ClimbingAboveTheRootOrAPathWithoutFolderGivesNothing) {
    EXPECT_EQ(Resolve("/app/libOptivane.so", "../../libZendra.so"), "");
    EXPECT_EQ(Resolve("libOptivane.so", "libZendra.so"), "");
}

TEST(ModuleLoaderTest, PathsLongerThan260CharactersAreRefused) {
    const std::string folder = "/" + std::string(240, 'a');
    EXPECT_NE(Resolve(folder + "/m.so", std::string(10, 'b')), "");
    EXPECT_EQ(Resolve(folder + "/m.so", std::string(30, 'b')), "");
}

TEST(ModuleLoaderTest, MissingModuleLeavesNoEntryAndCreationAnswersEHandle) {
    ModuleLoader loader = ModuleLoader::ForSibling("NoSuchModule");
    EXPECT_FALSE(loader.IsLoaded());
    EXPECT_EQ(loader.Entry(), nullptr);
    void* object = nullptr;
    EXPECT_EQ(loader.CreateInstance(CLSID_FrameImage, IID_IFrameImage, &object), E_HANDLE);
    EXPECT_EQ(object, nullptr);
}

// What a sibling creates is handed on (to the host, as a kept frame) and may
// be released after every loader of its module is gone.
TEST(ModuleLoaderTest, ObjectsOfASiblingOutliveEveryLoaderOfIt) {
    IFrameImage* image = nullptr;
    {
        const ModuleLoader zendra = ModuleLoader::ForSibling("Zendra");
        ASSERT_TRUE(zendra.IsLoaded());
        ASSERT_EQ(zendra.CreateInstance(CLSID_SnapshotFrameImage, IID_IFrameImage, reinterpret_cast<void**>(&image)),
                  S_OK);
    }
    const FrameFormat format{0, 4, 2, 1, 1, 25, 1};
    EXPECT_EQ(image->SetFormat(&format), S_OK);
    FrameFormat read{};
    EXPECT_EQ(image->GetFormat(&read), S_OK);
    EXPECT_EQ(read.Height, 2u);
    EXPECT_EQ(image->Release(), 0u);
}

}  // namespace
}  // namespace optivane::test
