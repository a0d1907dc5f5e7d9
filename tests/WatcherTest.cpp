// Starting, stopping and restarting the watcher on real folders with real change reports.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/WatchFixture.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class WatcherTest : public WatchFixture {
  protected:
    void WriteSettings(const std::string& source, const std::string& bySize) {
        WriteBytes(Program / "Settings" / "Settings.ini",
                   "[GENERAL]\r\nSOURCE=" + source + "\r\nSUBFOLDERS=TRUE\r\nDESTINATION=" +
                       Store.string() + "\r\nSKIPLIKETASKS=FALSE\r\n[FILTERS]\r\nBYSIZE=" + bySize +
                       "\r\nBYEXT=\r\nBYEXTMODE=2\r\n");
    }

    // Creates a file and waits until its event has been handled.
    bool CreateAndSee(const fs::path& path) {
        WriteFile(path, 4);
        const std::string name = fs::relative(path, Watched).string();
        return WaitFor([&] { return DrainedHolds(name); });
    }
};

TEST_F(WatcherTest, StartLogsAndShowsWatchingStopWhileIdleReturnsPromptly) {
    ASSERT_TRUE(StartWatching());
    EXPECT_TRUE(IsWatching());
    ASSERT_EQ(TrayRefreshes.size(), 1u);
    EXPECT_FALSE(TrayRefreshes[0]);
    EXPECT_TRUE(WatchingAtTrayRefresh[0]);
    EXPECT_EQ(LogCodes(), std::vector<int>({2}));

    std::this_thread::sleep_for(50ms);  // let the thread settle into its wait
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(StopWatching());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_FALSE(IsWatching());
    EXPECT_EQ(TrayRefreshes.size(), 1u) << "a stop does not refresh the tray";

    const std::vector<TLogLine> records = LogRecords();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].ImageIndex, 3);
    EXPECT_EQ(records[1].Code, 3);
    EXPECT_EQ(records[1].ImageIndex, 4);
    EXPECT_EQ(records[1].FileText, "");

    EXPECT_TRUE(StopWatching()) << "a second stop does nothing";
    EXPECT_EQ(LogCodes().size(), 2u);
}

TEST_F(WatcherTest, ChangesArriveWithNamesRelativeToTheWatchedFolder) {
    fs::create_directories(Watched / "sub");
    ASSERT_TRUE(StartWatching());
    ASSERT_TRUE(CreateAndSee(Watched / "sub" / "inner.txt"));
    EXPECT_TRUE(CreateAndSee(Watched / "top.txt"));
    EXPECT_FALSE(Console.empty());
}

TEST_F(WatcherTest, WithoutSubfoldersNothingComesFromInsideThem) {
    fs::create_directories(Watched / "sub");
    RunSettings.SUBFOLDERS = false;
    ASSERT_TRUE(StartWatching());
    WriteFile(Watched / "sub" / "inner.txt", 4);
    // Reported in the kernel's order, inner.txt would have come before top.txt.
    ASSERT_TRUE(CreateAndSee(Watched / "top.txt"));
    for (const std::string& line : Console) {
        EXPECT_EQ(line.find("inner"), std::string::npos) << line;
    }
    EXPECT_FALSE(DrainedHolds("sub/inner.txt"));
}

TEST_F(WatcherTest, EveryWakeUpResetsTheLastEvent) {
    // Seen from inside the hand-over, with repeat suppression off (which leaves it alone).
    std::vector<TLastEvent> seen;
    const std::function<bool()> record = SnapshotQueueDrainer;
    SnapshotQueueDrainer = [&] {
        seen.push_back(LastEvent);
        return record();
    };
    LastEvent = TLastEvent{"x", "x", 3};
    ASSERT_TRUE(StartWatching());
    const bool seenA = CreateAndSee(Watched / "a.txt");
    EndWatchingQuietly();  // the drainer above refers to this test's locals
    ASSERT_TRUE(seenA);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen[0].OldName, "");
    EXPECT_EQ(seen[0].NewName, "");
    EXPECT_EQ(seen[0].Action, 9);
}

// A stop right after a burst: it returns promptly, and every change the thread had begun to
// handle was handled whole (its console line and its queued event).
TEST_F(WatcherTest, StopRightAfterABurstIsPromptAndLeavesNothingHalfHandled) {
    ASSERT_TRUE(StartWatching());
    for (int i = 0; i < 200; ++i) {
        WriteFile(Watched / ("f" + std::to_string(i) + ".txt"), 4);
    }
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(StopWatching());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    EXPECT_FALSE(IsWatching());
    EXPECT_EQ(Console.size(), Drained.size()) << "every handled record was queued";
    EXPECT_EQ(LogCodes(), std::vector<int>({2, 3}));
}

