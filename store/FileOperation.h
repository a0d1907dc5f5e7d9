#pragma once
// Copy, rename and permanent delete; the snapshot worker that drains the queue.
#include <string>

enum TransferMode { kTransferCopy = 0, kTransferRename = 2, kTransferDelete = 4 };

// Mode 0 copies source to target (through a temporary file, replacing target only when complete),
// mode 2 renames, mode 4 deletes source with its contents. False only when a copy failed.
bool TransferFile(const std::string& source, const std::string& target, int mode, bool silent);
// Copies source into folder as its next snapshot, recorded with actionCode: the copy is made under
// a temporary name and is numbered and entered in the index only once complete, so an index entry
// always names a complete copy; a failure is logged and leaves the index as it was. False when the
// copy failed. Store thread.
bool CopyAsNewSnapshot(const std::string& source, const std::string& folder, int actionCode);
// Rename (kind 2) and permanent delete (kind 4); true on success.
bool ShellFileOperation(const std::string& source, const std::string& target, int kind,
                        bool silent);
// Drains SnapshotQueue in arrival order; false when it was empty on entry.
bool TakeSnapshots();
