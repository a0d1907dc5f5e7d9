// The wait loop of the watcher's background thread.
#include "watch/WaitThread.h"

#include <vector>

#include "core/SharedState.h"
#include "watch/ChangeHandling.h"

TWaitThread::TWaitThread(ChangeSource& source) : Source(source), Thread([this] { Execute(); }) {}

TWaitThread::~TWaitThread() {
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
    while (!Abandoned.load()) {
        batch.clear();
        const ChangeSource::Wake wake = Source.WaitForBatch(&batch);
        ResetLastEvent();
        if (wake == ChangeSource::Wake::Stop || Abandoned.load()) {
            break;
        }
        DispatchNotifications(batch, &Abandoned);
    }
    Done = true;
}

void ResetLastEvent() {
    LastEvent.OldName.clear();
    LastEvent.NewName.clear();
    LastEvent.Action = 9;
}
