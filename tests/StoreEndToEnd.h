#pragma once
// The real watcher and the real store together on a temporary folder, started from a
// Settings.ini as the program starts; the wait and store threads do the work.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "StoreTestSupport.h"
#include "lang/Language.h"
#include "store/FileOperation.h"
#include "store/SnapshotIndex.h"
#include "store/StoreThread.h"
#include "watch/ChangeHandling.h"
#include "watch/Watcher.h"

namespace store_test {

using namespace std::chrono_literals;

class StoreEndToEndTest : public StoreFixture {
  protected:
    void SetUp() override {
        StoreFixture::SetUp();
        WriteSettings("");
        HeldEvent = THeldEvent{};
        StartStoreThread();
    }
    void TearDown() override {
        EndWatchingQuietly();
        StopStoreThread();
        StoreFixture::TearDown();
    }

    // Settings.ini with the exclude mode and the given extension list.
    void WriteSettings(const std::string& excludedExtensions) {
        fs::create_directories(root_ / "prog" / "Settings");
        WriteBytes(root_ / "prog" / "Settings" / "Settings.ini",
                   "[GENERAL]\r\nSOURCE=" + Src("") + "\r\nSUBFOLDERS=TRUE\r\nDESTINATION=" +
                       Store("") + "\r\nSKIPLIKETASKS=FALSE\r\n\r\n[FILTERS]\r\nBYSIZE=1032\r\n" +
                       "BYEXT=" + excludedExtensions + "\r\nBYEXTMODE=2\r\n");
    }

    // Reads Settings.ini and starts watching, as the program does at start.
    void Start() {
        ASSERT_TRUE(ReloadSettings());
        ASSERT_TRUE(IsWatching());
        ASSERT_EQ(RunSettings.DESTINATION, Store(""));
    }

    // Waits until done() holds, while the wait and store threads work.
    bool PumpUntil(const std::function<bool()>& done, std::chrono::seconds limit = 15s) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(5ms);
        }
        return true;
    }

    int LastNumber(const std::string& name) const {
        const auto list = ReadSnapshotList(Src(name));
        return list.empty() ? 0 : list.back().Number;
    }
    std::string CopyOf(const std::string& name, int n) const {
        return ReadBytes(Store(name) + "/SnapShot." + std::to_string(n));
    }
    int CodeOf(const std::string& name, int n) const {
        const auto entry = ReadSnapshotEntry(Store(name) + "/snapshot.ini", n);
        return entry && entry->CopyExists ? entry->ActionCode : -1;
    }
    // True once the newest snapshot of the file holds exactly content.
    bool LatestSnapshotIs(const std::string& name, const std::string& content) const {
        const int n = LastNumber(name);
        return n > 0 && fs::exists(Store(name) + "/SnapShot." + std::to_string(n)) &&
               CopyOf(name, n) == content;
    }
    // Saves the file and waits until its newest snapshot holds what was saved and the store has
    // nothing more to do (the save's addition and its close may come in two batches).
    bool SaveAndSee(const std::string& name, const std::string& content) {
        WriteBytes(Src(name), content);
        return PumpUntil([&] { return LatestSnapshotIs(name, content); }) &&
               WaitForStoreIdle(std::chrono::seconds(15));
    }
};

}  // namespace store_test
