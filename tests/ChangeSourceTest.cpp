// The inotify change source on real folders in a temporary directory.
#include <fcntl.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

#include "platform/ChangeSource.h"
#include "platform/InotifySource.h"
#include "tests/InotifyLimits.h"
#include "tests/TempFolder.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Records = std::vector<ChangeRecord>;

namespace {

constexpr auto kPatience = 15s;

void WriteFile(const fs::path& path, const std::string& text = "x") {
    WriteBytes(path, text);
}

size_t Count(const Records& records, int action, const std::string& name) {
    return std::count_if(records.begin(), records.end(), [&](const ChangeRecord& record) {
        return record.Action == action && record.Name == name;
    });
}

bool Has(const Records& records, int action, const std::string& name) {
    return Count(records, action, name) > 0;
}

// True when the kernel reported the change (not a scan).
bool Reported(const Records& records, int action, const std::string& name) {
    return std::any_of(records.begin(), records.end(), [&](const ChangeRecord& record) {
        return record.Action == action && record.Name == name && !record.FromRescan;
    });
}

size_t CountAction(const Records& records, int action) {
    return std::count_if(records.begin(), records.end(),
                         [&](const ChangeRecord& record) { return record.Action == action; });
}

bool Named(const Records& records, const std::string& name) {
    return Has(records, 1, name) || Has(records, 3, name);
}

// True when (4, from) is directly followed by (5, to).
bool RenamePair(const Records& records, const std::string& from, const std::string& to) {
    for (size_t i = 0; i + 1 < records.size(); ++i) {
        if (records[i].Action == 4 && records[i].Name == from) {
            return records[i + 1].Action == 5 && records[i + 1].Name == to;
        }
    }
    return false;
}

bool AnyUnder(const Records& records, const std::string& prefix) {
    return std::any_of(records.begin(), records.end(), [&](const ChangeRecord& record) {
        return record.Name.rfind(prefix, 0) == 0;
    });
}

// Watches held by this process's inotify instances, as the kernel lists them.
int KernelWatchCount() {
    int count = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (fs::read_symlink(entry.path(), error) != "anon_inode:inotify") {
            continue;
        }
        std::ifstream info("/proc/self/fdinfo/" + entry.path().filename().string());
        for (std::string line; std::getline(info, line);) {
            count += line.rfind("inotify wd:", 0) == 0 ? 1 : 0;
        }
    }
    return count;
}

// Runs WaitForBatch on its own thread, as the wait thread does, and keeps every batch and every
// news of the watched folder going away or coming back, until the stop.
class Collector {
  public:
    explicit Collector(std::unique_ptr<ChangeSource> source)
        : source_(std::move(source)), thread_([this] { Run(); }) {}
    ~Collector() { Stop(); }

    void Stop() {
        if (thread_.joinable()) {
            source_->SignalStop();
            thread_.join();
        }
    }
    // Waits until the records so far satisfy the condition; false after kPatience.
    bool WaitFor(const std::function<bool(const Records&)>& condition) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kPatience, [&] { return condition(records_); });
    }
    bool WaitForEnd() {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kPatience, [&] { return ended_; });
    }
    bool WaitForWakes(const std::vector<ChangeSource::Wake>& wakes) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, kPatience, [&] { return folderWakes_ == wakes; });
    }
    Records Snapshot() {
        std::lock_guard lock(mutex_);
        return records_;
    }
    std::vector<Records> Batches() {
        std::lock_guard lock(mutex_);
        return batches_;
    }
    ChangeSource& Source() { return *source_; }

  private:
    void Run() {
        Records batch;
        for (;;) {
            const ChangeSource::Wake wake = source_->WaitForBatch(&batch);
            if (wake == ChangeSource::Wake::Stop) {
                break;
            }
            std::lock_guard lock(mutex_);
            if (wake == ChangeSource::Wake::Batch) {
                batches_.push_back(batch);
                records_.insert(records_.end(), batch.begin(), batch.end());
            } else {
                folderWakes_.push_back(wake);
            }
            changed_.notify_all();
        }
        std::lock_guard lock(mutex_);
        ended_ = true;
        changed_.notify_all();
    }

    std::unique_ptr<ChangeSource> source_;
    std::mutex mutex_;
    std::condition_variable changed_;
    Records records_;
    std::vector<Records> batches_;
    std::vector<ChangeSource::Wake> folderWakes_;
    bool ended_ = false;
    std::thread thread_;
};

