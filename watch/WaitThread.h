#pragma once
// The wait thread: waits for batches of change records and handles each as it arrives. It owns
// the change handling's state (HeldEvent, LastEvent) while it runs.
#include <atomic>
#include <chrono>
#include <ctime>
#include <functional>
#include <optional>
#include <thread>

#include "platform/ChangeSource.h"

class TWaitThread {
  public:
    // Starts waiting on source at once; source must outlive the thread.
    explicit TWaitThread(ChangeSource& source);
    TWaitThread(const TWaitThread&) = delete;
    TWaitThread& operator=(const TWaitThread&) = delete;
    // Joins the thread; call after a stop signal (or Abandon), or once the source gave up.
    ~TWaitThread();

    // Waits for the thread's end (after a stop signal or Abandon).
    void Join();
    // Stops at once, also in the middle of a batch: what was not handled yet is dropped (closing).
    void Abandon();
    // True once the wait loop has ended (after a stop signal or when the source gave up).
    bool Finished() const { return Done.load(); }
    // The moment up to which watching was complete when last noted; read after the thread ended.
    std::optional<timespec> CompleteUntil() const {
        return noted_ ? std::optional<timespec>(completeUntil_) : std::nullopt;
    }

  private:
    static constexpr std::chrono::seconds kProgressPeriod{60};
    void Execute();
    void NoteProgress(bool stopping);

    ChangeSource& Source;
    std::atomic<bool> Abandoned{false};
    std::atomic<bool> Done{false};
    bool noted_ = false;  // the rest belong to the thread until it has ended
    std::chrono::steady_clock::time_point lastNoted_;
    timespec completeUntil_{};
    std::thread Thread;
};

// Wait thread: hands the news that the watched folder went away or came back to the main thread.
void HandOverFolderState(ChangeSource::Wake wake);

// Wait thread: tells the news that the watched folder went away or came back.
void TellFolderState(ChangeSource::Wake wake);

// Empty names and action 9, which no event has: repeats are never looked for across batches.
void ResetLastEvent();

// Called after a watched folder could not be opened and the user was told; ends the program
// (exit code 0). Replaceable so that the failure path can be exercised in-process.
extern std::function<void()> EndProgramAfterWatchFailure;
