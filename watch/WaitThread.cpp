// The wait loop of the watcher's background thread.
#include "watch/WaitThread.h"

#include <vector>

#include "core/RunSettings.h"
#include "core/SharedState.h"
#include "store/WatchState.h"
#include "watch/ChangeHandling.h"
#include "watch/Watcher.h"

TWaitThread::TWaitThread(ChangeSource& source) : Source(source), Thread([this] { Execute(); }) {}

TWaitThread::~TWaitThread() {
    if (Thread.joinable()) {
        Thread.join();
    }
}

void TWaitThread::Join() {
    if (Thread.joinable()) {
        Thread.join();
    }
}

void TWaitThread::Abandon() {
    Abandoned = true;
    Source.SignalStop();
}

// Each batch is handled here as it arrives: console lines, exceptions and the queue. The copies
// are the store thread's, so reading the next batch never waits for them.
void TWaitThread::Execute() {
    std::vector<ChangeRecord> batch;
    NoteProgress(false);  // a new store gets its note at once
    while (!Abandoned.load()) {
        batch.clear();
        const ChangeSource::Wake wake = Source.WaitForBatch(&batch);
        ResetLastEvent();
        if (wake == ChangeSource::Wake::Stop || Abandoned.load()) {
            break;
        }
        if (wake != ChangeSource::Wake::Batch) {
            TellFolderState(wake);
            continue;
        }
        DispatchNotifications(batch, &Abandoned);
        NoteProgress(false);
    }
    if (!Abandoned.load()) {
        NoteProgress(true);  // a clean stop: watching was complete up to the last read
    }
    Done = true;
}

// Tells the store, once a minute and at a clean stop, up to when every change was handed on. The
// note is a request queued after those changes: the store thread writes it only once they are in
// the store, so it never claims what a crash could still lose.
void TWaitThread::NoteProgress(bool stopping) {
    const auto now = std::chrono::steady_clock::now();
    if (!stopping && noted_ && now - lastNoted_ < kProgressPeriod) {
        return;
    }
    const std::optional<timespec> until = Source.CompleteUntil();
    if (!until) {
        return;
    }
    noted_ = true;
    lastNoted_ = now;
    completeUntil_ = *until;
    QueueRequest([store = RunSettings.DESTINATION, moment = *until] {
        WriteWatchCompleteUntil(store, moment);
    });
}

// The watched folder went away or came back: the log and the tray tell it.
void TellFolderState(ChangeSource::Wake wake) {
    if (wake == ChangeSource::Wake::FolderGone) {
        NoteWatchedFolderGone();
    } else if (wake == ChangeSource::Wake::FolderBack) {
        NoteWatchedFolderBack();
    }
}

void ResetLastEvent() {
    LastEvent.OldName.clear();
    LastEvent.NewName.clear();
    LastEvent.Action = 9;
}
