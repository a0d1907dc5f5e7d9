// What the system does not report by itself: folders beyond the limit of watches, an overflow of
// the kernel's queue, paths longer than the system takes, and the watched folder going away. Each
// is told in the day log (and the tray), and the store catches up by itself.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/EventCodes.h"
#include "platform/InotifySource.h"
#include "store/FileOperation.h"
#include "store/StoreThread.h"
#include "tests/InotifyLimits.h"
#include "tests/WatchFixture.h"
#include "watch/WatchCoverage.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto kScanPeriod = InotifyChangeSource::kUnwatchedScanPeriod;

class WatchGapsTest : public WatchFixture {
  protected:
    // The store thread is started by each test itself: a child process has none of its parent's
    // threads.
    void SetUp() override {
        WatchFixture::SetUp();
        SnapshotQueueDrainer = nullptr;
        WindowHooks.TrayIconGetIcon = [this](bool busy) {
            const std::lock_guard<std::mutex> guard(Recorded);
            TrayRefreshes.push_back(busy);
            WatchingAtTrayRefresh.push_back(IsWatching());
            UnwatchedAtTrayRefresh.push_back(SomeFoldersUnwatched());
        };
    }
    void TearDown() override {
        WatchFixture::TearDown();
        StopStoreThread();
    }

    // What the last refresh of the tray found: watching, and some folder unwatched.
    bool LastRefreshShowedWatching() const {
        const std::lock_guard<std::mutex> guard(Recorded);
        return !WatchingAtTrayRefresh.empty() && WatchingAtTrayRefresh.back();
    }
    bool LastRefreshShowedUnwatched() const {
        const std::lock_guard<std::mutex> guard(Recorded);
        return !UnwatchedAtTrayRefresh.empty() && UnwatchedAtTrayRefresh.back();
    }

    std::vector<bool> UnwatchedAtTrayRefresh;

    int FoldersBeyondTheLimit();

    std::string CopyOf(const std::string& name, int n) const {
        return ReadBytes(Store / name / ("SnapShot." + std::to_string(n)));
    }
    // True once the newest snapshot of the file holds content (an addition may have been
    // copied while its writer was still writing, and the save that followed copied again).
    bool Stored(const std::string& name, const std::string& content) const {
        int newest = 0;
        while (fs::exists(Store / name / ("SnapShot." + std::to_string(newest + 1)))) {
            ++newest;
        }
        return newest > 0 && CopyOf(name, newest) == content;
    }
    bool HasSecondSnapshot(const std::string& name) const {
        return fs::exists(Store / name / "SnapShot.2");
    }
    // The codes of the day log's lines that tell watching started (2) or stopped (3).
    static std::vector<int> StartsAndStops() {
        std::vector<int> codes = LogCodes();
        std::erase_if(codes, [](int code) { return code != 2 && code != 3; });
        return codes;
    }
    static std::vector<TLogLine> LogRecordsWithCode(int code) {
        std::vector<TLogLine> found;
        for (const TLogLine& record : LogRecords()) {
            if (record.Code == code) {
                found.push_back(record);
            }
        }
        return found;
    }
};

