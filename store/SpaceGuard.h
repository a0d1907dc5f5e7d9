#pragma once
// The low-space guard: a snapshot is not started when the store's disk would be left with less
// than a margin of free space (1 % of the disk or 500 MB, whichever is smaller), so snapshots
// never fill the user's disk to the last byte. Store thread.
#include <cstdint>
#include <string>

// The free space a copy must leave on a disk of totalBytes.
std::int64_t SpaceMargin(std::int64_t totalBytes);

// True when a copy of bytes fits into folder's disk with the margin to spare (or the free space
// cannot be told). A refusal raises the tray's warning state; it is lowered again once the disk
// has room for the largest copy refused.
bool RoomForCopy(const std::string& folder, std::int64_t bytes);

// Lowers the warning state when the disk of folder now has room for every copy refused.
void RecheckRoomAfterRefusals(const std::string& folder);
