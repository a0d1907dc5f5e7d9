#include "core/SharedState.h"

std::vector<TSnapshotEvent> SnapshotQueue(1);
bool QueueBusy = false;
THeldEvent HeldEvent;
TLastEvent LastEvent;
std::array<std::string, 5> ActionNames;
TWindowHooks WindowHooks;

namespace {

// Marks the queue busy for the span of one change to it. Every user of the queue runs on the
// main thread, so the flag is never found set; it documents and checks that rule.
class QueueGuard {
  public:
    QueueGuard() { QueueBusy = true; }
    ~QueueGuard() { QueueBusy = false; }
    QueueGuard(const QueueGuard&) = delete;
    QueueGuard& operator=(const QueueGuard&) = delete;
};

void EnsureHeader() {
    if (SnapshotQueue.empty()) {
        SnapshotQueue.resize(1);
    }
}

}  // namespace

void ResetSnapshotQueue() {
    SnapshotQueue.assign(1, TSnapshotEvent{});
    QueueBusy = false;
}

void QueueAppend(const std::string& oldName, const std::string& newName, int32_t action,
                 bool fromRescan) {
    QueueGuard guard;
    EnsureHeader();
    const int32_t count = SnapshotQueue[0].Count;
    SnapshotQueue[0].Count = count + 1;
    SnapshotQueue.resize(static_cast<std::size_t>(count) + 1);
    TSnapshotEvent& slot = SnapshotQueue[static_cast<std::size_t>(count)];
    slot.OldName = oldName;
    slot.NewName = newName;
    slot.Action = action;
    slot.FromRescan = fromRescan;
}

TSnapshotEvent QueueTakeFirst() {
    QueueGuard guard;
    EnsureHeader();
    const int32_t count = SnapshotQueue[0].Count;
    if (count <= 0) {
        return {};
    }
    TSnapshotEvent first{0, SnapshotQueue[0].OldName, SnapshotQueue[0].NewName,
                         SnapshotQueue[0].Action, SnapshotQueue[0].FromRescan};
    if (count == 1) {
        // The empty queue keeps its one element; its names and action are left over.
        SnapshotQueue[0].Count = 0;
        return first;
    }
    for (int32_t i = 1; i < count; ++i) {
        TSnapshotEvent& to = SnapshotQueue[static_cast<std::size_t>(i - 1)];
        TSnapshotEvent& from = SnapshotQueue[static_cast<std::size_t>(i)];
        to.OldName = std::move(from.OldName);
        to.NewName = std::move(from.NewName);
        to.Action = from.Action;
        to.FromRescan = from.FromRescan;
    }
    SnapshotQueue.resize(static_cast<std::size_t>(count) - 1);
    SnapshotQueue[0].Count = count - 1;
    return first;
}

int32_t QueueCount() {
    return SnapshotQueue.empty() ? 0 : SnapshotQueue[0].Count;
}

void RefreshTrayIcon(bool busy) {
    if (WindowHooks.TrayIconGetIcon) {
        WindowHooks.TrayIconGetIcon(busy);
    }
}

void AppendConsoleLine(const std::string& line) {
    if (WindowHooks.ConsoleAppend) {
        WindowHooks.ConsoleAppend(line);
    }
}
