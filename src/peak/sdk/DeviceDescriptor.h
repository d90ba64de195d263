// One device the device manager found: its identifier
// "IDS/<model>/<serial>-GEV" and the Aravis id it is reached by. Belongs to
// the library generation that listed it and raises NotInitializedException
// once that has ended. Immutable, so any thread may use it.
#pragma once

#include <cstdint>
#include <string>

namespace optivane::peak {

class DeviceDescriptor {
public:
    DeviceDescriptor(std::string identifier, std::string aravisId, uint64_t generation);

    std::string Identifier() const;

private:
    const std::string m_identifier;
    const std::string m_aravisId;
    const uint64_t m_generation;
};

}  // namespace optivane::peak
