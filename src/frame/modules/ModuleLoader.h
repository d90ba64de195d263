// Loads a sibling module of the host framework (Zendra, Linquet, Mirvale)
// from this module's own folder and finds its DllCreateInstance entry.
//
// Who loads and what stays loaded: each object that creates a sibling's
// objects (a camera, a frame deliverer) keeps a loader of its own for its
// lifetime, and the loader releases its handle when destroyed. Yet the first
// load that finds the entry pins the module: it stays loaded for the rest of
// the process, whoever releases it later. Its objects are handed to the host
// (a frame kept past OnFrame, a snapshot), which may release them after the
// camera, every loader and this module itself are gone; their code must
// still be there. A module that cannot be pinned is not used. A later
// loader of a pinned module's path takes the entry found then and loads
// nothing; it holds no handle, as the module cannot go away.
//
// Threads: loaders may be made on any thread; first loads of a path are
// serialised by a process-wide lock.
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

    bool IsLoaded() const { return m_entry != nullptr || m_library.IsLoaded(); }
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
