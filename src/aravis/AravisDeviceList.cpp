#include "aravis/AravisDeviceList.h"

#include <arv.h>

#include "aravis/AravisLibraryLock.h"
#include "runtime/CVrelAutoLock.h"

namespace optivane {

namespace {

std::string Text(const char* text) { return text != nullptr ? text : ""; }

}  // namespace

std::vector<AravisDeviceList::Entry> AravisDeviceList::Update() {
    CVrelAutoLock hold(&AravisLibraryLock::Instance());
    arv_update_device_list();
    std::vector<Entry> entries;
    const unsigned int count = arv_get_n_devices();
    entries.reserve(count);
    for (unsigned int index = 0; index < count; ++index) {
        entries.push_back(Entry{Text(arv_get_device_id(index)), Text(arv_get_device_address(index)),
                                Text(arv_get_device_vendor(index)), Text(arv_get_device_model(index)),
                                Text(arv_get_device_serial_nbr(index)), Text(arv_get_device_protocol(index))});
    }
    return entries;
}

}  // namespace optivane
