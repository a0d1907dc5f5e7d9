#include "core/SharedState.h"

#include <condition_variable>
#include <mutex>
#include <utility>

#include "core/RunSettings.h"

TSnapshotQueue SnapshotQueue;
THeldEvent HeldEvent;
TLastEvent LastEvent;
std::array<std::string, 5> ActionNames;
TWindowHooks WindowHooks;

struct TSnapshotQueue::TLocked {
    std::mutex Lock;
    std::condition_variable Queued;
    std::deque<TSnapshotEvent> Events;
    bool WaitingStopped = false;
};

TSnapshotQueue::TLocked* TSnapshotQueue::NewLockedState() {
    return new TLocked;
}

void TSnapshotQueue::Append(TSnapshotEvent event) {
    TLocked& state = State();
    {
        std::lock_guard<std::mutex> guard(state.Lock);
        state.Events.push_back(std::move(event));
    }
    state.Queued.notify_all();
}

TSnapshotEvent TSnapshotQueue::TakeFirst() {
    TLocked& state = State();
    std::lock_guard<std::mutex> guard(state.Lock);
    if (state.Events.empty()) {
        return {};
    }
    TSnapshotEvent first = std::move(state.Events.front());
    state.Events.pop_front();
    return first;
}

int32_t TSnapshotQueue::Count() const {
    TLocked& state = State();
    std::lock_guard<std::mutex> guard(state.Lock);
    return static_cast<int32_t>(state.Events.size());
}

int32_t TSnapshotQueue::Clear() {
    TLocked& state = State();
    std::lock_guard<std::mutex> guard(state.Lock);
    const auto count = static_cast<int32_t>(state.Events.size());
    state.Events.clear();
    return count;
}

bool TSnapshotQueue::WaitForWork(std::chrono::milliseconds timeout) {
    TLocked& state = State();
    std::unique_lock<std::mutex> lock(state.Lock);
    state.Queued.wait_for(lock, timeout,
                          [&] { return !state.Events.empty() || state.WaitingStopped; });
    return !state.Events.empty();
}

void TSnapshotQueue::StopWaiting() {
    TLocked& state = State();
    {
        std::lock_guard<std::mutex> guard(state.Lock);
        state.WaitingStopped = true;
    }
    state.Queued.notify_all();
}

void TSnapshotQueue::AllowWaiting() {
    TLocked& state = State();
    std::lock_guard<std::mutex> guard(state.Lock);
    state.WaitingStopped = false;
}

void ResetSnapshotQueue() {
    SnapshotQueue.Clear();
}

void QueueAppend(const std::string& oldName, const std::string& newName, int32_t action) {
    SnapshotQueue.Append(
        {oldName, newName, action, RunSettings.SOURCE, RunSettings.DESTINATION, nullptr});
}

void QueueRequest(std::function<void()> request) {
    TSnapshotEvent event;
    event.Request = std::move(request);
    SnapshotQueue.Append(std::move(event));
}

TSnapshotEvent QueueTakeFirst() {
    return SnapshotQueue.TakeFirst();
}

int32_t QueueCount() {
    return SnapshotQueue.Count();
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

void NotifyWatchStatusChanged() {
    if (WindowHooks.WatchStatusChanged) {
        WindowHooks.WatchStatusChanged();
    }
}
