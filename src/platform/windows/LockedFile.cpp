#include "platform/LockedFile.h"

#include <windows.h>

#include "platform/windows/Utf8.h"

namespace optivane::platform {

namespace {

HANDLE FileHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

const intptr_t kNoHandle = -1;  // INVALID_HANDLE_VALUE

}  // namespace

LockedFile::~LockedFile() { Close(); }

bool LockedFile::Open(const std::string& path) {
    Close();
    const std::wstring widePath = WideFromUtf8(path);
    if (widePath.empty()) return false;
    HANDLE file = CreateFileW(widePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    m_handle = reinterpret_cast<intptr_t>(file);
    return true;
}

bool LockedFile::IsOpen() const { return m_handle != kNoHandle; }

bool LockedFile::Size(uint64_t* size) const {
    if (!IsOpen() || size == nullptr) return false;
    LARGE_INTEGER value{};
    if (!GetFileSizeEx(FileHandle(m_handle), &value)) return false;
    *size = static_cast<uint64_t>(value.QuadPart);
    return true;
}

bool LockedFile::TryLock(uint64_t offset, uint64_t length) {
    if (!IsOpen()) return false;
    // LockFile fails at once when another handle holds an overlapping range.
    // A zero-length range excludes nobody, so one byte is locked instead.
    if (length == 0) length = 1;
    return LockFile(FileHandle(m_handle), static_cast<DWORD>(offset), static_cast<DWORD>(offset >> 32),
                    static_cast<DWORD>(length), static_cast<DWORD>(length >> 32)) != FALSE;
}

void LockedFile::Unlock(uint64_t offset, uint64_t length) {
    if (!IsOpen()) return;
    if (length == 0) length = 1;
    UnlockFile(FileHandle(m_handle), static_cast<DWORD>(offset), static_cast<DWORD>(offset >> 32),
               static_cast<DWORD>(length), static_cast<DWORD>(length >> 32));
}

bool LockedFile::AppendAll(const char* data, size_t length) {
    if (!IsOpen()) return false;
    if (length == 0) return true;
    if (data == nullptr) return false;
    LARGE_INTEGER zero{};
    if (!SetFilePointerEx(FileHandle(m_handle), zero, nullptr, FILE_END)) return false;
    size_t written = 0;
    while (written < length) {
        const size_t remaining = length - written;
        const DWORD chunk = remaining > 0x40000000u ? 0x40000000u : static_cast<DWORD>(remaining);
        DWORD done = 0;
        if (!WriteFile(FileHandle(m_handle), data + written, chunk, &done, nullptr) || done == 0) return false;
        written += done;
    }
    return true;
}

void LockedFile::Flush() {
    if (!IsOpen()) return;
    FlushFileBuffers(FileHandle(m_handle));
}

void LockedFile::Close() {
    if (!IsOpen()) return;
    CloseHandle(FileHandle(m_handle));
    m_handle = kNoHandle;
}

}  // namespace optivane::platform
