// The wait loop of the watcher's background thread.
#include "watch/WaitThread.h"

#include <vector>

#include "core/SharedState.h"
#include "watch/ChangeHandling.h"
#include "watch/Handover.h"

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
        HandOver(dispatch);
    }
    Done = true;
    InterruptHandOverWait();
}

void ResetLastEvent() {
    LastEvent.OldName.clear();
    LastEvent.NewName.clear();
    LastEvent.Action = 9;
}
