// Root of every object the module hands out: destroying an object always goes
// through this destructor.
#pragma once

namespace optivane {

class CBaseObject {
public:
    CBaseObject() = default;
    virtual ~CBaseObject() = default;
    CBaseObject(const CBaseObject&) = delete;
    CBaseObject& operator=(const CBaseObject&) = delete;
};

}  // namespace optivane
