#include "store/StoreThread.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "core/SharedState.h"
#include "store/FileOperation.h"

namespace {

constexpr auto kIdlePoll = std::chrono::milliseconds(2);
constexpr auto kWaitSlice = std::chrono::milliseconds(500);

struct TStoreThread {
    std::mutex Lock;  // guards Thread (start and stop come from the window's thread only)
    std::unique_ptr<std::thread> Thread;
    std::atomic<bool> StopRequested{false};
    std::atomic<bool> Working{false};
};

// Never destroyed: the process may end while the thread still runs (when it was never stopped).
TStoreThread& Store() {
    static TStoreThread* store = new TStoreThread;
    return *store;
}

void RunStoreThread() {
    TStoreThread& store = Store();
    while (!store.StopRequested.load()) {
        // Working is raised before the queue is looked at, so that an idle check never sees an
        // empty queue while an event is in hand.
        store.Working = true;
        TakeSnapshots();
        store.Working = false;
        if (!store.StopRequested.load()) {
            SnapshotQueue.WaitForWork(kWaitSlice);
        }
    }
}

}  // namespace

void StartStoreThread() {
    TStoreThread& store = Store();
    std::lock_guard<std::mutex> guard(store.Lock);
    if (store.Thread) {
        return;
    }
    store.StopRequested = false;
    store.Thread = std::make_unique<std::thread>(RunStoreThread);
}

int32_t StopStoreThread() {
    TStoreThread& store = Store();
    std::lock_guard<std::mutex> guard(store.Lock);
    store.StopRequested = true;
    const int32_t dropped = SnapshotQueue.Clear();
    SnapshotQueue.StopWaiting();
    if (store.Thread) {
        store.Thread->join();
        store.Thread.reset();
    }
    SnapshotQueue.AllowWaiting();
    store.StopRequested = false;
    return dropped;
}

bool StoreWorkAbandoned() {
    return Store().StopRequested.load();
}

bool WaitForStoreIdle(std::chrono::milliseconds timeout) {
    const TStoreThread& store = Store();
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (QueueCount() > 0 || store.Working.load()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(kIdlePoll);
    }
    return true;
}
