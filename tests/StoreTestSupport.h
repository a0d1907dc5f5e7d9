#pragma once
// Shared set-up of the store tests: a temporary program folder, watched folder and store.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "core/Paths.h"
#include "core/RunSettings.h"
#include "core/SharedState.h"
#include "platform/DateTimeText.h"
#include "store/DayLog.h"
#include "tests/TempFolder.h"

namespace store_test {

namespace fs = std::filesystem;

// Content of a given size whose bytes depend on their position, so a shifted or cut copy shows.
inline std::string PatternBytes(size_t size, unsigned seed = 1) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 131 + seed * 7 + i / 251) & 0xff);
    }
    return bytes;
}

// Names in a folder that are left-over temporary files of an interrupted write.
inline std::vector<std::string> TemporaryFilesIn(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.find(".tmp") != std::string::npos || name.rfind(".ostrevan", 0) == 0) {
            names.push_back(name);
        }
    }
    return names;
}

// Runs call on another thread; true when it returns within seconds. A call that blocks in
// opening the pipe at fifoPath is released by opening the pipe's other end, so that a failing
// test ends instead of hanging.
inline bool ReturnsWithoutWaitingOnPipe(const std::string& fifoPath,
                                        const std::function<void()>& call) {
    std::future<void> done = std::async(std::launch::async, call);
    if (done.wait_for(std::chrono::seconds(5)) == std::future_status::ready) {
        return true;
    }
    const int reader = ::open(fifoPath.c_str(), O_RDONLY | O_NONBLOCK);
    const int writer = ::open(fifoPath.c_str(), O_WRONLY | O_NONBLOCK);
    if (writer >= 0) {
        ::close(writer);  // a waiting reader then reads the end of the pipe
    }
    done.wait();
    if (reader >= 0) {
        ::close(reader);
    }
    return false;
}

// A temporary program folder (for the day logs), watched folder "src" and store "store".
class StoreFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        savedProgramDir_ = ProgramDir;
        savedSettings_ = RunSettings;
        fs::create_directories(root_ / "prog");
        fs::create_directories(root_ / "src");
        InitPaths((root_ / "prog").string());
        RunSettings.SOURCE = (root_ / "src").string();
        RunSettings.DESTINATION = (root_ / "store").string();
        WindowHooks.TrayIconGetIcon = [this](bool busy) { trayStates_.push_back(busy); };
    }
    void TearDown() override {
        WindowHooks.TrayIconGetIcon = nullptr;
        RunSettings = savedSettings_;
        InitPaths(savedProgramDir_);
    }

    std::string Src(const std::string& name) const { return (root_ / "src" / name).string(); }
    std::string Store(const std::string& name) const { return (root_ / "store" / name).string(); }

    // Today's log lines (the day's file name follows the date text at the time of reading).
    std::vector<TLogLine> LogRecords() const {
        std::vector<TLogLine> records;
        ReadDayLog(DayLogPath(DayFileName(ShortDateText())), records);
        return records;
    }
    // Log lines with the given code.
    std::vector<TLogLine> LogRecords(int code) const {
        std::vector<TLogLine> matching;
        for (const auto& record : LogRecords()) {
            if (record.Code == code) {
                matching.push_back(record);
            }
        }
        return matching;
    }

    const TempFolder temp_{"ostrevan-store"};
    const fs::path& root_ = temp_.Path();
    std::vector<bool> trayStates_;

  private:
    std::string savedProgramDir_;
    TRunSettings savedSettings_;
};

}  // namespace store_test
