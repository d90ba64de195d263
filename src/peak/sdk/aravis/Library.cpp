#include "peak/sdk/Library.h"

#include <arv.h>

#include <mutex>

#include "peak/sdk/DeviceManager.h"
#include "peak/sdk/Exception.h"
#include "platform/SharedLibrary.h"

namespace optivane::peak {

namespace {

std::mutex g_lock;
unsigned int g_count = 0;     // under g_lock
uint64_t g_generation = 0;    // under g_lock; odd while initialised

}  // namespace

void Library::Initialize() {
    // Aravis's GObject types outlive any unloading of this module, so Aravis
    // stays loaded; and arv_shutdown is never called, since other parts of the
    // process may use Aravis too.
    static const bool aravisPinned =
        platform::SharedLibrary::PinLibraryContaining(reinterpret_cast<const void*>(&arv_camera_new));
    (void)aravisPinned;
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_count++ == 0) ++g_generation;
}

void Library::Close() {
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_count == 0) throw NotInitializedException("library not initialised");
    if (--g_count > 0) return;
    ++g_generation;
    DeviceManager::ReleaseAll();
}

bool Library::IsInitialized() {
    std::lock_guard<std::mutex> guard(g_lock);
    return g_count > 0;
}

uint64_t Library::Generation() {
    std::lock_guard<std::mutex> guard(g_lock);
    if (g_count == 0) throw NotInitializedException("library not initialised");
    return g_generation;
}

void Library::CheckGeneration(uint64_t generation) {
    if (Generation() != generation) throw NotInitializedException("object of a closed library");
}

}  // namespace optivane::peak
