// optivane list: the cameras one search of the module's manager finds, in
// its order, as a table (kind, id, model, vendor, address, serial, size) or
// as a JSON array of objects named by the record's fields plus "Kind". The
// kind is the class the manager's CreateCamera would choose.
//
// Threads: the caller's only.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "ModuleHost.h"
#include "optivane/optivane.h"

namespace optivane::tool {

class ListCommand {
public:
    ListCommand(std::ostream& out, std::ostream& err) : m_out(out), m_err(err) {}

    // Searches the network of address (every local network when empty).
    int Run(const ModuleHost& host, const std::string& address, bool json);

    static void WriteTable(const std::vector<CameraDeviceInfo>& records, std::ostream& out);
    static void WriteJson(const std::vector<CameraDeviceInfo>& records, std::ostream& out);

private:
    std::ostream& m_out;
    std::ostream& m_err;
};

}  // namespace optivane::tool
