#pragma once
// Writing a file so that it appears whole or not at all: the content goes into a temporary file
// in the target's folder, which is flushed to disk and then renamed over the target.
#include <cstddef>
#include <string>

// Creates an empty temporary file in folder with a fresh name, readable by its owner only until
// it is given other permissions. Returns its open write descriptor and sets *tempPath, or
// returns -1 with errno set.
int CreateTempFileIn(const std::string& folder, std::string* tempPath);

// Opens where the new content of target is written: a temporary file in folder, or, when no file
// can be made there (a read-only folder that holds a writable file, such as a shared settings
// file) and target is an existing regular file that may be written, target itself. *tempPath is
// then empty and the content is written in place, as an editor would. -1 with errno set when
// neither can be opened. CommitTempFile and DiscardTempFile finish either kind.
int OpenReplacement(const std::string& folder, const std::string& target, std::string* tempPath);
// Gives the file existing a second name: a fresh temporary name in folder, set in *tempPath.
// False when the file system refuses the link.
bool LinkAsTempFileIn(const std::string& existing, const std::string& folder,
                      std::string* tempPath);

// True when the last component of name is one of the temporary files made here, so that the
// watcher can tell the program's own writes (a restore into the watched folder) from the user's.
bool IsOwnTemporaryName(const std::string& name);

// Writes all size bytes, continuing after partial writes; false on any write error.
bool WriteAll(int fd, const char* data, size_t size);

// Gives the temporary file the owner, permissions and extended attributes of an existing target;
// false (and nothing done) when target is not an existing regular file.
bool TakeOverTargetAttributes(int fd, const std::string& target);

// The attributes of a copy made through a temporary file: an existing target keeps its owner,
// permissions and extended attributes; a new one gets sourceBits (the source's permission bits),
// so a copy is never readable by more people than its source. Nothing for a copy written in
// place (empty tempPath), which keeps what the file had.
void GiveCopyItsAttributes(int fd, const std::string& tempPath, const std::string& target,
                           unsigned sourceBits);

// Flushes and closes fd, then renames tempPath over target. On failure the temporary file is
// removed, target is untouched, and *renameFailed tells whether it was the rename (true) or the
// flush and close (false) that failed. With an empty tempPath (written in place) the file is cut
// to what was written, flushed and closed.
bool CommitTempFile(int fd, const std::string& tempPath, const std::string& target,
                    bool* renameFailed);

// Closes fd and removes the temporary file (a file written in place is only closed).
void DiscardTempFile(int fd, const std::string& tempPath);

// Writes content as the file at path through a temporary file: a new file is readable by its
// owner only, an existing one keeps its owner and permissions. False when that fails.
bool WriteFileAtomically(const std::string& path, const std::string& content);
