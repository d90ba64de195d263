// Reads an image reply ("jpg", a big-endian uint32 length N, N bytes of
// JPEG) into a caller's buffer, one receive at a time: Room() tells where the
// next receive writes and how much it may write, Received() how much came.
//
// The first receive must bring the whole 7-byte header; N must be at least 1
// and leave the header room in the buffer. The reply is complete once 7 + N
// bytes have arrived; bytes beyond are ignored. Nothing is ever written past
// the buffer, since each receive is offered only what is left of it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace optivane::phone {

class ImageReplyReader {
public:
    static constexpr size_t kHeaderSize = 7;
    // The receive buffer of a camera: 10 MiB.
    static constexpr size_t kBufferSize = 10485760;

    enum class Progress { NeedMore, Complete, Failed };

    ImageReplyReader(char* buffer, size_t capacity) : m_buffer(buffer), m_capacity(capacity) {}

    char* Space() { return m_buffer + m_received; }
    size_t Room() const { return m_capacity - m_received; }
    // count bytes were written at Space(), at most Room().
    Progress Received(size_t count);

    const uint8_t* Image() const { return reinterpret_cast<const uint8_t*>(m_buffer + kHeaderSize); }
    size_t ImageSize() const { return m_length; }

private:
    char* const m_buffer;
    const size_t m_capacity;
    size_t m_received = 0;
    size_t m_length = 0;  // N, once the header is read
    Progress m_progress = Progress::NeedMore;
};

}  // namespace optivane::phone
