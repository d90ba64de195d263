#include "smartphone/CapabilityReply.h"

#include <cstdint>
#include <cstring>

#include "smartphone/ReplyHeader.h"

namespace optivane::phone {

HRESULT CapabilityReply::Accept(const char* data, size_t received) {
    if (data == nullptr || received < kHeaderSize || received > kReceiveSize) return E_FAIL;
    uint32_t length = 0;
    if (!ReadReplyHeader(data, "xml", length) || length != received - kHeaderSize) return E_FAIL;
    std::memcpy(m_document, data + kHeaderSize, length);
    m_document[length] = '\0';
    m_size = length;
    return S_OK;
}

}  // namespace optivane::phone
