#pragma once
// Private-profile INI files: reading and writing single keys with the classic rules
// (case-insensitive names, first occurrence wins, trimmed values, one pair of quotes removed,
// values cut to 2047 characters, in-place replacement, CR LF line ends, never creating a file).
// CR, LF and CR LF all end a line; a NUL byte ends a name or a value; a section name runs to the
// last ']' of its line; Ctrl-Z counts as a blank at the end of a value.
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A key and the value to write for it.
using TIniValue = std::pair<std::string, std::string>;

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

    // Text already in memory, read by the same rules; it has no file to write to.
    static IniFile FromText(std::string content);

    // The names of the keys of every section of that name (a section may stand twice), in file
    // order.
    std::vector<std::string> KeyNamesInEvery(const std::string& section) const;

    // Writes key=value into the file on disk (atomic replace). False when the file no longer
    // exists, the value holds a line break or a NUL, or the file cannot be written.
    bool Write(const std::string& section, const std::string& key, const std::string& value);
    // Writes several keys of one section as one replacement of the file: all of them or, when
    // any value is refused or the file cannot be written, none.
    bool Write(const std::string& section, const std::vector<TIniValue>& values);

    // The content with the keys written into it; nullopt when any of them is refused (a line
    // break or NUL anywhere, an empty key or one holding '=', a section name holding ']').
    std::optional<std::string> TextWith(const std::string& section,
                                        const std::vector<TIniValue>& values) const;

    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    std::string content_;
};
