#include "peak/sdk/DeviceDescriptor.h"

#include <utility>

#include "peak/sdk/Library.h"

namespace optivane::peak {

DeviceDescriptor::DeviceDescriptor(std::string identifier, std::string aravisId, uint64_t generation)
    : m_identifier(std::move(identifier)), m_aravisId(std::move(aravisId)), m_generation(generation) {}

std::string DeviceDescriptor::Identifier() const {
    Library::CheckGeneration(m_generation);
    return m_identifier;
}

}  // namespace optivane::peak