class ChangeSourceTest : public testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(watched_);
        fs::create_directories(outside_);
    }
    void TearDown() override { collector_.reset(); }

    std::unique_ptr<InotifyChangeSource> OpenSource(bool subtree = true) {
        std::string error;
        auto source = ChangeSource::Open(watched_.string(), subtree, &error);
        EXPECT_NE(source, nullptr) << error;
        return std::unique_ptr<InotifyChangeSource>(
            dynamic_cast<InotifyChangeSource*>(source.release()));
    }
    Collector& Watch(std::unique_ptr<ChangeSource> source) {
        collector_ = std::make_unique<Collector>(std::move(source));
        return *collector_;
    }
    Collector& Watch(bool subtree = true) { return Watch(OpenSource(subtree)); }

    // Creates a marker folder and waits for its record: everything done before it has been
    // delivered by then, since the kernel keeps one order.
    void Settle() {
        const std::string name = "marker" + std::to_string(++markers_);
        fs::create_directory(watched_ / name);
        ASSERT_TRUE(collector_->WaitFor([&](const Records& r) { return Has(r, 1, name); }));
    }

    const TempFolder temp_{"ostrevan-source"};
    const fs::path& base_ = temp_.Path();
    const fs::path watched_ = base_ / "watched";
    const fs::path outside_ = base_ / "outside";
    std::unique_ptr<Collector> collector_;
    int markers_ = 0;
};

TEST_F(ChangeSourceTest, ReportsAnAddedFileAndOneModificationPerSave) {
    WriteFile(watched_ / "doc.txt", "first");
    Collector& watch = Watch();
    WriteFile(watched_ / "new.txt");
    WriteFile(watched_ / "doc.txt", "second");
    // Two closes queued back to back before a read are one event to the kernel: the second save
    // waits until the first was read.
    ASSERT_TRUE(watch.WaitFor([](const Records& r) { return Count(r, 3, "doc.txt") == 1; }));
    WriteFile(watched_ / "doc.txt", "third");
    ASSERT_TRUE(watch.WaitFor(
        [](const Records& r) { return Has(r, 1, "new.txt") && Count(r, 3, "doc.txt") == 2; }));

    // A large file written in many small blocks is one save.
    int fd = open((watched_ / "big.bin").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    const std::string block(4096, 'b');
    for (int i = 0; i < 100 * 256; ++i) {
        ASSERT_EQ(write(fd, block.data(), block.size()), 4096);
    }
    close(fd);
    Settle();
    Records records = watch.Snapshot();
    EXPECT_EQ(Count(records, 1, "big.bin"), 1u);
    EXPECT_EQ(Count(records, 3, "big.bin"), 1u);
    EXPECT_EQ(Count(records, 3, "doc.txt"), 2u);
    EXPECT_EQ(Count(records, 1, "doc.txt"), 0u);
}

TEST_F(ChangeSourceTest, RenamesGiveAdjacentOldAndNewNames) {
    WriteFile(watched_ / "a.txt");
    fs::create_directories(watched_ / "x");
    fs::create_directories(watched_ / "y");
    WriteFile(watched_ / "x" / "a.txt");
    Collector& watch = Watch();
    fs::rename(watched_ / "a.txt", watched_ / "b.txt");
    fs::rename(watched_ / "x" / "a.txt", watched_ / "y" / "c.txt");
    ASSERT_TRUE(watch.WaitFor([](const Records& r) { return Has(r, 5, "y/c.txt"); }));
    Records records = watch.Snapshot();
    EXPECT_TRUE(RenamePair(records, "a.txt", "b.txt"));
    EXPECT_TRUE(RenamePair(records, "x/a.txt", "y/c.txt"));
}

TEST_F(ChangeSourceTest, StepsOfOneSaveWithShortPausesArriveInOneBatch) {
    WriteFile(watched_ / "doc.txt", "old");
    Collector& watch = Watch();
    // A temporary file written, flushed (a pause), renamed over the document and closed.
    const fs::path temporary = watched_ / ".doc.txt.tmp1";
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "new", 3), 3);
    std::this_thread::sleep_for(20ms);
    fs::rename(temporary, watched_ / "doc.txt");
    close(fd);
    ASSERT_TRUE(watch.WaitFor([](const Records& r) { return Has(r, 3, "doc.txt"); }));
    // A change well after the save comes in a batch of its own.
    std::this_thread::sleep_for(400ms);
    WriteFile(watched_ / "later.txt");
    ASSERT_TRUE(watch.WaitFor([](const Records& r) { return Has(r, 1, "later.txt"); }));
    const std::vector<Records> batches = watch.Batches();
    ASSERT_GE(batches.size(), 2u);
    const Records& save = batches[batches.size() - 2];
    EXPECT_TRUE(Has(save, 1, ".doc.txt.tmp1"));
    EXPECT_TRUE(RenamePair(save, ".doc.txt.tmp1", "doc.txt"));
    EXPECT_TRUE(Has(save, 3, "doc.txt")) << "the close right after the rename";
    EXPECT_FALSE(Named(save, "later.txt"));
}

