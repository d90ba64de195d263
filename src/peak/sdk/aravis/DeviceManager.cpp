#include "peak/sdk/DeviceManager.h"

#include <algorithm>
#include <string>

#include "aravis/AravisDeviceList.h"
#include "peak/sdk/Exception.h"
#include "peak/sdk/Library.h"
#include "peak/sdk/aravis/DeviceHandle.h"

namespace optivane::peak {

namespace {

// USB3 Vision IDS devices lack the GigE current-address node the cameras
// read, so they stay with the Aravis camera.
bool IsIdsGigE(const AravisDeviceList::Entry& entry) {
    if (entry.protocol != "GigEVision") return false;
    return entry.vendor == "IDS" || entry.vendor.compare(0, 4, "IDS ") == 0;
}

}  // namespace

DeviceManager& DeviceManager::Object() {
    static DeviceManager manager;
    return manager;
}

DeviceManager& DeviceManager::Instance() {
    if (!Library::IsInitialized()) throw NotInitializedException("library not initialised");
    return Object();
}

void DeviceManager::ReleaseAll() {
    DeviceManager& manager = Object();
    std::lock_guard<std::mutex> guard(manager.m_lock);
    manager.m_devices.clear();
    for (const auto& opened : manager.m_opened) {
        if (auto handle = opened.lock()) handle->Release();
    }
    manager.m_opened.clear();
}

void DeviceManager::Track(const std::shared_ptr<DeviceHandle>& handle) {
    DeviceManager& manager = Object();
    std::lock_guard<std::mutex> guard(manager.m_lock);
    // Closed devices leave expired entries; drop them as new ones come.
    manager.m_opened.erase(std::remove_if(manager.m_opened.begin(), manager.m_opened.end(),
                                          [](const auto& opened) { return opened.expired(); }),
                           manager.m_opened.end());
    manager.m_opened.push_back(handle);
}

void DeviceManager::Update() {
    const uint64_t generation = Library::Generation();
    std::vector<std::shared_ptr<DeviceDescriptor>> previous = Devices();
    std::vector<std::shared_ptr<DeviceDescriptor>> found;
    for (const AravisDeviceList::Entry& entry : AravisDeviceList::Update()) {
        if (!IsIdsGigE(entry)) continue;
        const std::string identifier = "IDS/" + entry.model + "/" + entry.serial + "-GEV";
        auto kept = std::find_if(previous.begin(), previous.end(),
                                 [&](const auto& device) { return device->Identifier() == identifier; });
        found.push_back(kept != previous.end() ? *kept
                                               : std::make_shared<DeviceDescriptor>(identifier, entry.id, generation));
    }
    std::sort(found.begin(), found.end(),
              [](const auto& left, const auto& right) { return left->Identifier() < right->Identifier(); });
    std::lock_guard<std::mutex> guard(m_lock);
    m_devices = std::move(found);
    m_generation = generation;
}

std::vector<std::shared_ptr<DeviceDescriptor>> DeviceManager::Devices() const {
    const uint64_t generation = Library::Generation();
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_generation != generation) return {};
    return m_devices;
}

}  // namespace optivane::peak
