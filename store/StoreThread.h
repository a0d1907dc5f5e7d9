#pragma once
// The store thread: the one thread that writes into the store. It takes SnapshotQueue's work in
// the order it was asked for (snapshots of changes, restores and deletes of the window) and runs
// it through TakeSnapshots, so the window's thread never waits on the disk.
#include <chrono>
#include <cstdint>

// Starts the store thread; does nothing when it runs already. Called on the window's thread.
void StartStoreThread();

// Ends the store thread for good (closing the program): work still queued is dropped, a copy
// under way is abandoned without leaving its temporary file, and the thread is joined. Returns the
// number of queued pieces of work that were dropped. Called on the window's thread.
int32_t StopStoreThread();

// True once StopStoreThread has asked the store thread to end; a long copy checks it between
// pieces. Store thread.
bool StoreWorkAbandoned();

// Waits until the queue is empty and nothing runs on the store thread; false after the timeout.
// For tests and benchmarks.
bool WaitForStoreIdle(std::chrono::milliseconds timeout);
