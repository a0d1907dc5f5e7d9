#pragma once
// Language lookup and INI value access with marker texts for missing files and keys.
#include <string>
#include <utility>
#include <vector>

inline constexpr const char* kMarkerPrefix = "PARROR: ";
inline constexpr const char* kLanguageError = "PARROR: L1: language error";

// Folder of the language files; set once by InitPaths.
void SetLanguageFolder(const std::string& folder);

// Text of section/key in LanguageDir/<stem>.ini after SubstituteDateTime; the language file
// stays open (cached) between consecutive lookups of the same stem.
std::string LanguageText(const std::string& section, const std::string& key,
                         const std::string& stem = "GUI");
// Text of section/key in the file at path after SubstituteDateTime; reopens the file each call.
std::string ReadIniValue(const std::string& section, const std::string& key,
                         const std::string& path);
// Writes section/key=value into an existing file; false when the file is missing or the write
// is refused. Never creates a file.
bool WriteIniValue(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& path);
// Writes several keys of one section into an existing file as one replacement: every value is
// checked before any is written, so either all keys are written or none (false).
bool WriteIniValues(const std::string& section,
                    const std::vector<std::pair<std::string, std::string>>& values,
                    const std::string& path);
// ReadIniValue for a folder path: a '/' in the inserted date or time becomes '-', so $DATE$
// names one folder (as it does in log file names) instead of a nest of folders.
std::string ReadIniPathValue(const std::string& section, const std::string& key,
                             const std::string& path);
// Replaces every $DATE$ and $TIME$ (any letter case) by the current date and time text.
std::string SubstituteDateTime(std::string text);
// A date or time text as a part of a file name: each '/' becomes '-'.
std::string PathSafeText(std::string text);
