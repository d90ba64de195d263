// A file opened for appending with write access, shared for reading, created
// when missing, with non-blocking byte-range locks between processes (fcntl on
// POSIX, LockFile on Windows). Closed when destroyed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace optivane::platform {

class LockedFile {
public:
    LockedFile() = default;
    ~LockedFile();
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    // Opens or creates the file, keeping its contents.
    bool Open(const std::string& path);
    bool IsOpen() const;
    bool Size(uint64_t* size) const;
    // Takes an exclusive lock on [offset, offset + length) without waiting.
    // A length of 0 locks one byte at offset, so that writers of an empty file
    // still exclude each other. False when another process holds it.
    bool TryLock(uint64_t offset, uint64_t length);
    void Unlock(uint64_t offset, uint64_t length);
    // Writes all bytes at the end of the file.
    bool AppendAll(const char* data, size_t length);
    void Flush();
    void Close();

private:
    intptr_t m_handle = -1;
};

}  // namespace optivane::platform
