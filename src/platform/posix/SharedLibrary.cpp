#include "platform/SharedLibrary.h"

#include <dlfcn.h>

#include <utility>

namespace optivane::platform {

SharedLibrary::SharedLibrary(const std::string& path) {
    // Symbols are resolved now so that a module with a missing dependency
    // fails here rather than on first call; RTLD_LOCAL keeps sibling modules'
    // exports (each has its own DllCreateInstance) from shadowing one another.
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

SharedLibrary::~SharedLibrary() { Close(); }

SharedLibrary::SharedLibrary(SharedLibrary&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& other) noexcept {
    if (this != &other) {
        Close();
        m_handle = std::exchange(other.m_handle, nullptr);
    }
    return *this;
}

void* SharedLibrary::Symbol(const char* name) const {
    if (m_handle == nullptr || name == nullptr) return nullptr;
    return dlsym(m_handle, name);
}

void SharedLibrary::Close() {
    if (m_handle == nullptr) return;
    dlclose(m_handle);
    m_handle = nullptr;
}

std::string SharedLibrary::PathOfThisBinary() {
    // The address of a function of this file lies in whatever binary this
    // code was linked into, library or program.
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&SharedLibrary::PathOfThisBinary), &info) == 0) return {};
    if (info.dli_fname == nullptr) return {};
    return info.dli_fname;
}

std::string SharedLibrary::FileNameFor(const std::string& baseName) { return "lib" + baseName + ".so"; }

char SharedLibrary::PathSeparator() { return '/'; }

}  // namespace optivane::platform
