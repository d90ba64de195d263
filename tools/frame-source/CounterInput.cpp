#include "CounterInput.h"

namespace optivane::tool {

CounterInput::CounterInput(uint32_t width, uint32_t height) : m_width(width), m_height(height) {
    m_ramp.resize(static_cast<size_t>(width) * height * 3 + 255);
    for (size_t i = 0; i < m_ramp.size(); ++i) m_ramp[i] = static_cast<uint8_t>(i);
}

}  // namespace optivane::tool
