#pragma once
// Starting, stopping and restarting the watcher and its wait thread. Window's thread only.

// Starts watching RunSettings.SOURCE; false when it is not an existing folder. A folder that
// cannot be opened is reported through WindowHooks.ShowWatchFailure and ends the program.
bool StartWatching();
// Stops the wait thread (handling the records it has read) and logs code 3; does nothing when not
// watching. Returns once the thread has ended: it never waits for the store's copies.
bool StopWatching();
// Stops, rereads Settings.ini into RunSettings and starts again.
bool ReloadSettings();
// True while watching (the program-wide test the tray icon uses).
bool IsWatching();
// Ends the wait thread without log lines, for closing the window: records not handled yet are
// dropped.
void EndWatchingQuietly();
