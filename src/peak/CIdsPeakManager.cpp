#include "peak/CIdsPeakManager.h"

#include <memory>
#include <string>

#include "peak/PeakDeviceRecord.h"
#include "peak/PeakRestartLock.h"
#include "peak/sdk/DeviceManager.h"
#include "peak/sdk/IntegerNode.h"
#include "peak/sdk/StringNode.h"
#include "runtime/CVrelAutoLock.h"

namespace optivane {

namespace {

constexpr const char* kClassName = "CIdsPeakManager";

}  // namespace

int32_t CIdsPeakManager::EnumerateDevices(std::vector<CameraDeviceInfo>& list) {
    list.clear();
    CVrelAutoLock restart(&PeakRestartLock::Instance());
    try {
        peak::DeviceManager& manager = peak::DeviceManager::Instance();
        manager.Update();
        const auto devices = manager.Devices();
        if (devices.empty()) return 1;
        for (const auto& descriptor : devices) {
            const std::string deviceId = peak_record::DeviceIdOf(descriptor->Identifier());
            std::shared_ptr<peak::Device> device;
            try {
                device = descriptor->OpenDevice(peak::DeviceDescriptor::kAccessControl);
            } catch (const std::exception&) {
                // Open as a camera of this process: read it through that.
                device = descriptor->OpenedDevice();
            }
            const auto nodes = device->NodeMaps().at(0);
            // A device lacking any of these is not one the cameras can run.
            nodes->FindNode<peak::IntegerNode>("GevCurrentIPAddress")->Value();
            nodes->FindNode<peak::StringNode>("DeviceModelName")->Value();
            nodes->FindNode<peak::StringNode>("DeviceUserID")->Value();
            nodes->FindNode<peak::StringNode>("SensorName")->Value();
            for (const char* name : {"WidthMax", "HeightMax", "Width", "Height"})
                nodes->FindNode<peak::IntegerNode>(name)->Value();
            CameraDeviceInfo record{};
            peak_record::Fill(deviceId, *nodes, &record);
            list.push_back(record);
        }
    } catch (const std::exception& error) {
        m_log.Error(kClassName, "EXCEPTION: %s \n", error.what());
    }
    return 0;
}

}  // namespace optivane
