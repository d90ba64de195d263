#include "peak/sdk/Buffer.h"

#include <utility>

#include "peak/sdk/Library.h"
#include "peak/sdk/aravis/BufferHandle.h"

namespace optivane::peak {

Buffer::Buffer(std::unique_ptr<BufferHandle> handle, uint64_t generation)
    : m_handle(std::move(handle)), m_generation(generation) {}

Buffer::~Buffer() = default;

void* Buffer::BasePtr() const {
    Library::CheckGeneration(m_generation);
    return const_cast<void*>(arv_buffer_get_data(m_handle->buffer.Get(), nullptr));
}

size_t Buffer::Size() const {
    Library::CheckGeneration(m_generation);
    size_t size = 0;
    arv_buffer_get_data(m_handle->buffer.Get(), &size);
    return size;
}

size_t Buffer::Width() const {
    Library::CheckGeneration(m_generation);
    if (!HoldsImage()) return 0;
    const gint width = arv_buffer_get_image_width(m_handle->buffer.Get());
    return width > 0 ? static_cast<size_t>(width) : 0;
}

size_t Buffer::Height() const {
    Library::CheckGeneration(m_generation);
    if (!HoldsImage()) return 0;
    const gint height = arv_buffer_get_image_height(m_handle->buffer.Get());
    return height > 0 ? static_cast<size_t>(height) : 0;
}

bool Buffer::IsIncomplete() const {
    Library::CheckGeneration(m_generation);
    return arv_buffer_get_status(m_handle->buffer.Get()) != ARV_BUFFER_STATUS_SUCCESS;
}

// Aravis warns when asked for the image size of a buffer without an image.
bool Buffer::HoldsImage() const {
    ArvBuffer* buffer = m_handle->buffer.Get();
    if (arv_buffer_get_status(buffer) != ARV_BUFFER_STATUS_SUCCESS) return false;
    const ArvBufferPayloadType type = arv_buffer_get_payload_type(buffer);
    return (type == ARV_BUFFER_PAYLOAD_TYPE_IMAGE || type == ARV_BUFFER_PAYLOAD_TYPE_EXTENDED_CHUNK_DATA ||
            type == ARV_BUFFER_PAYLOAD_TYPE_MULTIPART) &&
           arv_buffer_get_n_parts(buffer) > 0;
}

}  // namespace optivane::peak