TEST_F(ChangeSourceTest, FilesInFoldersMadeInALoopAreAllReported) {
    Collector& watch = Watch();
    const int rounds = 150;
    const std::string script = "cd '" + watched_.string() + "' && for i in $(seq " +
                               std::to_string(rounds) +
                               "); do mkdir -p n$i/a/b/c && echo x > n$i/a/b/c/f; done";
    ASSERT_EQ(std::system(script.c_str()), 0);
    bool all = watch.WaitFor([&](const Records& r) {
        for (int i = 1; i <= rounds; ++i) {
            if (!Named(r, "n" + std::to_string(i) + "/a/b/c/f")) {
                return false;
            }
        }
        return true;
    });
    Records records = watch.Snapshot();
    for (int i = 1; i <= rounds && !all; ++i) {
        const std::string name = "n" + std::to_string(i) + "/a/b/c/f";
        EXPECT_TRUE(Named(records, name)) << name << " was not reported";
    }
}

TEST_F(ChangeSourceTest, FolderMovedInReportsWhatItHoldsAndIsWatched) {
    const fs::path batch = outside_ / "batch";
    fs::create_directories(batch / "sub" / "deep");
    std::vector<std::string> names;
    for (int i = 0; i < 500; ++i) {
        const std::string name =
            i < 250 ? "f" + std::to_string(i) : "sub/deep/g" + std::to_string(i);
        WriteFile(batch / name);
        names.push_back("batch/" + name);
    }
    Collector& watch = Watch();
    fs::rename(batch, watched_ / "batch");
    ASSERT_TRUE(watch.WaitFor([&](const Records& r) {
        return Has(r, 1, "batch") &&
               std::all_of(names.begin(), names.end(), [&](auto& name) { return Has(r, 1, name); });
    }));
    WriteFile(watched_ / "batch/sub/deep/g300", "edited");
    EXPECT_TRUE(watch.WaitFor([](const Records& r) { return Has(r, 3, "batch/sub/deep/g300"); }));
}

TEST_F(ChangeSourceTest, FolderRenamedTwiceKeepsRightPaths) {
    fs::create_directories(watched_ / "d1" / "inner");
    Collector& watch = Watch();
    fs::rename(watched_ / "d1", watched_ / "d2");
    fs::rename(watched_ / "d2", watched_ / "d3");
    WriteFile(watched_ / "d3" / "inner" / "f.txt");
    // A folder made after the start, renamed twice as well.
    fs::create_directories(watched_ / "e1" / "inner");
    fs::rename(watched_ / "e1", watched_ / "e2");
    fs::rename(watched_ / "e2", watched_ / "e3");
    WriteFile(watched_ / "e3" / "inner" / "g.txt");
    EXPECT_TRUE(watch.WaitFor(
        [](const Records& r) { return Named(r, "d3/inner/f.txt") && Named(r, "e3/inner/g.txt"); }));
    Records records = watch.Snapshot();
    EXPECT_TRUE(RenamePair(records, "d1", "d2"));
    EXPECT_TRUE(RenamePair(records, "d2", "d3"));
    EXPECT_TRUE(RenamePair(records, "e1", "e2"));
    EXPECT_TRUE(RenamePair(records, "e2", "e3"));
    EXPECT_FALSE(AnyUnder(records, "d1/") || AnyUnder(records, "d2/"));
    // The new folder may be listed under a name it had meanwhile, but never after the last
    // rename.
    auto last = std::find_if(records.begin(), records.end(), [](const ChangeRecord& record) {
        return record.Action == 5 && record.Name == "e3";
    });
    EXPECT_FALSE(AnyUnder(Records(last, records.end()), "e1/") ||
                 AnyUnder(Records(last, records.end()), "e2/"));
}

