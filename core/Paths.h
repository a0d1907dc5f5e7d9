#pragma once
// The folders beside the program, fixed once at start.
#include <string>

extern std::string ProgramDir;   // folder of the executable, no trailing '/'
extern std::string LanguageDir;  // ProgramDir + "/Language"
extern std::string LogsDir;      // ProgramDir + "/Logs"
extern std::string SettingsDir;  // ProgramDir + "/Settings/" (with the trailing '/')

// Sets the four folders from the executable's location (or from programDir when given, for tests),
// empties the snapshot queue and marks the watcher as not watching. Creates no folder.
bool InitPaths(const std::string& programDir = {});

// SettingsDir + "Settings.ini".
std::string SettingsFilePath();
