// The loaded camera module: libOptivane.so from the folder of this program,
// as a host framework loads it, and its one entry DllCreateInstance.
//
// Ownership: every object created through the host must be released before
// the host is destroyed, since destruction unloads the module's code.
#pragma once

#include <string>

#include "optivane/com.h"
#include "platform/SharedLibrary.h"

namespace optivane::tool {

class ModuleHost {
public:
    ModuleHost() = default;
    ModuleHost(const ModuleHost&) = delete;
    ModuleHost& operator=(const ModuleHost&) = delete;

    // Loads the module beside this program. False, with the reason in words,
    // when the file is missing, cannot be loaded or lacks the entry.
    bool Load(std::string* error);
    bool IsLoaded() const { return m_entry != nullptr; }
    const std::string& ModulePath() const { return m_path; }

    // DllCreateInstance of the module; E_UNEXPECTED before Load succeeded.
    HRESULT CreateInstance(const CLSID& classId, const IID& interfaceId, void** object) const;

private:
    std::string m_path;
    platform::SharedLibrary m_library;
    DllCreateInstanceFn m_entry = nullptr;
};

}  // namespace optivane::tool
