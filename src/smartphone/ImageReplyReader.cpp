#include "smartphone/ImageReplyReader.h"

#include "smartphone/ReplyHeader.h"

namespace optivane::phone {

ImageReplyReader::Progress ImageReplyReader::Received(size_t count) {
    if (m_progress != Progress::NeedMore) return m_progress;
    if (count == 0 || count > Room()) return m_progress = Progress::Failed;
    const bool first = m_received == 0;
    m_received += count;
    if (first) {
        uint32_t length = 0;
        if (m_received < kHeaderSize || !ReadReplyHeader(m_buffer, "jpg", length) || length == 0 ||
            length > m_capacity - kHeaderSize) {
            return m_progress = Progress::Failed;
        }
        m_length = length;
    }
    if (m_received >= kHeaderSize + m_length) m_progress = Progress::Complete;
    return m_progress;
}

}  // namespace optivane::phone
