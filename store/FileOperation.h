#pragma once
// Copy, rename and permanent delete; the snapshot worker that drains the queue.
#include <string>

enum TransferMode { kTransferCopy = 0, kTransferRename = 2, kTransferDelete = 4 };

// Mode 0 copies source to target (through a temporary file, replacing target only when complete),
// mode 2 renames, mode 4 deletes source with its contents. False only when a copy failed.
bool TransferFile(const std::string& source, const std::string& target, int mode, bool silent);
// Rename (kind 2) and permanent delete (kind 4); true on success.
bool ShellFileOperation(const std::string& source, const std::string& target, int kind,
                        bool silent);
// Drains SnapshotQueue in arrival order, then applies the keeping rules in force when it took
// changes (requests alone apply none); false when the queue was empty on entry.
bool TakeSnapshots();
