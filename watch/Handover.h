#pragma once
// The hand-over between the wait thread and the main thread: a one-slot mailbox.
#include <chrono>
#include <functional>

// Wait thread: puts a job into the mailbox, wakes the main thread (WindowHooks.WakeMainThread)
// and blocks until the main thread has run it.
void HandOver(const std::function<void()>& job);
// Main thread: runs the job in the mailbox, if any; true when one ran.
bool RunPendingHandOver();
// Main thread: waits up to timeout for a job and runs it; true when one ran (for loops without
// an event loop, such as tests and StopWatching).
bool WaitAndRunHandOver(std::chrono::milliseconds timeout);