TEST_F(ChangeSourceTest, FoldersThatVanishAtOnceLeaveNoRelistingBehind) {
    fs::create_directories(watched_ / "project");
    WriteFile(watched_ / "project" / "doc.txt");
    Collector& watch = Watch();
    // Short-lived folders are mostly gone before their watch can be added.
    for (int i = 0; i < 200; ++i) {
        const fs::path scratch = watched_ / "project" / ("tmp" + std::to_string(i));
        fs::create_directory(scratch);
        fs::remove(scratch);
    }
    fs::rename(watched_ / "project", watched_ / "renamed");
    Settle();
    Records records = watch.Snapshot();
    EXPECT_TRUE(RenamePair(records, "project", "renamed"));
    EXPECT_FALSE(AnyUnder(records, "renamed/")) << "the renamed folder was listed again";
}

TEST_F(ChangeSourceTest, FolderMovedOutIsOneRemovalAndLeavesNoWatches) {
    fs::create_directories(watched_ / "out" / "x" / "y");
    WriteFile(watched_ / "out" / "x" / "y" / "f.txt");
    WriteFile(watched_ / "keep.txt");
    Collector& watch = Watch();
    EXPECT_EQ(KernelWatchCount(), 4);
    fs::rename(watched_ / "out", outside_ / "out");
    ASSERT_TRUE(watch.WaitFor([](const Records& r) { return Has(r, 2, "out"); }));
    WriteFile(outside_ / "out" / "x" / "y" / "f.txt", "changed outside");
    fs::create_directory(outside_ / "out" / "x" / "new");
    Settle();
    Records records = watch.Snapshot();
    EXPECT_EQ(KernelWatchCount(), 2);  // the root and the marker folder
    EXPECT_EQ(Count(records, 2, "out"), 1u);
    EXPECT_EQ(Count(records, 1, "out"), 0u);
    EXPECT_FALSE(AnyUnder(records, "out/"));
    // Nothing was rescanned (a rescan would report the recent keep.txt).
    EXPECT_FALSE(AnyUnder(records, "keep.txt"));
}

TEST_F(ChangeSourceTest, FolderRemovedAndMadeAgainIsWatchedAgain) {
    fs::create_directories(watched_ / "sub" / "deep");
    WriteFile(watched_ / "sub" / "deep" / "f.txt");
    Collector& watch = Watch();
    fs::remove_all(watched_ / "sub");
    ASSERT_TRUE(watch.WaitFor([](const Records& r) { return Has(r, 2, "sub"); }));
    fs::create_directories(watched_ / "sub" / "deep");
    WriteFile(watched_ / "sub" / "deep" / "g.txt");
    ASSERT_TRUE(watch.WaitFor([](const Records& r) { return Named(r, "sub/deep/g.txt"); }));
    Settle();
    Records records = watch.Snapshot();
    EXPECT_TRUE(Has(records, 2, "sub/deep/f.txt"));
    EXPECT_EQ(KernelWatchCount(), 4);  // the root, sub, deep and the marker folder
}

TEST_F(ChangeSourceTest, RenameSplitOverTwoReadsIsStillPaired) {
    WriteFile(watched_ / "a.txt");
    WriteFile(watched_ / "c.txt");
    fs::create_directories(watched_ / "dir1");
    auto source = OpenSource();
    // One short-named event per read: every rename's halves fall into two reads.
    source->SetReadSize(sizeof(inotify_event) + 16);
    Collector& watch = Watch(std::move(source));
    fs::rename(watched_ / "a.txt", watched_ / "b.txt");
    fs::rename(watched_ / "dir1", watched_ / "dir2");
    WriteFile(watched_ / "dir2" / "f.txt");
    WriteFile(watched_ / "a-name-longer-than-one-short-read.txt");
    ASSERT_TRUE(watch.WaitFor([](const Records& r) {
        return Has(r, 3, "dir2/f.txt") && Has(r, 3, "a-name-longer-than-one-short-read.txt");
    }));
    fs::rename(watched_ / "c.txt", outside_ / "c.txt");  // no partner ever comes
    ASSERT_TRUE(watch.WaitFor([](const Records& r) { return Has(r, 2, "c.txt"); }));
    Records records = watch.Snapshot();
    EXPECT_TRUE(RenamePair(records, "a.txt", "b.txt"));
    EXPECT_TRUE(RenamePair(records, "dir1", "dir2"));
    EXPECT_FALSE(Has(records, 4, "c.txt"));
}

