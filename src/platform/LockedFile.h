// A file opened for appending with write access, shared for reading, created
// when missing, with non-blocking byte-range locks between processes (fcntl on
// POSIX, LockFile on Windows). Closed when destroyed.
//
// On POSIX the locks belong to the process: they exclude other processes only,
// and closing any descriptor of the file drops them all. Callers in one
// process serialise themselves (the debug log holds its process-wide lock
// from Open to Close).
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
    // Windows: FlushFileBuffers. POSIX: nothing to do, since AppendAll buffers
    // nothing in the process and readers see the bytes at once; the file is
    // not forced to the disk for every line.
    void Flush();
    void Close();

private:
    intptr_t m_handle = -1;
};

}  // namespace optivane::platform