// Runs in a child process whose own limit leaves a watch for the watched folder alone. Returns 0
// when every step held, else the number of the step that failed.
int WatchGapsTest::FoldersBeyondTheLimit() {
    const fs::path& watched = Watched;
    auto stored = [this](const std::string& name, const std::string& content) {
        return Stored(name, content);
    };
    if (!EnterNamespaceWithWatchLimit(1)) {  // while this process has one thread only
        return kNoOwnNamespace;
    }
    StartStoreThread();
    if (!StartWatching()) {
        return 10;
    }
    std::vector<std::string> files;
    auto write = [&](const std::string& name) {
        WriteBytes(watched / name, "content of " + name);
        files.push_back(name);
    };
    const int folders = 5;
    for (int i = 0; i < folders; ++i) {
        fs::create_directories(watched / ("n" + std::to_string(i)));
        for (int j = 0; j < 4; ++j) {
            write("n" + std::to_string(i) + "/f" + std::to_string(j) + ".txt");
        }
    }
    auto allStored = [&] {
        return std::all_of(files.begin(), files.end(), [&](const std::string& name) {
            return stored(name, "content of " + name);
        });
    };
    // One failure line per folder, naming it; the tray shows the warning state.
    if (!WaitFor([&] {
            return LogRecordsWithCode(kLogFolderUnwatched).size() == folders &&
                   SomeFoldersUnwatched();
        })) {
        return 11;
    }
    std::vector<std::string> named;
    for (const TLogLine& record : LogRecords()) {
        if (record.Code == kLogFolderUnwatched) {
            named.push_back(record.FileText);
        }
    }
    std::sort(named.begin(), named.end());
    for (int i = 0; i < folders; ++i) {
        if (named.size() != folders || named[i] != (watched / ("n" + std::to_string(i))).string()) {
            return 12;
        }
    }
    if (!LastRefreshShowedUnwatched()) {
        return 13;
    }
    // Files saved in unwatched folders are stored all the same, by the scan.
    for (int i = 0; i < folders; ++i) {
        write("n" + std::to_string(i) + "/later.txt");
    }
    if (!WaitFor(allStored, std::chrono::duration_cast<std::chrono::seconds>(kScanPeriod) + 3s)) {
        return 14;
    }
    // Once the limit allows, the watches come back by themselves within one scan period.
    for (int i = 0; i < folders; ++i) {
        write("n" + std::to_string(i) + "/before-raise.txt");
    }
    if (!SetOwnWatchLimit(1000)) {
        return 15;
    }
    const auto scanWait = std::chrono::duration_cast<std::chrono::seconds>(kScanPeriod) + 2s;
    if (!WaitFor([&] { return !SomeFoldersUnwatched() && allStored(); }, scanWait)) {
        return 16;
    }
    if (LastRefreshShowedUnwatched()) {
        return 17;
    }
    for (int i = 0; i < folders; ++i) {
        write("n" + std::to_string(i) + "/after-raise.txt");
    }
    if (!WaitFor(allStored, 2s)) {
        return 18;  // reported by the kernel now, not left to a scan
    }
    const size_t unwatchedLines = LogRecordsWithCode(kLogFolderUnwatched).size();
    EndWatchingQuietly();
    return unwatchedLines == folders ? 0 : 19;
}

TEST_F(WatchGapsTest, FoldersBeyondTheWatchLimitAreLoggedShownAndTheirFilesStored) {
    const int result = RunInChild([this] { return FoldersBeyondTheLimit(); });
    if (result == kNoOwnNamespace) {
        GTEST_SKIP() << "no user namespace to lower the limit in";
    }
    EXPECT_EQ(result, 0) << "see the step numbers in FoldersBeyondTheLimit";
}

TEST_F(WatchGapsTest, OverflowIsLoggedWithItsCountAndUnchangedFilesGetNoSecondSnapshot) {
    StartStoreThread();
    // The wait thread is held in the console line of the first change, as a slow handling of a
    // batch would hold it, while the burst overflows the kernel's queue.
    std::atomic<bool> holding{true};
    std::atomic<bool> held{false};
    WindowHooks.ConsoleAppend = [&](const std::string&) {
        held = true;
        while (holding.load()) {
            std::this_thread::sleep_for(1ms);
        }
    };
    {
        QueueLimit limit(64);
        if (!limit.Lowered()) {
            GTEST_SKIP() << "cannot write " << QueueLimit::kFile;
        }
        const bool started = StartWatching();
        limit.Restore();  // the instance keeps the length it was opened with
        ASSERT_FALSE(limit.Lowered()) << "could not restore " << QueueLimit::kFile;
        ASSERT_TRUE(started);
    }
    // Files are written outside and moved in, so that the kernel reports each one once: any
    // second snapshot could only come from the rescan.
    const fs::path outside = Root / "outside";
    auto moveIn = [&](const std::string& name, const std::string& content) {
        WriteBytes(outside / name, content);
        fs::rename(outside / name, Watched / name);
    };
    moveIn("first.txt", "first");
    const bool wasHeld = WaitFor([&] { return held.load(); });
    std::vector<std::string> names;
    for (int i = 0; i < 300 && wasHeld; ++i) {
        names.push_back("burst" + std::to_string(i) + ".txt");
        moveIn(names.back(), names.back());
    }
    holding = false;
    ASSERT_TRUE(wasHeld);
    ASSERT_TRUE(WaitFor(
        [&] {
            return Stored("first.txt", "first") &&
                   std::all_of(names.begin(), names.end(),
                               [&](const std::string& name) { return Stored(name, name); }) &&
                   !LogRecordsWithCode(kLogOverflowRescanned).empty();
        },
        20s));
    const std::vector<TLogLine> overflows = LogRecordsWithCode(kLogOverflowRescanned);
    ASSERT_EQ(overflows.size(), 1u);
    EXPECT_EQ(overflows[0].ImageIndex, kImageWarning);
    // The rescan finds every file of the burst and the first one (changed within its margin).
    EXPECT_GE(std::stol(overflows[0].FileText), 301) << overflows[0].FileText;
    EXPECT_FALSE(HasSecondSnapshot("first.txt")) << "the rescan snapshotted an unchanged file";
    for (const std::string& name : names) {
        EXPECT_FALSE(HasSecondSnapshot(name)) << name;
    }
}

