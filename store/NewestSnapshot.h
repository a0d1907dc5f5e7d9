#pragma once
// Whether a file's content is already kept as its newest snapshot: the size is compared first
// and the bytes only when the sizes agree. Store thread.
#include <string>

// The newest copy of a per-file folder (SnapShot.<n> of the highest n); "" when there is none.
std::string NewestSnapshotCopy(const std::string& folder);

// True when the open file fd holds exactly the bytes of the file at copyPath. fd is read from
// its start; its position afterwards is unspecified.
bool HoldsSameBytes(int fd, const std::string& copyPath);
