#pragma once
// A temporary folder that lives as long as its owner, and a file's exact bytes written and read.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

// Writes content byte for byte, creating missing parent folders first.
inline void WriteBytes(const std::filesystem::path& path, const std::string& content) {
    if (path.has_parent_path()) {
        std::filesystem::create_directories(path.parent_path());
    }
    std::ofstream(path, std::ios::binary) << content;
}

// The whole content of a file; empty when it cannot be read.
inline std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A new empty folder below the system's temporary folder, removed with all it holds at the end.
class TempFolder {
  public:
    explicit TempFolder(const std::string& prefix) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot make a temporary folder " + pattern);
        }
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }

    // Writes a file in the folder and returns its path.
    std::string Write(const std::string& name, const std::string& content) const {
        const std::filesystem::path path = path_ / name;
        WriteBytes(path, content);
        return path.string();
    }

  private:
    std::filesystem::path path_;
};
