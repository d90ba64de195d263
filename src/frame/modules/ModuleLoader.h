// Loads a sibling module of the host framework from this module's own folder
// and finds its DllCreateInstance entry. Each holder keeps its own loader for
// its lifetime; the library is closed when the loader is destroyed.
#pragma once

#include <string>

#include "optivane/com.h"
#include "platform/SharedLibrary.h"

namespace optivane {

class ModuleLoader {
public:
    // relativeName: a file name relative to this module's folder; leading
    // "../" and "./" (on Windows "..\" and ".\") climb or stay.
    explicit ModuleLoader(const std::string& relativeName);
    // The host framework's module of that base name ("Zendra", "Linquet",
    // "Mirvale") in this platform's file naming.
    static ModuleLoader ForSibling(const char* baseName);

    ModuleLoader(ModuleLoader&&) noexcept = default;
    ModuleLoader& operator=(ModuleLoader&&) noexcept = default;

    bool IsLoaded() const { return m_library.IsLoaded(); }
    DllCreateInstanceFn Entry() const { return m_entry; }
    // The entry's DllCreateInstance; E_HANDLE when the module or entry is missing.
    HRESULT CreateInstance(const CLSID& classId, const IID& interfaceId, void** object) const;

    // The full path for relativeName beside a module at modulePath; empty when
    // the name climbs above the root or the result is longer than 260 characters.
    static std::string ResolvePath(const std::string& modulePath, const std::string& relativeName);

private:
    platform::SharedLibrary m_library;
    DllCreateInstanceFn m_entry = nullptr;
};

}  // namespace optivane
