#pragma once
// A save that did not change a file's bytes costs no space in the store: its new snapshot is a
// second name (a hard link) of the copy that already holds those bytes. Sharing is safe because
// nothing ever writes into a snapshot once it is made: restores read it, deletes and keeping
// rules remove one name, renames move names. Store thread.
#include <string>

// When the open source in holds the bytes of newestCopy and kept its stamp while compared,
// newestCopy gets a second name, a fresh temporary file in folder set in *tempPath, which the
// batch then names as the new snapshot like any copy. The shared file's modification time
// becomes now: the age of data kept by several snapshots is that of its newest save. False when
// the bytes differ, the source changed, or the file system refuses the link: the caller copies.
bool LinkIdenticalCopy(int in, const std::string& newestCopy, const std::string& folder,
                       std::string* tempPath);