TEST_F(ChangeSourceTest, OverflowRescanReportsEveryFileOfTheBurst) {
    WriteFile(watched_ / "old.txt");
    // Older than the rescan looks back (its margin is two seconds).
    std::this_thread::sleep_for(2500ms);
    std::unique_ptr<InotifyChangeSource> source;
    {
        QueueLimit limit(64);
        if (!limit.Lowered()) {
            GTEST_SKIP() << "cannot write " << QueueLimit::kFile;
        }
        source = OpenSource();
        limit.Restore();  // the instance keeps the length it was opened with
        ASSERT_FALSE(limit.Lowered()) << "could not restore " << QueueLimit::kFile;
    }
    ASSERT_NE(source, nullptr);
    // The burst is made while nobody reads, far beyond the queue's 64 events. The folder made
    // after the queue is full is known only to the rescan.
    std::vector<std::string> names;
    for (int i = 0; i < 1000; ++i) {
        if (i == 600) {
            fs::create_directories(watched_ / "late" / "deeper");
        }
        const std::string name =
            i < 600 ? "b" + std::to_string(i) : "late/deeper/c" + std::to_string(i);
        WriteFile(watched_ / name);
        names.push_back(name);
    }
    Collector& watch = Watch(std::move(source));
    bool all = watch.WaitFor([&](const Records& r) {
        return std::all_of(names.begin(), names.end(), [&](auto& n) { return Named(r, n); });
    });
    EXPECT_TRUE(all);
    std::vector<Records> batches = watch.Batches();
    EXPECT_TRUE(std::any_of(batches.begin(), batches.end(), [](auto& b) { return b.empty(); }))
        << "no empty batch marked the overflow";
    // The rescan's batch starts with the number of files it reports, each marked as found.
    auto rescan = std::find_if(batches.begin(), batches.end(), [](const Records& b) {
        return !b.empty() && b.front().Action == kRecordOverflowRescanned;
    });
    ASSERT_NE(rescan, batches.end());
    const auto found = std::count_if(rescan->begin(), rescan->end(),
                                     [](const ChangeRecord& r) { return r.FromRescan; });
    EXPECT_EQ(rescan->front().Count, found);
    EXPECT_EQ(found + 1, static_cast<long>(rescan->size()));
    EXPECT_GE(found, 400);
    EXPECT_FALSE(AnyUnder(watch.Snapshot(), "old.txt"));
    // The rescan watches the new folders.
    WriteFile(watched_ / "late" / "deeper" / "after.txt");
    EXPECT_TRUE(watch.WaitFor([](const Records& r) { return Has(r, 3, "late/deeper/after.txt"); }));
}

TEST_F(ChangeSourceTest, WithoutSubfoldersOnlyTheFolderItselfIsReported) {
    fs::create_directories(watched_ / "sub");
    Collector& watch = Watch(false);
    WriteFile(watched_ / "sub" / "inner.txt");
    fs::create_directory(watched_ / "newsub");
    WriteFile(watched_ / "newsub" / "x.txt");
    WriteFile(watched_ / "top.txt");
    ASSERT_TRUE(watch.WaitFor([](const Records& r) { return Has(r, 3, "top.txt"); }));
    Records records = watch.Snapshot();
    EXPECT_TRUE(Has(records, 1, "newsub"));
    EXPECT_FALSE(AnyUnder(records, "sub/"));
    EXPECT_FALSE(AnyUnder(records, "newsub/"));
}

TEST_F(ChangeSourceTest, SymbolicLinksAreNotFollowed) {
    fs::create_directories(outside_ / "target");
    fs::create_directory_symlink(outside_ / "target", watched_ / "link");
    Collector& watch = Watch();
    fs::create_directory_symlink(outside_ / "target", watched_ / "link2");
    WriteFile(outside_ / "target" / "x.txt");
    Settle();
    Records records = watch.Snapshot();
    EXPECT_TRUE(Has(records, 1, "link2"));
    EXPECT_FALSE(AnyUnder(records, "link/") || AnyUnder(records, "link2/"));
    EXPECT_EQ(KernelWatchCount(), 2);  // the root and the marker folder
}

