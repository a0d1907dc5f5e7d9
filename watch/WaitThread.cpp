// The wait loop of the watcher's background thread.
#include "watch/WaitThread.h"

#include <vector>

#include "core/SharedState.h"
#include "watch/ChangeHandling.h"
#include "watch/Handover.h"
#include "watch/Watcher.h"

TWaitThread::TWaitThread(ChangeSource& source) : Source(source), Thread([this] { Execute(); }) {}

TWaitThread::~TWaitThread() {
    if (Thread.joinable()) {
        Thread.join();
    }
}

void TWaitThread::Execute() {
    std::vector<ChangeRecord> batch;
    const std::function<void()> dispatch = [&batch] { DispatchNotifications(batch); };
    while (!Terminated.load()) {
        batch.clear();
        const ChangeSource::Wake wake = Source.WaitForBatch(&batch);
        ResetLastEvent();
        if (wake == ChangeSource::Wake::Stop) {
            Terminated = true;
            break;
        }
        if (wake != ChangeSource::Wake::Batch) {
            HandOverFolderState(wake);
            continue;
        }
        HandOver(dispatch);
    }
    Done = true;
    InterruptHandOverWait();
}

// The watched folder went away or came back: the main thread tells it in the log and the tray.
void HandOverFolderState(ChangeSource::Wake wake) {
    static const std::function<void()> gone = NoteWatchedFolderGone;
    static const std::function<void()> back = NoteWatchedFolderBack;
    HandOver(wake == ChangeSource::Wake::FolderGone ? gone : back);
}

void ResetLastEvent() {
    LastEvent.OldName.clear();
    LastEvent.NewName.clear();
    LastEvent.Action = 9;
}
