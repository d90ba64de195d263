// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes. Path() is empty when none could be made.
#pragma once

#include <filesystem>
#include <random>
#include <string>
#include <system_error>

namespace optivane::test {

class TempDir {
public:
    TempDir() {
        std::error_code error;
        const std::filesystem::path base = std::filesystem::temp_directory_path(error);
        std::random_device seed;
        std::mt19937_64 names(static_cast<uint64_t>(seed()) << 32 | seed());
        // create_directory answers false for a name that exists: try another.
        for (int attempt = 0; !error && m_path.empty() && attempt < 100; ++attempt) {
            const std::filesystem::path candidate = base / ("optivane-" + std::to_string(names()));
            if (std::filesystem::create_directory(candidate, error)) m_path = candidate.string();
        }
    }
    ~TempDir() {
        std::error_code ignored;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return (std::filesystem::path(m_path) / name).string(); }

private:
    std::string m_path;
};

}  // namespace optivane::test
