#pragma once
// What the watcher is doing, in a form the window can show: watching which folder into which
// store, or why not.
#include <string>

enum class TWatchCondition {
    Watching,         // watching WatchedFolder into StoreFolder (FailedFolder, when set, is not)
    NoSettingsFile,   // Settings.ini is missing (SettingsFile names it)
    NoWatchedFolder,  // the settings name no watched folder
    FolderMissing,    // the watched folder does not exist (or is not a folder), or went away
    CannotWatch,      // a folder could not be watched (FailedFolder, ErrorText)
    Stopped,          // settings and folder are fine, but watching is not running
};

struct TWatchStatus {
    TWatchCondition Condition = TWatchCondition::NoWatchedFolder;
    std::string WatchedFolder;  // RunSettings.SOURCE
    std::string StoreFolder;    // RunSettings.DESTINATION
    std::string SettingsFile;   // the settings file's path
    std::string FailedFolder;   // the folder that could not be watched, when one could not
    std::string ErrorText;      // the system's reason for it
};

// The watch state now. Reads RunSettings: call it on the window's thread.
TWatchStatus CurrentWatchStatus();

// Records that folder could not be watched, for the reason errorText; it is shown until watching
// starts again. Safe from any thread.
void NoteUnwatchableFolder(const std::string& folder, const std::string& errorText);
// Forgets a folder noted as unwatchable (watching starts afresh). Safe from any thread.
void ClearUnwatchableFolder();
