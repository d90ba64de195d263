// A fresh folder under the system's temporary folder, removed with its
// contents when the object goes (Path() is empty when none could be made),
// and the contents of a file.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <system_error>

namespace optivane::test {

class TempDir {
public:
    TempDir() {
        std::error_code error;
        std::random_device seed;
        // create_directory answers false for a name that exists: try another.
        for (int attempt = 0; m_path.empty() && attempt < 100; ++attempt) {
            const std::filesystem::path candidate = std::filesystem::temp_directory_path(error) /
                                                    ("optivane-" + std::to_string(seed()) + "-" + std::to_string(seed()));
            if (!error && std::filesystem::create_directory(candidate, error)) m_path = candidate.string();
        }
    }
    ~TempDir() { std::error_code ignored; std::filesystem::remove_all(m_path, ignored); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return (std::filesystem::path(m_path) / name).string(); }

private:
    std::string m_path;
};

// The whole file; empty when there is none.
inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace optivane::test
