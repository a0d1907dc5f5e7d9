#pragma once
// The wait thread: waits for batches of change records and handles each as it arrives. It owns
// the change handling's state (HeldEvent, LastEvent) while it runs.
#include <atomic>
#include <functional>
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

    // Stops at once, also in the middle of a batch: what was not handled yet is dropped (closing).
    void Abandon();
    // True once the wait loop has ended (after a stop signal or when the source gave up).
    bool Finished() const { return Done.load(); }

  private:
    void Execute();

    ChangeSource& Source;
    std::atomic<bool> Abandoned{false};
    std::atomic<bool> Done{false};
    std::thread Thread;
};

// Empty names and action 9, which no event has: repeats are never looked for across batches.
void ResetLastEvent();

// Called after a watched folder could not be opened and the user was told; ends the program
// (exit code 0). Replaceable so that the failure path can be exercised in-process.
extern std::function<void()> EndProgramAfterWatchFailure;
