#include "ModuleHost.h"

#include <filesystem>
#include <system_error>

namespace optivane::tool {

bool ModuleHost::Load(std::string* error) {
    if (IsLoaded()) return true;
    const std::string self = platform::SharedLibrary::PathOfThisBinary();
    if (self.empty()) {
        *error = "cannot tell which folder this program lies in, so libOptivane.so cannot be found";
        return false;
    }
    std::error_code failure;
    const std::filesystem::path folder = std::filesystem::absolute(self, failure).parent_path();
    if (failure) {
        *error = "cannot resolve the folder of " + self + ": " + failure.message();
        return false;
    }
    const std::string fileName = platform::SharedLibrary::FileNameFor("Optivane");
    m_path = (folder / fileName).string();
    if (!std::filesystem::exists(m_path, failure)) {
        *error = "the camera module " + fileName + " is not beside this program (looked for " + m_path +
                 "); install the module and the tool into one folder";
        return false;
    }
    platform::SharedLibrary library(m_path);
    if (!library.IsLoaded()) {
        *error = "the camera module " + m_path +
                 " could not be loaded (a library it needs, such as Aravis or OpenCV, may be missing)";
        return false;
    }
    auto entry = reinterpret_cast<DllCreateInstanceFn>(library.Symbol("DllCreateInstance"));
    if (entry == nullptr) {
        *error = m_path + " does not export DllCreateInstance: it is not an Optivane module";
        return false;
    }
    m_library = std::move(library);
    m_entry = entry;
    return true;
}

HRESULT ModuleHost::CreateInstance(const CLSID& classId, const IID& interfaceId, void** object) const {
    if (m_entry == nullptr) return E_UNEXPECTED;
    return m_entry(classId, interfaceId, object);
}

}  // namespace optivane::tool
