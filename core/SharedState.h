#pragma once
// Run-time state shared by the change handling, the snapshot worker and the window.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One queued change. Count is meaningful only in element 0 (the number of queued events).
struct TSnapshotEvent {
    int32_t Count = 0;
    std::string OldName;
    std::string NewName;
    int32_t Action = 0;
    // Found by a rescan rather than reported: a file whose newest snapshot holds its content
    // already needs no new one.
    bool FromRescan = false;
};

// The snapshot queue: always at least one element; element 0 is both header and oldest event.
extern std::vector<TSnapshotEvent> SnapshotQueue;
extern bool QueueBusy;

// Empties the queue: one element, Count 0.
void ResetSnapshotQueue();
// Appends an event at the end (used only by HandleChange).
void QueueAppend(const std::string& oldName, const std::string& newName, int32_t action,
                 bool fromRescan = false);
// Removes and returns the oldest event; the queue must not be empty.
TSnapshotEvent QueueTakeFirst();
int32_t QueueCount();

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

// Console texts of actions 1 to 4 (index 0 unused), loaded with the window texts.
extern std::array<std::string, 5> ActionNames;

// What the core asks of the window. Each is empty until the window supplies it; calls through
// the helpers below do nothing then.
struct TWindowHooks {
    std::function<void(bool busy)> TrayIconGetIcon;         // busy or the watching state
    std::function<void(const std::string&)> ConsoleAppend;  // one line at the console's end
    std::function<void()> WakeMainThread;  // ask the main thread to run the pending hand-over
    // The watched folder could not be opened: tell the user (beep and message box); the caller
    // then ends the program.
    std::function<void(const std::string& errorText)> ShowWatchFailure;
};
extern TWindowHooks WindowHooks;

void RefreshTrayIcon(bool busy);
void AppendConsoleLine(const std::string& line);
