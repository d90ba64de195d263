// Turns a module status into words for people: its standard name, its value
// in hexadecimal and what it means for a camera host.
#pragma once

#include <string>

#include "optivane/com.h"

namespace optivane::tool {

class HresultText {
public:
    // For example "E_FAIL (0x80004005): the camera refused the operation or is
    // not reachable". Values without a name get "unnamed status".
    static std::string Describe(HRESULT status);
};

}  // namespace optivane::tool
