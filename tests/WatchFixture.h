#pragma once
// Shared set-up of the watcher and change handling tests: a temporary program folder and watched
// folder, recording window hooks and a drainer that takes every queued event. The hooks and the
// drainer run on the wait thread when watching: what they record is guarded by Recorded, and
// tests read it once the wait thread is idle or has ended, or through the locked helpers.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/Paths.h"
#include "core/RunSettings.h"
#include "core/SharedState.h"
#include "store/DayLog.h"
#include "tests/TempFolder.h"
#include "watch/ChangeHandling.h"
#include "watch/WaitThread.h"
#include "watch/Watcher.h"

class WatchFixture : public ::testing::Test {
  protected:
    const TempFolder Temp{"ostrevan-watch"};
    const std::filesystem::path& Root = Temp.Path();
    std::filesystem::path Program;
    std::filesystem::path Watched;
    std::filesystem::path Store;
    std::vector<TSnapshotEvent> Drained;
    std::vector<std::string> Console;
    std::vector<bool> TrayRefreshes;  // the busy argument of each refresh
    std::vector<bool> WatchingAtTrayRefresh;
    mutable std::mutex Recorded;

    void SetUp() override {
        namespace fs = std::filesystem;
        fs::permissions(Root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
        Program = Root / "program";
        Watched = Root / "watched";
        Store = Root / "store";
        fs::create_directories(Program / "Settings");
        fs::create_directories(Watched);
        UseProgramFolder(Program);

        RunSettings = TRunSettings{};
        RunSettings.SOURCE = Watched.string();
        RunSettings.DESTINATION = Store.string();
        RunSettings.SUBFOLDERS = true;
        RunSettings.BYEXTMODE = 2;  // exclude mode with an empty list: every file passes
        RunSettings.BYEXT.clear();
        RunSettings.BYSIZE = 1032;
        HeldEvent = THeldEvent{};
        ResetLastEvent();
        ActionNames = {"", "Added", "Removed", "Modified", "Renamed"};

        WindowHooks = TWindowHooks{};
        WindowHooks.ConsoleAppend = [this](const std::string& line) {
            const std::lock_guard<std::mutex> guard(Recorded);
            Console.push_back(line);
        };
        WindowHooks.TrayIconGetIcon = [this](bool busy) {
            const std::lock_guard<std::mutex> guard(Recorded);
            TrayRefreshes.push_back(busy);
            WatchingAtTrayRefresh.push_back(IsWatching());
        };
        SnapshotQueueDrainer = [this] {
            const std::lock_guard<std::mutex> guard(Recorded);
            const bool any = QueueCount() > 0;
            while (QueueCount() > 0) {
                TSnapshotEvent event = QueueTakeFirst();
                if (!event.Request) {  // the wait thread's notes of its progress are not changes
                    Drained.push_back(std::move(event));
                }
            }
            return any;
        };
    }

    void TearDown() override {
        EndWatchingQuietly();
        SnapshotQueueDrainer = nullptr;
        WindowHooks = TWindowHooks{};
    }

    void UseProgramFolder(const std::filesystem::path& folder) {
        std::filesystem::create_directories(folder);
        InitPaths(folder.string());
    }

    // Sleeps in short steps until done() holds; false after the timeout.
    static bool WaitFor(const std::function<bool()>& done,
                        std::chrono::seconds timeout = std::chrono::seconds(10)) {
        return RepeatUntil(done, timeout,
                           [] { std::this_thread::sleep_for(std::chrono::milliseconds(5)); });
    }

    static bool RepeatUntil(const std::function<bool()>& done, std::chrono::seconds timeout,
                            const std::function<void()>& step) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            step();
        }
        return true;
    }

    bool DrainedHolds(const std::string& name) const {
        const std::lock_guard<std::mutex> guard(Recorded);
        for (const TSnapshotEvent& event : Drained) {
            if (event.NewName == name || event.OldName == name) {
                return true;
            }
        }
        return false;
    }

    static void WriteFile(const std::filesystem::path& path, std::size_t bytes) {
        WriteBytes(path, std::string(bytes, 'x'));
    }

    // Every record of every day log in LogsDir.
    static std::vector<TLogLine> LogRecords() {
        std::vector<TLogLine> all;
        for (const std::string& path : ListFiles(LogsDir, "*.log")) {
            std::vector<TLogLine> records;
            ReadDayLog(path, records);
            all.insert(all.end(), records.begin(), records.end());
        }
        return all;
    }

    static std::vector<int> LogCodes() {
        std::vector<int> codes;
        for (const TLogLine& record : LogRecords()) {
            codes.push_back(record.Code);
        }
        return codes;
    }
};
