#pragma once
// Writing a file so that it appears whole or not at all: the content goes into a temporary file
// in the target's folder, which is flushed to disk and then renamed over the target.
#include <cstddef>
#include <string>

// Creates an empty temporary file in folder with a fresh name (permissions 0666 less the umask).
// Returns its open write descriptor and sets *tempPath, or returns -1 with errno set.
int CreateTempFileIn(const std::string& folder, std::string* tempPath);

// Gives the file existing a second name: a fresh temporary name in folder, set in *tempPath.
// False when the file system refuses the link.
bool LinkAsTempFileIn(const std::string& existing, const std::string& folder,
                      std::string* tempPath);

// True when the last component of name is one of the temporary files made here, so that the
// watcher can tell the program's own writes (a restore into the watched folder) from the user's.
bool IsOwnTemporaryName(const std::string& name);

// Writes all size bytes, continuing after partial writes; false on any write error.
bool WriteAll(int fd, const char* data, size_t size);

// Gives the temporary file the permissions and owner of an existing target, if there is one.
void TakeOverTargetAttributes(int fd, const std::string& target);

// Flushes and closes fd, then renames tempPath over target. On failure the temporary file is
// removed, target is untouched, and *renameFailed tells whether it was the rename (true) or the
// flush and close (false) that failed.
bool CommitTempFile(int fd, const std::string& tempPath, const std::string& target,
                    bool* renameFailed);

// Closes fd and removes the temporary file.
void DiscardTempFile(int fd, const std::string& tempPath);

// Writes content as a new file at path through a temporary file; false when that fails.
bool WriteFileAtomically(const std::string& path, const std::string& content);
