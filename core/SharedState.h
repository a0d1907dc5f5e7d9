#pragma once
// Run-time state shared by the change handling, the snapshot worker and the window.
#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

// One piece of store work, in the order it was asked for: a change to bring into the store
// (Action 1 to 4, names relative to Source), or a request of the window such as a restore or a
// delete (Request set, names and action unused).
struct TSnapshotEvent {
    std::string OldName;
    std::string NewName;
    int32_t Action = 0;
    std::string Source;       // the watched folder when the change was taken in
    std::string Destination;  // the store folder then
    std::function<void()> Request;
};

// The snapshot queue: filled by the change handling (wait thread) and the window, emptied by the
// store thread alone. Every function below may be called from any thread.
class TSnapshotQueue {
  public:
    void Append(TSnapshotEvent event);
    // Removes and returns the oldest event; an empty event (Action 0, no Request) when empty.
    TSnapshotEvent TakeFirst();
    int32_t Count() const;
    // Drops every queued event; returns how many there were.
    int32_t Clear();
    // Waits until an event is queued, or returns at once while waiting is stopped; true when an
    // event is queued.
    bool WaitForWork(std::chrono::milliseconds timeout);
    // Wakes WaitForWork and keeps it from waiting until AllowWaiting (stopping the store thread).
    void StopWaiting();
    void AllowWaiting();

  private:
    struct TLocked;
    TLocked& State() const { return *state_; }
    // Never destroyed: a thread still running at exit must not meet a destroyed mutex.
    TLocked* state_ = NewLockedState();
    static TLocked* NewLockedState();
};
extern TSnapshotQueue SnapshotQueue;

// Empties the queue.
void ResetSnapshotQueue();
// Queues a change with the watched and store folders of RunSettings (read on the caller's
// thread: the wait thread, while RunSettings cannot change).
void QueueAppend(const std::string& oldName, const std::string& newName, int32_t action);
// Queues a request of the window after everything asked for before it.
void QueueRequest(std::function<void()> request);
// Removes and returns the oldest event (an empty one when there is none).
TSnapshotEvent QueueTakeFirst();
int32_t QueueCount();

// The rename pairing and the skip of a repeated modification; owned by the change handling,
// which runs on the wait thread.
struct THeldEvent {
    int32_t SkipNextModified = 0;
    std::string OldName;
    std::string NewName;
    int32_t Action = 0;
};
extern THeldEvent HeldEvent;

struct TLastEvent {
    std::string OldName;
    std::string NewName;
    int32_t Action = 9;
};
extern TLastEvent LastEvent;

// Console texts of actions 1 to 4 (index 0 unused), loaded with the window texts before watching
// starts and only read afterwards.
extern std::array<std::string, 5> ActionNames;

// What the core asks of the window. Each is empty until the window supplies it; calls through
// the helpers below do nothing then. The wait thread and the store thread call them, so the
// window's side only queues the work onto its own thread.
struct TWindowHooks {
    std::function<void(bool busy)> TrayIconGetIcon;         // busy or the watching state
    std::function<void(const std::string&)> ConsoleAppend;  // one line at the console's end
    // The watched folder could not be opened: tell the user (beep and message box); the caller
    // then ends the program. Called on the window's thread.
    std::function<void(const std::string& errorText)> ShowWatchFailure;
    // The watch state changed (started, stopped, a folder could not be watched): the window
    // shows it again. Safe to call from any thread.
    std::function<void()> WatchStatusChanged;
};
extern TWindowHooks WindowHooks;

void RefreshTrayIcon(bool busy);
void AppendConsoleLine(const std::string& line);
void NotifyWatchStatusChanged();
