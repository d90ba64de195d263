// How a phone is named on the command line: the module's own id,
// "SMPHCA00<IPv4>:<port>", or "phone:<IPv4>[:<port>]" (port 60000 when left
// out, as every phone a search finds listens there).
#pragma once

#include <string>

namespace optivane::tool {

class PhoneId {
public:
    // True when the text names a phone, with the module's id for it in id;
    // false for other ids. A malformed phone id also gives true, with the
    // reason in error and id empty.
    static bool Recognise(const std::string& text, std::string* id, std::string* error);
};

}  // namespace optivane::tool
