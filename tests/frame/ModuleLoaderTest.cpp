// Finding and loading sibling modules beside this binary.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

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

// A phone search makes hundreds of cameras at once, each loading its
// siblings: every loader on every thread gets the one entry, and the entry
// still makes objects after all those loaders are gone (so what a sibling
// made, a kept frame, outlives them too).
TEST(ModuleLoaderTest, LoadersOnManyThreadsAtOnceShareOneEntry) {
    constexpr int kThreads = 24;
    std::vector<DllCreateInstanceFn> entries(kThreads, nullptr);
    std::vector<std::thread> threads;
    for (int at = 0; at < kThreads; ++at) {
        threads.emplace_back([&entries, at] {
            const ModuleLoader loader = ModuleLoader::ForSibling(at % 2 == 0 ? "Zendra" : "Linquet");
            if (loader.IsLoaded()) entries[static_cast<size_t>(at)] = loader.Entry();
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int at = 0; at < kThreads; ++at) {
        ASSERT_NE(entries[static_cast<size_t>(at)], nullptr) << at;
        EXPECT_EQ(entries[static_cast<size_t>(at)], entries[static_cast<size_t>(at % 2)]) << at;
    }
    EXPECT_NE(entries[0], entries[1]);
    IFrameImage* image = nullptr;
    ASSERT_EQ(entries[0](CLSID_FrameImage, IID_IFrameImage, reinterpret_cast<void**>(&image)), S_OK);
    EXPECT_EQ(image->Release(), 0u);
}

}  // namespace
}  // namespace optivane::test
