#include "peak/sdk/DeviceDescriptor.h"

#include <arv.h>

#include <utility>

#include "aravis/AravisLibraryLock.h"
#include "aravis/GObjectPtr.h"
#include "peak/sdk/DeviceManager.h"
#include "peak/sdk/Exception.h"
#include "peak/sdk/Library.h"
#include "peak/sdk/aravis/DeviceHandle.h"
#include "runtime/CVrelAutoLock.h"

namespace optivane::peak {

DeviceDescriptor::DeviceDescriptor(std::string identifier, std::string aravisId, uint64_t generation)
    : m_identifier(std::move(identifier)), m_aravisId(std::move(aravisId)), m_generation(generation) {}

std::string DeviceDescriptor::Identifier() const {
    Library::CheckGeneration(m_generation);
    return m_identifier;
}

std::shared_ptr<Device> DeviceDescriptor::OpenDevice(int accessType) {
    Library::CheckGeneration(m_generation);
    if (accessType != kAccessControl) throw BadAccessException("only control access is offered");
    std::lock_guard<std::mutex> guard(m_openLock);
    if (!m_opened.expired()) throw BadAccessException(m_identifier + " is open in this process");
    GErrorPtr error;
    GObjectPtr<ArvDevice> device;
    {
        CVrelAutoLock hold(&AravisLibraryLock::Instance());
        device = GObjectPtr<ArvDevice>::Adopt(arv_open_device(m_aravisId.c_str(), error.Out()));
    }
    if (!device || error) throw BadAccessException(m_identifier + " does not open: " + error.Message());
    // Aravis opens a device that another controller holds, read-only and
    // without an error.
    if (!ARV_IS_GV_DEVICE(device.Get()) || !arv_gv_device_is_controller(ARV_GV_DEVICE(device.Get())))
        throw BadAccessException(m_identifier + " is held by another controller");
    arv_device_set_range_check_policy(device.Get(), ARV_RANGE_CHECK_POLICY_ENABLE);
    arv_device_set_access_check_policy(device.Get(), ARV_ACCESS_CHECK_POLICY_ENABLE);
    auto handle = std::make_shared<DeviceHandle>(std::move(device));
    DeviceManager::Track(handle);
    auto opened = std::make_shared<Device>(handle, m_generation);
    m_opened = opened;
    return opened;
}

std::shared_ptr<Device> DeviceDescriptor::OpenedDevice() const {
    Library::CheckGeneration(m_generation);
    std::lock_guard<std::mutex> guard(m_openLock);
    std::shared_ptr<Device> opened = m_opened.lock();
    if (!opened) throw BadAccessException(m_identifier + " is not open in this process");
    return opened;
}

}  // namespace optivane::peak