TEST_F(ChangeSourceTest, StopWakesAnIdleWaitAtOnce) {
    Collector& watch = Watch();
    std::this_thread::sleep_for(100ms);  // let it block in the wait
    const auto start = std::chrono::steady_clock::now();
    watch.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_TRUE(watch.WaitForEnd());
}

TEST_F(ChangeSourceTest, WatchedFolderThatGoesAwayIsToldAndWatchedAgainWhenBack) {
    using Wake = ChangeSource::Wake;
    WriteFile(watched_ / "f.txt");
    Collector& watch = Watch();
    fs::remove_all(watched_);
    ASSERT_TRUE(watch.WaitForWakes({Wake::FolderGone}));
    EXPECT_TRUE(Has(watch.Snapshot(), 2, "f.txt"));
    EXPECT_EQ(KernelWatchCount(), 0);

    // Made again: watched again, and what it holds by then is reported.
    fs::create_directories(watched_ / "sub");
    WriteFile(watched_ / "sub" / "g.txt");
    ASSERT_TRUE(watch.WaitForWakes({Wake::FolderGone, Wake::FolderBack}));
    ASSERT_TRUE(watch.WaitFor([](const Records& r) { return Has(r, 3, "sub/g.txt"); }));
    WriteFile(watched_ / "sub" / "h.txt");
    ASSERT_TRUE(watch.WaitFor([](const Records& r) { return Reported(r, 3, "sub/h.txt"); }));

    // Renamed away: its new place is not watched; renamed back, it is watched again.
    fs::rename(watched_, outside_ / "moved");
    const std::vector<Wake> away{Wake::FolderGone, Wake::FolderBack, Wake::FolderGone};
    ASSERT_TRUE(watch.WaitForWakes(away));
    EXPECT_EQ(KernelWatchCount(), 0);
    WriteFile(outside_ / "moved" / "sub" / "while-away.txt");
    fs::rename(outside_ / "moved", watched_);
    std::vector<Wake> back = away;
    back.push_back(Wake::FolderBack);
    ASSERT_TRUE(watch.WaitForWakes(back));
    WriteFile(watched_ / "sub" / "after.txt");
    ASSERT_TRUE(watch.WaitFor([](const Records& r) { return Reported(r, 3, "sub/after.txt"); }));
    EXPECT_TRUE(Has(watch.Snapshot(), 3, "sub/while-away.txt"));

    // The stop still ends a source whose folder is away.
    fs::remove_all(watched_);
    back.push_back(Wake::FolderGone);
    ASSERT_TRUE(watch.WaitForWakes(back));
    const auto start = std::chrono::steady_clock::now();
    watch.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
}

TEST_F(ChangeSourceTest, OpeningFailsWithTheSystemsText) {
    std::string error;
    EXPECT_EQ(ChangeSource::Open((base_ / "missing").string(), true, &error), nullptr);
    EXPECT_EQ(error, std::strerror(ENOENT));
    WriteFile(base_ / "file");
    EXPECT_EQ(ChangeSource::Open((base_ / "file").string(), false, &error), nullptr);
    EXPECT_EQ(error, std::strerror(ENOTDIR));
}

// In a child process whose own limit of watches leaves none, not even for the folder itself.
// Returns 0 when every step held, else the number of the step that failed.
int WatchedFolderWithoutAnyWatch(const fs::path& watched) {
    if (!EnterNamespaceWithWatchLimit(0)) {
        return kNoOwnNamespace;
    }
    std::string error;
    std::unique_ptr<ChangeSource> source = ChangeSource::Open(watched.string(), true, &error);
    if (!source) {
        return 10;
    }
    Collector watch(std::move(source));
    if (!watch.WaitFor([](const Records& r) { return Has(r, kRecordUnwatched, ""); })) {
        return 11;
    }
    WriteFile(watched / "top.txt");
    WriteFile(watched / "sub" / "inner.txt");
    if (!watch.WaitFor([](const Records& r) {
            return Has(r, 3, "top.txt") && Has(r, 3, "sub/inner.txt") && !Reported(r, 3, "top.txt");
        })) {
        return 12;
    }
    const auto raised = std::chrono::steady_clock::now();
    if (!SetOwnWatchLimit(100)) {
        return 13;
    }
    if (!watch.WaitFor([](const Records& r) { return Has(r, kRecordWatchedAgain, ""); })) {
        return 14;
    }
    if (std::chrono::steady_clock::now() - raised >
        InotifyChangeSource::kUnwatchedScanPeriod + 1s) {
        return 15;
    }
    WriteFile(watched / "later.txt");
    WriteFile(watched / "sub" / "later.txt");
    const bool reported = watch.WaitFor([](const Records& r) {
        return Reported(r, 3, "later.txt") && Reported(r, 3, "sub/later.txt");
    });
    return reported ? 0 : 16;
}

