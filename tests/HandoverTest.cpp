// The one-slot mailbox between a waiting thread and the main thread, driven without Qt.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "core/SharedState.h"
#include "watch/Handover.h"

namespace {

using namespace std::chrono_literals;

class HandoverTest : public ::testing::Test {
  protected:
    std::atomic<int> Wakes{0};

    void SetUp() override {
        WindowHooks = TWindowHooks{};
        WindowHooks.WakeMainThread = [this] { ++Wakes; };
    }
    void TearDown() override { WindowHooks = TWindowHooks{}; }
};

TEST_F(HandoverTest, EmptyMailboxRunsNothing) {
    EXPECT_FALSE(RunPendingHandOver());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(WaitAndRunHandOver(30ms));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 25ms);
    EXPECT_EQ(Wakes.load(), 0);
}

TEST_F(HandoverTest, JobRunsOnTheMainThreadWhileTheSenderWaits) {
    const std::thread::id mainThread = std::this_thread::get_id();
    std::thread::id ranOn;
    std::atomic<bool> senderReturned{false};
    bool senderReturnedBeforeJobEnded = true;

    std::thread sender([&] {
        HandOver([&] {
            ranOn = std::this_thread::get_id();
            std::this_thread::sleep_for(50ms);
            senderReturnedBeforeJobEnded = senderReturned.load();
        });
        senderReturned = true;
    });
    while (Wakes.load() == 0) {
        std::this_thread::sleep_for(1ms);
    }
    // The sender is blocked until this thread runs the job.
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(senderReturned.load());
    EXPECT_TRUE(RunPendingHandOver());
    sender.join();

    EXPECT_EQ(ranOn, mainThread);
    EXPECT_FALSE(senderReturnedBeforeJobEnded);
    EXPECT_TRUE(senderReturned.load());
    EXPECT_EQ(Wakes.load(), 1);
    EXPECT_FALSE(RunPendingHandOver());
}

TEST_F(HandoverTest, JobsFromOneSenderRunInOrder) {
    std::vector<int> order;
    std::thread sender([&] {
        for (int i = 0; i < 50; ++i) {
            HandOver([&order, i] { order.push_back(i); });
        }
    });
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (order.size() < 50 && std::chrono::steady_clock::now() < deadline) {
        WaitAndRunHandOver(20ms);
    }
    sender.join();
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
    }
    EXPECT_EQ(Wakes.load(), 50);
}

// The stop pattern: the main thread asks the sender to end and keeps running hand-overs until it
// has ended, so a sender caught in a hand-over is never left waiting.
TEST_F(HandoverTest, StoppingWhileTheSenderHandsOverDoesNotBlock) {
    std::atomic<bool> stop{false};
    std::atomic<bool> ended{false};
    int ran = 0;
    std::thread sender([&] {
        while (!stop.load()) {
            HandOver([&ran] { ++ran; });
        }
        ended = true;
    });
    while (Wakes.load() == 0) {
        std::this_thread::sleep_for(1ms);
    }
    stop = true;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!ended.load() && std::chrono::steady_clock::now() < deadline) {
        WaitAndRunHandOver(20ms);
    }
    ASSERT_TRUE(ended.load());
    sender.join();
    EXPECT_GE(ran, 1);
    EXPECT_EQ(ran, Wakes.load());
}

}  // namespace
