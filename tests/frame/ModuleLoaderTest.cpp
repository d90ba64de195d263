// Finding and loading sibling modules beside this binary.
#include <gtest/gtest.h>

#include "frame/modules/ModuleLoader.h"
#include "optivane/host_framework.h"

namespace optivane::test {
namespace {

TEST(ModuleLoaderTest, PlainNameLandsInTheModulesFolder) {
    EXPECT_EQ(ModuleLoader::ResolvePath("/opt/app/libOptivane.so", "libZendra.so"), "/opt/app/libZendra.so");
}

TEST(ModuleLoaderTest, DotPrefixesStayOrClimb) {
    EXPECT_EQ(ModuleLoader::ResolvePath("/opt/app/bin/libOptivane.so", "./libZendra.so"), "/opt/app/bin/libZendra.so");
    EXPECT_EQ(ModuleLoader::ResolvePath("/opt/app/bin/libOptivane.so", "../libZendra.so"), "/opt/app/libZendra.so");
    EXPECT_EQ(ModuleLoader::ResolvePath("/opt/app/bin/libOptivane.so", "./.././../lib/libZendra.so"),
              "/opt/lib/libZendra.so");
}

TEST(ModuleLoaderTest, ClimbingAboveTheRootOrAPathWithoutFolderGivesNothing) {
    EXPECT_EQ(ModuleLoader::ResolvePath("/app/libOptivane.so", "../../libZendra.so"), "");
    EXPECT_EQ(ModuleLoader::ResolvePath("libOptivane.so", "libZendra.so"), "");
}

TEST(ModuleLoaderTest, PathsLongerThan260CharactersAreRefused) {
    const std::string folder = "/" + std::string(240, 'a');
    EXPECT_NE(ModuleLoader::ResolvePath(folder + "/m.so", std::string(10, 'b')), "");
    EXPECT_EQ(ModuleLoader::ResolvePath(folder + "/m.so", std::string(30, 'b')), "");
}

TEST(ModuleLoaderTest, MissingModuleLeavesNoEntryAndCreationAnswersEHandle) {
    ModuleLoader loader = ModuleLoader::ForSibling("NoSuchModule");
    EXPECT_FALSE(loader.IsLoaded());
    EXPECT_EQ(loader.Entry(), nullptr);
    void* object = nullptr;
    EXPECT_EQ(loader.CreateInstance(CLSID_FrameImage, IID_IFrameImage, &object), E_HANDLE);
    EXPECT_EQ(object, nullptr);
}

}  // namespace
}  // namespace optivane::test
