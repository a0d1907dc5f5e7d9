#pragma once
// The user's folders as the system tells them: the environment, the password database and the
// desktop's named folders.
#include <string>

// The value of an environment variable; empty when it is unset.
std::string EnvironmentValue(const char* name);

// The user's home folder: $HOME, or the password database's entry when HOME is unset or empty.
std::string HomeFolder();

// The desktop's named folder (DOCUMENTS, DESKTOP, ...) as `xdg-user-dir NAME` prints it; empty
// when the tool is missing or fails. Runs a child process: call it once, at start-up.
std::string DesktopUserFolder(const std::string& name);

// True when path is a folder that this process may create files in (a read-only file system
// counts as not writable, even for root).
bool IsWritableFolder(const std::string& path);
