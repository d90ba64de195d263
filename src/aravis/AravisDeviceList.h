// Copies of the texts Aravis keeps for the devices its last discovery found.
//
// Aravis frees those texts at the next update of its list, whoever runs it, so
// every reader in the process goes through Update: the Aravis library lock
// covers the discovery and the copying, and callers keep only the copies. Any thread may
// call it; it blocks for the length of a discovery. The copies of the last
// discovery are kept, under the same lock.
#pragma once

#include <cstdint>
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
    // The number of discoveries run so far in the process.
    static uint64_t Discoveries();
    // What a discovery begun after `discoveries` (a Discoveries() value)
    // found, running one only when none was: a search whose IDS peak step has
    // just run a discovery does not wait for a second one.
    static std::vector<Entry> UpdateSince(uint64_t discoveries);
};

}  // namespace optivane
