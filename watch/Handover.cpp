// The one-slot mailbox between the wait thread and the main thread.
#include "watch/Handover.h"

#include <condition_variable>
#include <mutex>

#include "core/SharedState.h"
#include "watch/WaitThread.h"

namespace {

enum class SlotState { Empty, Pending, Running };

struct TMailbox {
    std::mutex Lock;
    std::condition_variable Changed;
    SlotState State = SlotState::Empty;
    const std::function<void()>* Job = nullptr;
    unsigned long long Posted = 0;     // hand-overs put into the slot so far
    unsigned long long Completed = 0;  // hand-overs run to the end so far
    unsigned long long Interruptions = 0;
};

// Never destroyed: a wait thread left running at exit must not meet a destroyed mutex.
TMailbox& Mailbox() {
    static TMailbox* mailbox = new TMailbox;
    return *mailbox;
}

// Runs the job taken from the slot and marks the slot empty again, also when the job throws.
void RunTakenJob(TMailbox& box, const std::function<void()>& job) {
    struct SlotRelease {
        TMailbox& Box;
        ~SlotRelease() {
            {
                std::lock_guard<std::mutex> guard(Box.Lock);
                Box.State = SlotState::Empty;
                Box.Job = nullptr;
                ++Box.Completed;
            }
            Box.Changed.notify_all();
        }
    } release{box};
    job();
}

// Takes the pending job under the lock; nullptr when there is none.
const std::function<void()>* TakePendingJob(TMailbox& box) {
    if (box.State != SlotState::Pending) {
        return nullptr;
    }
    box.State = SlotState::Running;
    return box.Job;
}

}  // namespace

void HandOver(const std::function<void()>& job) {
    TMailbox& box = Mailbox();
    unsigned long long ticket = 0;
    {
        std::unique_lock<std::mutex> lock(box.Lock);
        box.Changed.wait(lock, [&] { return box.State == SlotState::Empty; });
        box.Job = &job;
        box.State = SlotState::Pending;
        ticket = ++box.Posted;
    }
    box.Changed.notify_all();
    if (WindowHooks.WakeMainThread) {
        WindowHooks.WakeMainThread();
    }
    std::unique_lock<std::mutex> lock(box.Lock);
    box.Changed.wait(lock, [&] { return box.Completed >= ticket; });
}

bool RunPendingHandOver() {
    TMailbox& box = Mailbox();
    const std::function<void()>* job = nullptr;
    {
        std::lock_guard<std::mutex> guard(box.Lock);
        job = TakePendingJob(box);
    }
    if (job == nullptr) {
        return false;
    }
    RunTakenJob(box, *job);
    return true;
}

bool WaitAndRunHandOver(std::chrono::milliseconds timeout) {
    TMailbox& box = Mailbox();
    const std::function<void()>* job = nullptr;
    {
        std::unique_lock<std::mutex> lock(box.Lock);
        const unsigned long long interruptions = box.Interruptions;
        box.Changed.wait_for(lock, timeout, [&] {
            return box.State == SlotState::Pending || box.Interruptions != interruptions;
        });
        job = TakePendingJob(box);
    }
    if (job == nullptr) {
        return false;
    }
    RunTakenJob(box, *job);
    return true;
}

void InterruptHandOverWait() {
    TMailbox& box = Mailbox();
    {
        std::lock_guard<std::mutex> guard(box.Lock);
        ++box.Interruptions;
    }
    box.Changed.notify_all();
}
