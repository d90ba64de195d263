#include "aravis/AravisDeviceList.h"

#include <arv.h>

#include "aravis/AravisLibraryLock.h"
#include "runtime/CVrelAutoLock.h"

namespace optivane {

namespace {

std::string Text(const char* text) { return text != nullptr ? text : ""; }

// Under the Aravis library lock.
uint64_t g_discoveries = 0;
std::vector<AravisDeviceList::Entry> g_lastFound;

}  // namespace

std::vector<AravisDeviceList::Entry> AravisDeviceList::Update() {
    CVrelAutoLock hold(&AravisLibraryLock::Instance());
    ++g_discoveries;
    arv_update_device_list();
    std::vector<Entry> entries;
    const unsigned int count = arv_get_n_devices();
    entries.reserve(count);
    for (unsigned int index = 0; index < count; ++index) {
        entries.push_back(Entry{Text(arv_get_device_id(index)), Text(arv_get_device_address(index)),
                                Text(arv_get_device_vendor(index)), Text(arv_get_device_model(index)),
                                Text(arv_get_device_serial_nbr(index)), Text(arv_get_device_protocol(index))});
    }
    g_lastFound = entries;
    return entries;
}

uint64_t AravisDeviceList::Discoveries() {
    CVrelAutoLock hold(&AravisLibraryLock::Instance());
    return g_discoveries;
}

std::vector<AravisDeviceList::Entry> AravisDeviceList::UpdateSince(uint64_t discoveries) {
    CVrelAutoLock hold(&AravisLibraryLock::Instance());
    if (g_discoveries > discoveries) return g_lastFound;
    return Update();
}

}  // namespace optivane
