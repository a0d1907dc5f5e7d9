#pragma once
// The raw file operations the store needs: reading a document while others may hold it open,
// appending a line to a log, and matching a file name against a mask.
#include <cstddef>
#include <cstdint>
#include <string>

// How an attempt to open a file for reading ended.
enum class TOpenResult {
    Opened,      // open, and a regular file
    NotRegular,  // opened, but a folder, pipe or device (closed again)
    Missing,     // the file or a folder on its path does not exist
    Failed,      // any other reason; a later attempt may succeed
};

// Opens path read-only without blocking on a pipe or waiting for a lock; sets *fd when Opened.
TOpenResult OpenRegularFileForReading(const std::string& path, int* fd);

// Tells the system that fd will be read from start to end, once.
void AdviseSequentialReading(int fd);

// Reads up to size bytes into buffer, continuing after interruptions: the number of bytes read,
// 0 at the end of the file, -1 on a read error.
std::int64_t ReadBlock(int fd, char* buffer, std::size_t size);

// Reads up to size bytes from offset on, continuing after interruptions: as ReadBlock.
std::int64_t ReadBlockAt(int fd, char* buffer, std::size_t size, std::int64_t offset);

// Starts writing the given range of fd to disk without waiting for it to finish.
void StartWriteback(int fd, std::int64_t offset, std::int64_t length);

void CloseFile(int fd);

// Appends a line (text with its line end) to the file, creating it for its owner only (0600)
// when missing. A file whose last line has no CR LF (a torn or hand-edited tail) gets one
// first, so the new line never joins the old. Anything but a regular file in its place (a pipe
// would block the open until a reader came) is left alone. Failures are silent.
void AppendLineToRegularFile(const std::string& path, const std::string& line);

// Opens a folder (flags added to O_DIRECTORY | O_CLOEXEC), also one whose path is longer than
// the system takes in one call: such a path is opened piece by piece, each piece relative to the
// folder opened before it. -1 on failure, with errno set.
int OpenFolderAnyLength(const std::string& path, int flags);

enum class TPathKind { Missing, Folder, RegularFile, Other };
// What lies at path (links followed), at a path of any length.
TPathKind KindOfPathAnyLength(const std::string& path);

// True when name matches mask with the shell's wildcards ('*', '?', '[...]').
bool NameMatchesMask(const std::string& name, const std::string& mask);
