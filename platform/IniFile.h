#pragma once
// Private-profile INI files: reading and writing single keys with the classic rules
// (case-insensitive names, first occurrence wins, trimmed values, one pair of quotes removed,
// values cut to 2047 characters, in-place replacement, CR LF line ends, never creating a file).
#include <optional>
#include <string>
#include <utility>
#include <vector>

class IniFile {
  public:
    // Loads the file; nullopt when it does not exist as a regular file or cannot be read.
    static std::optional<IniFile> Open(const std::string& path);

    // The value of section/key, or nullopt when the section or key is absent.
    std::optional<std::string> Read(const std::string& section, const std::string& key) const;
    // Every key of the section with its value as Read gives it, in file order (a key that stands
    // twice is listed twice; the first one is the one Read finds). One pass over the file, for
    // callers that look up many keys.
    std::vector<std::pair<std::string, std::string>> ReadSection(const std::string& section) const;

    // Writes key=value into the file on disk (atomic replace). False when the file no longer
    // exists, the value holds a line break, or the file cannot be written.
    bool Write(const std::string& section, const std::string& key, const std::string& value);

    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    std::string content_;
};