// A chain of folders made one below the other through descriptors, as deep as needed for a path
// longer than the system takes in one call; removed again the same way.
class DeepFolders {
  public:
    DeepFolders(const fs::path& top, int levels) : top_(top), name_(200, 'd') {
        int dir = open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        for (int level = 0; level < levels && dir >= 0; ++level) {
            mkdirat(dir, name_.c_str(), 0755);
            const int next = openat(dir, name_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            close(dir);
            dir = next;
            path_ += (path_.empty() ? "" : "/") + name_;
            ++levels_;
            std::this_thread::sleep_for(2ms);  // each folder is watched before the next comes
        }
        deepest_ = dir;
    }
    ~DeepFolders() {
        if (deepest_ >= 0) {
            close(deepest_);
        }
        for (int level = levels_; level > 0; --level) {
            RemoveAtDepth(level);
        }
    }
    bool WriteFile(const std::string& name, const std::string& content) const {
        const int fd =
            openat(deepest_, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) {
            return false;
        }
        const bool written = write(fd, content.data(), content.size()) == ssize_t(content.size());
        return close(fd) == 0 && written;
    }
    // The chain relative to the top folder.
    const std::string& Path() const { return path_; }

  private:
    // Empties and removes the folder at the given depth (1 is just below the top).
    void RemoveAtDepth(int depth) {
        int dir = open(top_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        for (int level = 1; level < depth && dir >= 0; ++level) {
            const int next = openat(dir, name_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            close(dir);
            dir = next;
        }
        if (dir < 0) {
            return;
        }
        const int inner = openat(dir, name_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (DIR* listing = inner >= 0 ? fdopendir(inner) : nullptr) {
            while (const dirent* entry = readdir(listing)) {
                if (entry->d_type != DT_DIR) {
                    unlinkat(inner, entry->d_name, 0);
                }
            }
            closedir(listing);
        }
        unlinkat(dir, name_.c_str(), AT_REMOVEDIR);
        close(dir);
    }

    fs::path top_;
    std::string name_;
    std::string path_;
    int levels_ = 0;
    int deepest_ = -1;
};

TEST_F(WatchGapsTest, FileWithAPathLongerThanTheSystemTakesIsLoggedByName) {
    StartStoreThread();
    ASSERT_TRUE(StartWatching());
    const DeepFolders deep(Watched, 25);  // 25 * 201 bytes below the watched folder
    ASSERT_TRUE(deep.WriteFile("long.txt", "deep content"));
    const std::string full = Watched.string() + "/" + deep.Path() + "/long.txt";
    ASSERT_GT(full.size(), 5000u);
    ASSERT_TRUE(WaitFor([&] { return !LogRecordsWithCode(kLogPathTooLong).empty(); }));
    // One line for each change of it (its addition and its save may come apart).
    for (const TLogLine& record : LogRecordsWithCode(kLogPathTooLong)) {
        EXPECT_EQ(record.FileText, full);
        EXPECT_EQ(record.ImageIndex, kImageError);
    }
    EXPECT_TRUE(LogRecordsWithCode(kLogCopied).empty());
    EndWatchingQuietly();
}

TEST_F(WatchGapsTest, WatchedFolderRemovedAndMadeAgainIsWatchedAgainWithCodes3Then2) {
    StartStoreThread();
    ASSERT_TRUE(StartWatching());
    fs::remove_all(Watched);
    ASSERT_TRUE(WaitFor([] { return StartsAndStops() == std::vector<int>({2, 3}); }));
    EXPECT_FALSE(IsWatching());
    EXPECT_FALSE(LastRefreshShowedWatching()) << "the tray still shows watching";

    // Made again: watching resumes within the check period, and what it holds by then is stored.
    fs::create_directories(Watched);
    WriteBytes(Watched / "back.txt", "back");
    const auto made = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitFor([] { return StartsAndStops() == std::vector<int>({2, 3, 2}); }));
    EXPECT_LT(std::chrono::steady_clock::now() - made,
              InotifyChangeSource::kFolderReturnCheck + 1s);
    EXPECT_TRUE(IsWatching());
    EXPECT_TRUE(LastRefreshShowedWatching());
    EXPECT_TRUE(WaitFor([&] { return Stored("back.txt", "back"); }));
    WriteBytes(Watched / "later.txt", "later");
    EXPECT_TRUE(WaitFor([&] { return Stored("later.txt", "later"); }));

    // Gone again and stopped meanwhile: the stop is not logged twice, and it ends at once.
    fs::remove_all(Watched);
    ASSERT_TRUE(WaitFor([] { return !IsWatching(); }));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(StopWatching());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_EQ(StartsAndStops(), std::vector<int>({2, 3, 2, 3}));
}

}  // namespace
