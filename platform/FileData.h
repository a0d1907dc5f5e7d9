#pragma once
// Moving file data the fastest way the file system allows, and what a copy needs to know of its
// source: whether a writer still holds it open, and whether it changed while it was copied.
#include <cstdint>
#include <functional>
#include <string>

enum class TDataCopyEnd { Complete, Failed, Abandoned };

// Copies everything from in (read from its start) to out (empty, opened for writing): a clone that
// shares the blocks where the file system can (Btrfs, XFS with reflink), else copies made by the
// kernel (copy_file_range), else a read/write loop with a large buffer. abandoned is asked between
// pieces; when it says true the copy ends with Abandoned.
TDataCopyEnd CopyFileData(int in, int out, const std::function<bool()>& abandoned);

// What tells one version of a file from the next: its size and its modification time.
struct TFileStamp {
    std::int64_t Size = -1;
    std::int64_t ModifiedSeconds = 0;
    std::int64_t ModifiedNanoseconds = 0;
    bool operator==(const TFileStamp&) const = default;
};
// The stamp of the open file fd; a stamp of Size -1 when it cannot be read.
TFileStamp StampOf(int fd);
// The stamp of the file at path (links followed); Size -1 when there is none.
TFileStamp StampOfPath(const std::string& path);

// True when some program holds the file open for writing now. Where this cannot be told (a file
// system without leases, a file of another user), false: the copy's own check for a change while
// copying still keeps a torn copy out.
bool IsOpenForWriting(const std::string& path);

// Writes everything written so far on the file system that holds folder to its disk; false when
// that failed.
bool SyncFileSystemOf(const std::string& folder);

// Closes fd and renames path to target without flushing anything first (the caller makes the
// data durable for a whole batch at once); false when the close or the rename failed.
bool CloseAndRename(int fd, const std::string& path, const std::string& target);
