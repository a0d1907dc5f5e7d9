#pragma once
// Language lookup and INI value access with marker texts for missing files and keys.
#include <string>

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
// Replaces every $DATE$ and $TIME$ (any letter case) by the current date and time text.
std::string SubstituteDateTime(std::string text);
