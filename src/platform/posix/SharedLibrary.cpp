#include "platform/SharedLibrary.h"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace optivane::platform {

namespace {

// The loader's own lock is invisible to ThreadSanitizer, and the link maps it
// hands out are read here: every call into the loader from this file holds
// this lock, so a map made by one thread's dlopen is seen whole by the next.
// Recursive, as a library's constructors run inside dlopen and may load more.
std::recursive_mutex& LoaderLock() {
    static std::recursive_mutex lock;
    return lock;
}

// RTLD_NOLOAD only finds the loaded copy; RTLD_NODELETE makes it stay. The
// reference taken here is never dropped, on purpose.
bool PinLoadedFile(const char* path) {
    return path != nullptr && dlopen(path, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE) != nullptr;
}

}  // namespace

SharedLibrary::SharedLibrary(const std::string& path) : m_path(path) {
    // Symbols are resolved now so that a module with a missing dependency
    // fails here rather than on first call; RTLD_LOCAL keeps sibling modules'
    // exports (each has its own DllCreateInstance) from shadowing one another.
    const std::lock_guard<std::recursive_mutex> hold(LoaderLock());
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* SharedLibrary::Symbol(const char* name) const {
    if (m_handle == nullptr || name == nullptr) return nullptr;
    const std::lock_guard<std::recursive_mutex> hold(LoaderLock());
    return dlsym(m_handle, name);
}

bool SharedLibrary::Pin() const {
    // By the path it was loaded by: a record of the loader, read here while
    // another thread loads the same library, would race with its writes.
    if (m_handle == nullptr) return false;
    const std::lock_guard<std::recursive_mutex> hold(LoaderLock());
    return PinLoadedFile(m_path.c_str());
}

void SharedLibrary::Close() {
    if (m_handle == nullptr) return;
    const std::lock_guard<std::recursive_mutex> hold(LoaderLock());
    dlclose(m_handle);
    m_handle = nullptr;
}

std::string SharedLibrary::PathOfThisBinary() {
    // The address of a function of this file lies in whatever binary this
    // code was linked into, library or program.
    Dl_info info{};
    struct link_map* map = nullptr;
    const std::lock_guard<std::recursive_mutex> hold(LoaderLock());
    if (dladdr1(reinterpret_cast<void*>(&SharedLibrary::PathOfThisBinary), &info, reinterpret_cast<void**>(&map),
                RTLD_DL_LINKMAP) == 0) {
        return {};
    }
    // For the program itself the loader only knows argv[0], which may be
    // relative or a bare name: the kernel knows the real file.
    if (map != nullptr && map->l_name != nullptr && map->l_name[0] == '\0') {
        char path[PATH_MAX];
        const ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
        if (length <= 0) return {};
        return std::string(path, static_cast<size_t>(length));
    }
    if (info.dli_fname == nullptr || info.dli_fname[0] == '\0') return {};
    // A library opened by a relative path keeps that path: make it absolute,
    // since callers look for files beside it.
    const std::unique_ptr<char, decltype(&std::free)> resolved(realpath(info.dli_fname, nullptr), &std::free);
    if (resolved == nullptr) return info.dli_fname;
    return resolved.get();
}

bool SharedLibrary::PinLibraryContaining(const void* address) {
    Dl_info info{};
    const std::lock_guard<std::recursive_mutex> hold(LoaderLock());
    if (dladdr(address, &info) == 0) return false;
    return PinLoadedFile(info.dli_fname);
}

std::string SharedLibrary::FileNameFor(const std::string& baseName) { return "lib" + baseName + ".so"; }

char SharedLibrary::PathSeparator() { return '/'; }

}  // namespace optivane::platform
