// A loaded shared library (dlopen / LoadLibraryExW), closed when destroyed.
#pragma once

#include <string>
#include <utility>

namespace optivane::platform {

class SharedLibrary {
public:
    SharedLibrary() = default;
    // Loads the library at path now (symbols resolved at load, kept local).
    // IsLoaded() tells whether it worked.
    explicit SharedLibrary(const std::string& path);
    ~SharedLibrary() { Close(); }

    SharedLibrary(SharedLibrary&& other) noexcept
        : m_handle(std::exchange(other.m_handle, nullptr)), m_path(std::move(other.m_path)) {}
    SharedLibrary& operator=(SharedLibrary&& other) noexcept {
        if (this != &other) {
            Close();
            m_handle = std::exchange(other.m_handle, nullptr);
            m_path = std::move(other.m_path);
        }
        return *this;
    }
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    bool IsLoaded() const { return m_handle != nullptr; }
    // Address of an exported symbol, or null.
    void* Symbol(const char* name) const;
    // Keeps this library in memory for the rest of the process, after this
    // handle and every other one is closed. False when nothing is loaded or
    // the system refuses.
    bool Pin() const;

    // Full path of the binary (library or program) that contains this code;
    // empty when it cannot be found.
    static std::string PathOfThisBinary();
    // Keeps the already loaded library that contains address in memory for
    // the rest of the process, whoever unloads it later. For libraries that
    // register process-wide state (GObject types) which must not outlive
    // their code. False when no loaded library contains the address.
    static bool PinLibraryContaining(const void* address);
    // File name of a library in this platform's style: "Zendra" gives
    // "libZendra.so" on POSIX and "Zendra.dll" on Windows.
    static std::string FileNameFor(const std::string& baseName);
    // Separator between folders in paths ('/' on POSIX, '\\' on Windows).
    static char PathSeparator();

private:
    void Close();

    void* m_handle = nullptr;
    // As given to the constructor: the loader finds the loaded copy by it
    // again without this code reading the loader's own records.
    std::string m_path;
};

}  // namespace optivane::platform
