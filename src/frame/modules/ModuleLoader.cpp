#include "frame/modules/ModuleLoader.h"

#include <map>
#include <mutex>
#include <utility>

namespace optivane {

namespace {

constexpr size_t kMaxPath = 260;

// Entries of the modules pinned so far, by path, and the lock that also
// serialises their first loads. A pinned module stays for the process, so a
// later loader of its path takes the entry from here and loads nothing: a
// phone search makes hundreds of cameras at once, each with its loaders.
// Recursive, as a module's constructors run inside its load.
std::recursive_mutex& PinnedLock() {
    static std::recursive_mutex lock;
    return lock;
}
std::map<std::string, DllCreateInstanceFn>& PinnedEntries() {
    static std::map<std::string, DllCreateInstanceFn> entries;  // under PinnedLock
    return entries;
}

}  // namespace

std::string ModuleLoader::ResolvePath(const std::string& modulePath, const std::string& relativeName) {
    const char separator = platform::SharedLibrary::PathSeparator();
    const size_t lastSeparator = modulePath.rfind(separator);
    if (lastSeparator == std::string::npos) return {};
    std::string folder = modulePath.substr(0, lastSeparator);

    const std::string up = std::string("..") + separator;
    const std::string here = std::string(".") + separator;
    std::string name = relativeName;
    for (;;) {
        if (name.compare(0, up.size(), up) == 0) {
            const size_t parent = folder.rfind(separator);
            if (parent == std::string::npos) return {};
            folder.erase(parent);
            name.erase(0, up.size());
        } else if (name.compare(0, here.size(), here) == 0) {
            name.erase(0, here.size());
        } else {
            break;
        }
    }
    std::string path = folder + separator + name;
    if (path.size() > kMaxPath) return {};
    return path;
}

ModuleLoader::ModuleLoader(const std::string& relativeName) {
    const std::string path = ResolvePath(platform::SharedLibrary::PathOfThisBinary(), relativeName);
    if (path.empty()) return;
    const std::lock_guard<std::recursive_mutex> hold(PinnedLock());
    const auto pinned = PinnedEntries().find(path);
    if (pinned != PinnedEntries().end()) {
        m_entry = pinned->second;
        return;
    }
    platform::SharedLibrary library(path);
    if (!library.IsLoaded()) return;
    const auto entry = reinterpret_cast<DllCreateInstanceFn>(library.Symbol("DllCreateInstance"));
    // Without an entry the module stays loaded but makes nothing, so it
    // needs no pin.
    if (entry != nullptr) {
        if (!library.Pin()) return;
        PinnedEntries().emplace(path, entry);
    }
    m_library = std::move(library);
    m_entry = entry;
}

ModuleLoader ModuleLoader::ForSibling(const char* baseName) {
    return ModuleLoader(platform::SharedLibrary::FileNameFor(baseName));
}

HRESULT ModuleLoader::CreateInstance(const CLSID& classId, const IID& interfaceId, void** object) const {
    if (m_entry == nullptr) return E_HANDLE;
    return m_entry(classId, interfaceId, object);
}

}  // namespace optivane
