#include "PhoneFaults.h"

namespace optivane::tool {

bool PhoneFaults::Add(const std::string& fault) {
    const size_t equals = fault.find('=');
    const std::string name = fault.substr(0, equals);
    const std::string value = equals == std::string::npos ? "" : fault.substr(equals + 1);
    const bool hasValue = equals != std::string::npos;
    auto number = [&](int64_t& field) {
        if (!hasValue || value.empty() || value.find_first_not_of("0123456789") != std::string::npos) return false;
        field = std::stoll(value);
        return true;
    };
    if (!hasValue) {
        if (name == "split-xml") return splitXml = true;
        if (name == "split-header") return splitHeader = true;
        if (name == "chunked-jpg") return chunkedJpg = true;
        if (name == "bad-xml") return badXml = true;
        if (name == "not-jpeg") return notJpeg = true;
        if (name == "no-capture") return noCapture = true;
        if (name == "no-accept") return noAccept = true;
        return false;
    }
    if (name == "missing") return missing.push_back(value), true;
    if (name == "empty") return empty.push_back(value), true;
    if (name == "xml-file") return xmlFile = value, true;
    if (name == "tag") return tag = value, true;
    if (name == "status") return status = value, true;
    if (name == "xml-length") return number(xmlLength);
    if (name == "length") return number(length);
    if (name == "truncate") return number(truncate);
    if (name == "drop") return number(drop);
    if (name == "short-jpg") return number(shortJpg);
    if (name == "extra") return number(extra);
    if (name == "trickle") return number(trickleMs);
    return false;
}

}  // namespace optivane::tool