TEST_F(WatcherTest, ReloadSettingsRestartsAndLogsOnlyRealStartsAndStops) {
    // The starts and stops; a file made the moment watching restarts may also be told as caught
    // up (code 20), since file times and the moment of the restart come from clocks of another
    // grain.
    const auto LogCodes = [this] {
        std::vector<int> codes = WatchFixture::LogCodes();
        std::erase(codes, 20);
        return codes;
    };
    WriteSettings(Watched.string(), "7");
    EXPECT_TRUE(ReloadSettings());
    EXPECT_TRUE(IsWatching());
    EXPECT_EQ(RunSettings.BYSIZE, 7);
    EXPECT_EQ(RunSettings.SOURCE, Watched.string());
    EXPECT_EQ(LogCodes(), std::vector<int>({2})) << "nothing to stop at the first reload";

    EXPECT_TRUE(ReloadSettings());
    EXPECT_TRUE(IsWatching());
    EXPECT_EQ(LogCodes(), std::vector<int>({2, 3, 2}));
    ASSERT_TRUE(CreateAndSee(Watched / "after-restart.txt"));

    WriteSettings((Root / "missing").string(), "");
    EXPECT_TRUE(ReloadSettings());
    EXPECT_FALSE(IsWatching());
    EXPECT_EQ(RunSettings.BYSIZE, 1032);
    EXPECT_EQ(LogCodes(), std::vector<int>({2, 3, 2, 3})) << "a missing folder logs no start";

    EXPECT_TRUE(ReloadSettings());
    EXPECT_EQ(LogCodes(), std::vector<int>({2, 3, 2, 3})) << "nothing to stop, nothing started";
    EXPECT_EQ(TrayRefreshes.size(), 2u);
}

TEST_F(WatcherTest, SourceThatIsNoFolderStaysStoppedQuietly) {
    WriteFile(Watched / "file.txt", 1);
    for (const std::string& source :
         {std::string(), (Watched / "file.txt").string(), (Root / "missing").string()}) {
        RunSettings.SOURCE = source;
        EXPECT_FALSE(StartWatching()) << source;
        EXPECT_FALSE(IsWatching());
    }
    EXPECT_TRUE(LogCodes().empty());
    EXPECT_TRUE(TrayRefreshes.empty());
}

TEST_F(WatcherTest, QuietEndWritesNoLogLine) {
    ASSERT_TRUE(StartWatching());
    EndWatchingQuietly();
    EXPECT_FALSE(IsWatching());
    EXPECT_EQ(LogCodes(), std::vector<int>({2}));
}

// A folder the user may not read: as root, the check runs under another user id.
class UnreadableFolder {
  public:
    explicit UnreadableFolder(const fs::path& folder) : Folder(folder) {
        fs::create_directories(Folder);
        fs::permissions(Folder, fs::perms::none);
    }
    ~UnreadableFolder() { fs::permissions(Folder, fs::perms::owner_all); }
    // Becomes another user for the effective id when running as root; false when that fails.
    static bool DropRoot() { return geteuid() != 0 || seteuid(65534) == 0; }
    static void RegainRoot() {
        if (getuid() == 0) {
            [[maybe_unused]] const int result = seteuid(0);
        }
    }

  private:
    fs::path Folder;
};

TEST_F(WatcherTest, FolderThatCannotBeOpenedIsReportedAndEndsTheProgram) {
    const UnreadableFolder locked(Root / "locked");
    RunSettings.SOURCE = (Root / "locked").string();
    std::vector<std::string> shown;
    int ends = 0;
    WindowHooks.ShowWatchFailure = [&](const std::string& text) { shown.push_back(text); };
    const std::function<void()> realEnd = EndProgramAfterWatchFailure;
    EndProgramAfterWatchFailure = [&] { ++ends; };

    if (!UnreadableFolder::DropRoot()) {
        EndProgramAfterWatchFailure = realEnd;
        GTEST_SKIP() << "cannot take another user id";
    }
    const bool started = StartWatching();
    UnreadableFolder::RegainRoot();
    EndProgramAfterWatchFailure = realEnd;

    EXPECT_FALSE(started);
    EXPECT_FALSE(IsWatching());
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0].find("ermission"), std::string::npos) << shown[0];
    EXPECT_EQ(ends, 1);
    EXPECT_TRUE(LogCodes().empty());
}

TEST_F(WatcherTest, FolderThatCannotBeOpenedEndsTheProcessWithCodeZero) {
    if (!UnreadableFolder::DropRoot()) {
        GTEST_SKIP() << "cannot take another user id";
    }
    UnreadableFolder::RegainRoot();
    const UnreadableFolder locked(Root / "locked");
    RunSettings.SOURCE = (Root / "locked").string();
    WindowHooks.ShowWatchFailure = [](const std::string& text) {
        std::fprintf(stderr, "failure shown: %s\n", text.c_str());
    };
    EXPECT_EXIT(
        {
            UnreadableFolder::DropRoot();
            StartWatching();
            std::exit(7);
        },
        ::testing::ExitedWithCode(0), "failure shown: ");
}

}  // namespace
