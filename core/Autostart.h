#pragma once
// Starting the program when the user logs in: an entry in $XDG_CONFIG_HOME/autostart that runs
// this executable with kAutostartArgument, so that it starts with its window in the tray.
#include <string>

inline constexpr const char* kAutostartArgument = "--autostart";

// $XDG_CONFIG_HOME/autostart/ostrevan.desktop (the default config folder when unset).
std::string AutostartEntryPath();

// True when the entry exists and the desktop would run it (not Hidden=true, not disabled).
bool AutostartEnabled();

// Writes the entry naming executable (or removes it); false when that fails.
bool SetAutostart(bool enabled, const std::string& executable);

// The entry's text for executable; empty when the path cannot be written in an Exec line.
std::string AutostartEntryText(const std::string& executable);
