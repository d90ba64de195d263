// The framing of a capability reply: "xml", a big-endian uint32 length N and
// N bytes of document. The reply must arrive whole in one read into a
// 1024-byte buffer, so N is exactly what came minus the 7 header bytes and at
// most 1017. An accepted document is copied, NUL-terminated, into this
// object's own buffer, where the XML parser may change it.
#pragma once

#include <cstddef>

#include "optivane/com.h"

namespace optivane::phone {

class CapabilityReply {
public:
    static constexpr size_t kReceiveSize = 1024;
    static constexpr size_t kHeaderSize = 7;
    static constexpr size_t kMaxDocument = kReceiveSize - kHeaderSize;

    // E_FAIL, the previous document kept, for a wrong tag, a length that
    // differs from what arrived, or more than one receive buffer's worth.
    HRESULT Accept(const char* data, size_t received);

    char* Document() { return m_document; }
    size_t DocumentSize() const { return m_size; }

private:
    char m_document[kMaxDocument + 1] = {};
    size_t m_size = 0;
};

}  // namespace optivane::phone
