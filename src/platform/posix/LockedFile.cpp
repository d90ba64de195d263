#include "platform/LockedFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <limits>

namespace optivane::platform {

namespace {

int Descriptor(intptr_t handle) { return static_cast<int>(handle); }

bool SetRangeLock(int fd, short type, uint64_t offset, uint64_t length) {
    // A zero length would mean "to the end of the file and beyond" for fcntl;
    // one byte at offset keeps writers of an empty file excluding each other.
    if (length == 0) length = 1;
    const uint64_t maxOffset = static_cast<uint64_t>(std::numeric_limits<off_t>::max());
    if (offset > maxOffset || length > maxOffset - offset) return false;
    struct flock range {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    range.l_start = static_cast<off_t>(offset);
    range.l_len = static_cast<off_t>(length);
    int result;
    do {
        result = fcntl(fd, F_SETLK, &range);
    } while (result == -1 && errno == EINTR);
    return result == 0;
}

}  // namespace

LockedFile::~LockedFile() { Close(); }

bool LockedFile::Open(const std::string& path) {
    Close();
    // O_APPEND puts every write at the end even when another process appended
    // in between; contents are kept, the file is created when missing.
    int fd;
    do {
        fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    } while (fd == -1 && errno == EINTR);
    if (fd == -1) return false;
    m_handle = fd;
    return true;
}

bool LockedFile::IsOpen() const { return m_handle != -1; }

bool LockedFile::Size(uint64_t* size) const {
    if (!IsOpen() || size == nullptr) return false;
    struct stat info {};
    if (fstat(Descriptor(m_handle), &info) != 0) return false;
    *size = static_cast<uint64_t>(info.st_size);
    return true;
}

bool LockedFile::TryLock(uint64_t offset, uint64_t length) {
    if (!IsOpen()) return false;
    return SetRangeLock(Descriptor(m_handle), F_WRLCK, offset, length);
}

void LockedFile::Unlock(uint64_t offset, uint64_t length) {
    if (!IsOpen()) return;
    SetRangeLock(Descriptor(m_handle), F_UNLCK, offset, length);
}

bool LockedFile::AppendAll(const char* data, size_t length) {
    if (!IsOpen()) return false;
    if (length == 0) return true;
    if (data == nullptr) return false;
    const int fd = Descriptor(m_handle);
    size_t written = 0;
    while (written < length) {
        const ssize_t result = write(fd, data + written, length - written);
        if (result < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (result == 0) return false;
        written += static_cast<size_t>(result);
    }
    return true;
}

void LockedFile::Flush() {
    // Nothing is buffered in this process: every AppendAll went straight to
    // the kernel, where other readers see it at once. Forcing it to the disk
    // for each log line would cost a disk round trip per line and is not done.
}

void LockedFile::Close() {
    if (!IsOpen()) return;
    // Closing drops every fcntl lock this process holds on the file.
    close(Descriptor(m_handle));
    m_handle = -1;
}

}  // namespace optivane::platform
