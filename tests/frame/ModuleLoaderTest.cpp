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

TEST(ModuleLoaderTest, NamesResolveInTheModulesFolderOrAboveButNotAboveTheRootNorPast260Characters) {
    const std::string folder = "/" + std::string(240, 'a');  // with "/" and 18 more: 260
    struct Case {
        std::string module, name, expected;  // expected empty: refused
    };
    for (const Case& c : {Case{"/opt/app/libOptivane.so", "libZendra.so", "/opt/app/libZendra.so"},
                          Case{"/opt/app/bin/libOptivane.so", "./libZendra.so", "/opt/app/bin/libZendra.so"},
                          Case{"/opt/app/bin/libOptivane.so", "../libZendra.so", "/opt/app/libZendra.so"},
                          Case{"/opt/app/bin/libOptivane.so", "./.././../lib/libZendra.so", "/opt/lib/libZendra.so"},
                          Case{"/app/libOptivane.so", "../../libZendra.so", ""},
                          Case{"libOptivane.so", "libZendra.so", ""},  // a module path without folder
                          Case{folder + "/m.so", std::string(18, 'b'), folder + "/" + std::string(18, 'b')},
                          Case{folder + "/m.so", std::string(19, 'b'), ""}}) {
        EXPECT_EQ(ModuleLoader::ResolvePath(Native(c.module), Native(c.name)), Native(c.expected)) << c.name;
    }
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
// be used and released after every loader of its module is gone.
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
    EXPECT_EQ(image->Release(), 0u);
}

}  // namespace
}  // namespace optivane::test
