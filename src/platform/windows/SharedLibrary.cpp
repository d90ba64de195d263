#include "platform/SharedLibrary.h"

#include <windows.h>

#include "platform/windows/Utf8.h"

namespace optivane::platform {

SharedLibrary::SharedLibrary(const std::string& path) : m_path(path) {
    const std::wstring widePath = WideFromUtf8(path);
    if (widePath.empty()) return;
    // The altered search path lets the library find its own dependencies in
    // its own folder.
    m_handle = LoadLibraryExW(widePath.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

void* SharedLibrary::Symbol(const char* name) const {
    if (m_handle == nullptr || name == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(m_handle), name));
}

bool SharedLibrary::Pin() const {
    if (m_handle == nullptr) return false;
    // A module's handle is its base address, which lies inside it.
    return PinLibraryContaining(m_handle);
}

void SharedLibrary::Close() {
    if (m_handle == nullptr) return;
    FreeLibrary(static_cast<HMODULE>(m_handle));
    m_handle = nullptr;
}

std::string SharedLibrary::PathOfThisBinary() {
    // The module that contains this function is the one this code is linked
    // into; the handle is not counted, so it is not freed.
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&SharedLibrary::PathOfThisBinary), &module)) {
        return {};
    }
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    return Utf8FromWide(std::wstring(path, length));
}

bool SharedLibrary::PinLibraryContaining(const void* address) {
    HMODULE module = nullptr;
    return GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                              static_cast<LPCWSTR>(address), &module) != 0;
}

std::string SharedLibrary::FileNameFor(const std::string& baseName) { return baseName + ".dll"; }

char SharedLibrary::PathSeparator() { return '\\'; }

}  // namespace optivane::platform
