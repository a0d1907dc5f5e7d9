#pragma once
// The program's folders, fixed once at start. Two layouts: portable (the program's folder holds
// a writable Settings/, and settings, logs and language files stay beside the executable) and
// installed (settings under $XDG_CONFIG_HOME/ostrevan, logs under $XDG_STATE_HOME/ostrevan/Logs,
// language files in the install's share/ostrevan).
#include <string>

extern std::string ProgramDir;   // folder of the executable, no trailing '/'
extern std::string LanguageDir;  // language files, no trailing '/'
extern std::string LogsDir;      // day logs, no trailing '/'
extern std::string SettingsDir;  // folder of Settings.ini, with the trailing '/'

// The user's base folders, as the environment gives them.
struct TUserFolders {
    std::string Home;
    std::string ConfigHome;  // $XDG_CONFIG_HOME, else Home/.config
    std::string DataHome;    // $XDG_DATA_HOME, else Home/.local/share
    std::string StateHome;   // $XDG_STATE_HOME, else Home/.local/state
};

// The folders of one layout.
struct TProgramFolders {
    bool Installed = false;
    std::string Program;
    std::string Language;
    std::string Logs;
    std::string Settings;          // with the trailing '/'
    std::string SettingsTemplate;  // the shipped Settings.ini copied at first start (installed)
    std::string Store;             // the store folder a first-start Settings.ini names (installed)
};

// The user's folders from the environment; an XDG variable that is unset, empty or not an
// absolute path gives its default under the home folder.
TUserFolders CurrentUserFolders();

// Portable folders of programDir: Settings/, Logs/ and Language/ beside the executable.
TProgramFolders PortableFolders(const std::string& programDir);
// Installed folders: settings and logs under the user's folders, language files and the shipped
// Settings.ini in programDir/../share/ostrevan (or beside the program when only it has them).
TProgramFolders InstalledFolders(const std::string& programDir, const TUserFolders& user);
// Portable when programDir holds a writable Settings folder, else installed.
TProgramFolders ChooseProgramFolders(const std::string& programDir, const TUserFolders& user);

// Sets the four folders, empties the snapshot queue and marks the watcher as not watching.
// Without an argument the layout follows the executable's folder; with programDir (tests) that
// folder is used in the portable layout. Creates no folder.
bool InitPaths(const std::string& programDir = {});
// The same with folders already chosen.
bool InitPaths(const TProgramFolders& folders);

// True when the installed layout is in use (set by InitPaths).
bool InstalledLayout();

// SettingsDir + "Settings.ini".
std::string SettingsFilePath();

// The full path of the running executable.
std::string ExecutablePath();

// In the installed layout, when Settings.ini is missing: creates it from the shipped one, with
// the user's documents folder watched (`xdg-user-dir DOCUMENTS`, else Home/Documents) and the
// store in DataHome/ostrevan/store, both created when missing. Never overwrites an existing
// file; does nothing in the portable layout. False when the file could not be made.
bool CreateSettingsAtFirstStart();
// The same with the documents folder given (tests).
bool CreateSettingsAtFirstStart(const std::string& documents);
