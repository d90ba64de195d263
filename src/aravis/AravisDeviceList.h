// Copies of the texts Aravis keeps for the devices its last discovery found.
//
// Aravis frees those texts at the next update of its list, whoever runs it, so
// every reader in the process goes through Update: the Aravis library lock
// covers the discovery and the copying, and callers keep only the copies. Any thread may
// call it; it blocks for the length of a discovery.
#pragma once

#include <string>
#include <vector>

namespace optivane {

class AravisDeviceList {
public:
    struct Entry {
        std::string id;        // what arv_camera_new and arv_open_device take
        std::string address;
        std::string vendor;
        std::string model;
        std::string serial;
        std::string protocol;  // "GigEVision", "USB3Vision", ...
    };

    // Runs a discovery and returns what it found, in Aravis's order.
    static std::vector<Entry> Update();
};

}  // namespace optivane
