// Settings conversions and reading, the folders beside the program and the shared queue.
#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <string>
#include <thread>

#include "core/Paths.h"
#include "core/RunSettings.h"
#include "core/SharedState.h"
#include "lang/Language.h"
#include "tests/TempFolder.h"

namespace fs = std::filesystem;

namespace {

class SettingsTest : public ::testing::Test {
  protected:
    void TearDown() override { InitPaths(savedProgramDir_); }

    const TempFolder temp_{"ostrevan-settings"};
    const fs::path& folder_ = temp_.Path();
    const std::string savedProgramDir_ = ProgramDir;
};

TEST(SettingConversions, FlagsAreTrueOnlyForTheWordTrueInAnyAsciiCase) {
    for (const char* on : {"TRUE", "true", "True", "tRuE"}) {
        EXPECT_TRUE(SettingFlag(on)) << on;
    }
    for (const char* off : {"FALSE", "1", "yes", "", "TRUE ", " true", "TRUE1",
                            "PARROR: GENERAL - SUBFOLDERS", "PARROR: L1: language error"}) {
        EXPECT_FALSE(SettingFlag(off)) << off;
    }
}

TEST(SettingConversions, OnlyTheExactTextTwoGivesExtensionMode2) {
    EXPECT_EQ(SettingExtMode("2"), 2);
    for (const char* one :
         {"1", "0", "", "02", " 2", "2 ", "2.0", "3", "PARROR: FILTERS - BYEXTMODE"}) {
        EXPECT_EQ(SettingExtMode(one), 1) << one;
    }
}

TEST(SettingConversions, SizeLimitIsADecimalWholeNumberOrTheDefault1032) {
    EXPECT_EQ(SettingSizeLimit(""), 1032);
    EXPECT_EQ(SettingSizeLimit("0"), 0);
    EXPECT_EQ(SettingSizeLimit("1"), 1);
    EXPECT_EQ(SettingSizeLimit("-5"), -5);
    EXPECT_EQ(SettingSizeLimit("+7"), 7);
    EXPECT_EQ(SettingSizeLimit("0042"), 42);
    EXPECT_EQ(SettingSizeLimit("2147483647"), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(SettingSizeLimit("-2147483648"), std::numeric_limits<int32_t>::min());
    for (const char* bad :
         {"abc", "12abc", "1 000", "2147483648", "-2147483649", "99999999999999999999", "-", "+",
          "0x10", "1.5", "PARROR: FILTERS - BYSIZE", "PARROR: L1: language error"}) {
        EXPECT_EQ(SettingSizeLimit(bad), 1032) << bad;
    }
}

TEST_F(SettingsTest, ReadsTheSevenKeysWithTheirConversions) {
    const std::string path =
        temp_.Write("Settings.ini",
                    "[GENERAL]\r\nSOURCE=/home/u/Documents/\r\nSUBFOLDERS=true\r\n"
                    "DESTINATION= \"/store with space\" \r\nSKIPLIKETASKS=yes\r\n"
                    "[FILTERS]\r\nBYSIZE=\r\nBYEXT=.Doc;.xls\r\nBYEXTMODE=2\r\n");
    const TRunSettings settings = ReadSettingsFile(path);
    EXPECT_EQ(settings.SOURCE, "/home/u/Documents/");
    EXPECT_TRUE(settings.SUBFOLDERS);
    EXPECT_EQ(settings.DESTINATION, "/store with space");
    EXPECT_FALSE(settings.SKIPLIKETASKS);
    EXPECT_EQ(settings.BYSIZE, 1032);
    EXPECT_EQ(settings.BYEXT, ".Doc;.xls");
    EXPECT_EQ(settings.BYEXTMODE, 2);
}

TEST_F(SettingsTest, MissingKeysAndMissingFileReadAsMarkers) {
    const std::string path =
        temp_.Write("Settings.ini", "[GENERAL]\r\nSKIPLIKETASKS=TRUE\r\n[FILTERS]\r\nBYSIZE=0\r\n");
    const TRunSettings partial = ReadSettingsFile(path);
    EXPECT_EQ(partial.SOURCE, "PARROR: GENERAL - SOURCE");
    EXPECT_EQ(partial.DESTINATION, "PARROR: GENERAL - DESTINATION");
    EXPECT_FALSE(partial.SUBFOLDERS);
    EXPECT_TRUE(partial.SKIPLIKETASKS);
    EXPECT_EQ(partial.BYSIZE, 0);
    EXPECT_EQ(partial.BYEXT, "PARROR: FILTERS - BYEXT");
    EXPECT_EQ(partial.BYEXTMODE, 1);

    const TRunSettings missing = ReadSettingsFile((folder_ / "none.ini").string());
    EXPECT_EQ(missing.SOURCE, "PARROR: L1: language error");
    EXPECT_EQ(missing.DESTINATION, "PARROR: L1: language error");
    EXPECT_FALSE(missing.SUBFOLDERS);
    EXPECT_FALSE(missing.SKIPLIKETASKS);
    EXPECT_EQ(missing.BYSIZE, 1032);
    EXPECT_EQ(missing.BYEXT, "PARROR: L1: language error");
    EXPECT_EQ(missing.BYEXTMODE, 1);
}

TEST_F(SettingsTest, InstalledSettingsFileHoldsAllSevenKeys) {
    const std::string path = std::string(OSTREVAN_SOURCE_DIR) + "/install/Settings/Settings.ini";
    const TRunSettings settings = ReadSettingsFile(path);
    EXPECT_EQ(settings.SOURCE, "");
    EXPECT_EQ(settings.DESTINATION, "");
    EXPECT_TRUE(settings.SUBFOLDERS);
    EXPECT_FALSE(settings.SKIPLIKETASKS);
    EXPECT_EQ(settings.BYSIZE, 1032);
    EXPECT_EQ(settings.BYEXT, ".tmp;.bak;.swp");
    EXPECT_EQ(settings.BYEXTMODE, 2);
    EXPECT_EQ(ReadIniValue("GENERAL", "SKIPLIKETASKS", path), "FALSE");
}

TEST_F(SettingsTest, FoldersAreFixedBesideTheProgramAndNoneIsCreated) {
    InitPaths(folder_.string() + "/");
    EXPECT_EQ(ProgramDir, folder_.string());
    EXPECT_EQ(LanguageDir, folder_.string() + "/Language");
    EXPECT_EQ(LogsDir, folder_.string() + "/Logs");
    EXPECT_EQ(SettingsDir, folder_.string() + "/Settings/");
    EXPECT_EQ(SettingsFilePath(), folder_.string() + "/Settings/Settings.ini");
    EXPECT_TRUE(fs::is_empty(folder_));

    // Language lookups follow the new folder.
    EXPECT_EQ(LanguageText("GUI_FORM", "TITLE", "GUI"), "PARROR: L1: language error");
    fs::create_directory(LanguageDir);
    temp_.Write("Language/GUI.ini", "[GUI_FORM]\r\nTITLE=Here\r\n");
    EXPECT_EQ(LanguageText("GUI_FORM", "TITLE", "GUI"), "Here");

    // Without a folder: the executable's, whose lack of a Settings folder means installed.
    InitPaths();
    EXPECT_EQ(ProgramDir, fs::canonical("/proc/self/exe").parent_path().string());
    EXPECT_EQ(InstalledLayout(), !fs::is_directory(ProgramDir + "/Settings"));
}

TEST(SnapshotQueueHelpers, KeepsArrivalOrderOfChangesAndRequestsWithTheirFolders) {
    ResetSnapshotQueue();
    RunSettings.SOURCE = "/watched";
    RunSettings.DESTINATION = "/store";
    QueueAppend("a.txt", "a.txt", 3);
    int requests = 0;
    QueueRequest([&requests] { ++requests; });
    RunSettings.SOURCE = "/other";  // a settings save between two changes
    QueueAppend("b.txt", "c.txt", 4);
    EXPECT_EQ(QueueCount(), 3);

    const TSnapshotEvent first = QueueTakeFirst();
    EXPECT_EQ(first.OldName, "a.txt");
    EXPECT_EQ(first.Action, 3);
    EXPECT_EQ(first.Source, "/watched");
    EXPECT_EQ(first.Destination, "/store");
    EXPECT_FALSE(first.Request);
    const TSnapshotEvent second = QueueTakeFirst();
    ASSERT_TRUE(second.Request);
    second.Request();
    EXPECT_EQ(requests, 1);
    const TSnapshotEvent third = QueueTakeFirst();
    EXPECT_EQ(third.NewName, "c.txt");
    EXPECT_EQ(third.Source, "/other") << "each change keeps the folders it was taken in with";
    EXPECT_EQ(QueueCount(), 0);
    EXPECT_EQ(QueueTakeFirst().Action, 0) << "taking from an empty queue gives an empty event";

    QueueAppend("d.txt", "d.txt", 1);
    QueueAppend("e.txt", "e.txt", 1);
    EXPECT_EQ(SnapshotQueue.Clear(), 2);
    EXPECT_EQ(QueueCount(), 0);
    RunSettings = TRunSettings{};
}

// Two producers (the wait thread and the window) and one consumer (the store thread): nothing is
// lost or duplicated, each producer's order is kept, and a waiting consumer wakes at once.
TEST(SnapshotQueueHelpers, ProducersOnTwoThreadsAndAWaitingConsumerLoseNothing) {
    ResetSnapshotQueue();
    constexpr int kEach = 20000;
    std::vector<int> lastSeen(2, -1);
    int taken = 0;
    bool ordered = true;
    std::thread consumer([&] {
        while (taken < 2 * kEach) {
            if (!SnapshotQueue.WaitForWork(std::chrono::seconds(5))) {
                return;
            }
            for (TSnapshotEvent event = QueueTakeFirst(); event.Action != 0;
                 event = QueueTakeFirst()) {
                const int producer = event.Action - 1;
                const int number = std::stoi(event.NewName);
                ordered = ordered && number == lastSeen[static_cast<size_t>(producer)] + 1;
                lastSeen[static_cast<size_t>(producer)] = number;
                ++taken;
            }
        }
    });
    std::vector<std::thread> producers;
    for (int producer = 0; producer < 2; ++producer) {
        producers.emplace_back([producer] {
            for (int i = 0; i < kEach; ++i) {
                QueueAppend("", std::to_string(i), producer + 1);
            }
        });
    }
    for (std::thread& producer : producers) {
        producer.join();
    }
    consumer.join();
    EXPECT_EQ(taken, 2 * kEach);
    EXPECT_TRUE(ordered);

    // Stopping the waiting wakes a wait on an empty queue at once, and keeps later waits from
    // waiting until it is allowed again.
    std::thread interrupter([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        SnapshotQueue.StopWaiting();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(SnapshotQueue.WaitForWork(std::chrono::seconds(10)));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    interrupter.join();
    const auto again = std::chrono::steady_clock::now();
    EXPECT_FALSE(SnapshotQueue.WaitForWork(std::chrono::seconds(10)));
    EXPECT_LT(std::chrono::steady_clock::now() - again, std::chrono::seconds(5));
    SnapshotQueue.AllowWaiting();
}

TEST(WindowHookHelpers, HelpersCallTheHooksOnlyWhenSet) {
    const TWindowHooks saved = WindowHooks;
    WindowHooks = {};
    RefreshTrayIcon(true);  // no hook: nothing happens
    AppendConsoleLine("ignored");

    std::vector<std::string> calls;
    WindowHooks.TrayIconGetIcon = [&](bool busy) { calls.push_back(busy ? "busy" : "idle"); };
    WindowHooks.ConsoleAppend = [&](const std::string& line) { calls.push_back(line); };
    RefreshTrayIcon(true);
    AppendConsoleLine("Modified: a > a");
    RefreshTrayIcon(false);
    WindowHooks = saved;
    EXPECT_EQ(calls, (std::vector<std::string>{"busy", "Modified: a > a", "idle"}));
}

}  // namespace