TEST_F(ChangeSourceTest, WithoutAnyWatchLeftTheFolderIsScannedUntilOneCanBeHad) {
    const int result = RunInChild([&] { return WatchedFolderWithoutAnyWatch(watched_); });
    if (result == kNoOwnNamespace) {
        GTEST_SKIP() << "no user namespace to lower the limit in";
    }
    EXPECT_EQ(result, 0) << "see the step numbers in WatchedFolderWithoutAnyWatch";
}

// In a child process whose own limit of watches covers the root and two of the five folders
// a to e. Returns 0 when every step held, else the number of the step that failed.
int FoldersBeyondTheLimitAreScannedAndWatchedLater(const fs::path& watched) {
    if (!EnterNamespaceWithWatchLimit(3)) {
        return kNoOwnNamespace;
    }
    std::string error;
    std::unique_ptr<ChangeSource> source = ChangeSource::Open(watched.string(), true, &error);
    if (!source) {
        return 10;
    }
    Collector watch(std::move(source));
    if (!watch.WaitFor([](const Records& r) { return CountAction(r, kRecordUnwatched) == 3; })) {
        return 11;
    }
    const std::vector<std::string> folders{"a", "b", "c", "d", "e"};
    for (const std::string& folder : folders) {
        WriteFile(watched / folder / "new.txt");
    }
    // Files in unwatched folders are found by the scan, and only there.
    const auto written = std::chrono::steady_clock::now();
    bool found = watch.WaitFor([&](const Records& r) {
        return std::all_of(folders.begin(), folders.end(),
                           [&](const std::string& f) { return Has(r, 3, f + "/new.txt"); });
    });
    if (!found) {
        return 12;
    }
    if (std::chrono::steady_clock::now() - written >
        InotifyChangeSource::kUnwatchedScanPeriod + 1s) {
        return 13;
    }
    for (const ChangeRecord& record : watch.Snapshot()) {
        if (record.Action == kRecordUnwatched &&
            Reported(watch.Snapshot(), 3, record.Name + "/new.txt")) {
            return 14;
        }
    }
    // A folder made while no watch is left: told, and what it holds is reported.
    fs::create_directories(watched / "f" / "g");
    WriteFile(watched / "f" / "g" / "h.txt");
    if (!watch.WaitFor([](const Records& r) {
            return Has(r, kRecordUnwatched, "f") && Named(r, "f/g/h.txt");
        })) {
        return 15;
    }
    // Raised: every folder is watched within one scan period.
    const auto raised = std::chrono::steady_clock::now();
    if (!SetOwnWatchLimit(100)) {
        return 16;
    }
    if (!watch.WaitFor([](const Records& r) { return CountAction(r, kRecordWatchedAgain) == 4; })) {
        return 17;
    }
    if (std::chrono::steady_clock::now() - raised >
        InotifyChangeSource::kUnwatchedScanPeriod + 1s) {
        return 18;
    }
    for (const char* folder : {"a", "b", "c", "d", "e", "f/g"}) {
        WriteFile(watched / folder / "later.txt");
    }
    bool reported = watch.WaitFor([](const Records& r) {
        for (const std::string folder : {"a", "b", "c", "d", "e", "f/g"}) {
            if (!Reported(r, 3, folder + "/later.txt")) {
                return false;
            }
        }
        return true;
    });
    return reported ? 0 : 19;
}

TEST_F(ChangeSourceTest, FoldersBeyondTheWatchLimitAreToldScannedAndWatchedWhenItAllows) {
    for (const char* name : {"a", "b", "c", "d", "e"}) {
        fs::create_directories(watched_ / name);
    }
    const int result =
        RunInChild([&] { return FoldersBeyondTheLimitAreScannedAndWatchedLater(watched_); });
    if (result == kNoOwnNamespace) {
        GTEST_SKIP() << "no user namespace to lower the limit in";
    }
    EXPECT_EQ(result, 0)
        << "see the step numbers in FoldersBeyondTheLimitAreScannedAndWatchedLater";
}

}  // namespace
