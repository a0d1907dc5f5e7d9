#pragma once
// What the change source tells about how well the tree is watched, turned into log lines and the
// tray's warning state. Main thread, like the rest of the change handling.
#include <cstdint>
#include <string>

// A folder could not be watched: one failure line naming it and the limit to raise; the tray
// shows the warning state until every such folder is watched again.
void NoteFolderUnwatched(const std::string& folder);
// A folder told as unwatched is watched again (or gone).
void NoteFolderWatchedAgain(const std::string& folder);
// The kernel's queue overflowed and a rescan found count files changed: one log line.
void NoteOverflowRescan(int64_t count);
// Watching began and count files were found changed since it was last complete: one log line
// (none when nothing changed).
void NoteCaughtUp(int64_t count);
// Forgets every unwatched folder, at each start and stop of a change source.
void ForgetUnwatchedFolders();
// True while some folder of the tree is unwatched; any thread may ask.
bool SomeFoldersUnwatched();
