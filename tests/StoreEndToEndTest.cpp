// The real watcher and the real store together on a temporary folder: every change of a
// document ends as the snapshots a user expects to find.
#include <cstdlib>
#include <fstream>

#include "StoreEndToEnd.h"
#include "core/EventCodes.h"
#include "platform/IniFile.h"
#include "store/WatchState.h"

namespace {

using namespace store_test;

TEST_F(StoreEndToEndTest, NewFileGetsAStoreFolderWithIndexAndAnEqualCopy) {
    Start();
    const std::string content = PatternBytes(20000);
    ASSERT_TRUE(SaveAndSee("a.txt", content));
    EXPECT_TRUE(fs::is_regular_file(Store("a.txt/snapshot.ini")));
    EXPECT_TRUE(fs::is_regular_file(Store("a.txt/SnapShot.1")));
    EXPECT_EQ(CodeOf("a.txt", 1), 3);
    for (int n = 1; n <= LastNumber("a.txt"); ++n) {
        const std::string copy = CopyOf("a.txt", n);
        EXPECT_EQ(content.compare(0, copy.size(), copy), 0)
            << "snapshot " << n << " holds a beginning of the file";
    }
    const auto copied = LogRecords(12);
    ASSERT_FALSE(copied.empty());
    EXPECT_EQ(copied.back().FileText, Src("a.txt"));
    EXPECT_TRUE(QueueCount() == 0);
}

TEST_F(StoreEndToEndTest, TenSavesGiveTenSnapshots) {
    WriteBytes(Src("doc.txt"), "version 0");  // exists before watching: only saves count
    Start();
    for (int n = 1; n <= 10; ++n) {
        ASSERT_TRUE(SaveAndSee("doc.txt", "version " + std::to_string(n))) << "save " << n;
    }
    EXPECT_EQ(LastNumber("doc.txt"), 10);
    EXPECT_EQ(CopyOf("doc.txt", 9), "version 9");
    EXPECT_EQ(CopyOf("doc.txt", 10), "version 10");
    EXPECT_NE(ReadBytes(Store("doc.txt/snapshot.ini")).find("\r\nNO=10\r\n"), std::string::npos);
}

TEST_F(StoreEndToEndTest, FileTwoFoldersDeepIsStoredUnderBothMirrorFolders) {
    Start();
    fs::create_directories(Src("one/two"));
    ASSERT_TRUE(SaveAndSee("one/two/deep.txt", "deep"));
    EXPECT_FALSE(fs::exists(Store("one/snapshot.ini")));
    EXPECT_FALSE(fs::exists(Store("one/two/snapshot.ini")));
}

TEST_F(StoreEndToEndTest, RenamedFileTakesItsHistoryOrGetsAFirstSnapshotWithCode4) {
    WriteBytes(Src("plain.txt"), "never saved while watched");
    Start();
    ASSERT_TRUE(SaveAndSee("a.txt", "a"));
    const std::string history = ReadBytes(Store("a.txt/snapshot.ini"));
    fs::rename(Src("a.txt"), Src("b.txt"));
    ASSERT_TRUE(PumpUntil([&] { return !fs::exists(Store("a.txt")); }));
    EXPECT_EQ(ReadBytes(Store("b.txt/snapshot.ini")), history);

    fs::rename(Src("plain.txt"), Src("renamed.txt"));
    ASSERT_TRUE(
        PumpUntil([&] { return LatestSnapshotIs("renamed.txt", "never saved while watched"); }));
    EXPECT_EQ(LastNumber("renamed.txt"), 1);
    EXPECT_EQ(CodeOf("renamed.txt", 1), 4);
}

TEST_F(StoreEndToEndTest, RenamedFolderTakesItsStoreTreeAlong) {
    Start();
    fs::create_directories(Src("sub/inner"));
    ASSERT_TRUE(SaveAndSee("sub/inner/x.txt", "x"));
    const int snapshots = LastNumber("sub/inner/x.txt");
    fs::rename(Src("sub"), Src("sub2"));
    ASSERT_TRUE(PumpUntil([&] { return fs::exists(Store("sub2/inner/x.txt/snapshot.ini")); }));
    EXPECT_FALSE(fs::exists(Store("sub")));
    EXPECT_EQ(LastNumber("sub2/inner/x.txt"), snapshots);
    // The moved history goes on growing under the new name.
    ASSERT_TRUE(SaveAndSee("sub2/inner/x.txt", "x2"));
    EXPECT_EQ(LastNumber("sub2/inner/x.txt"), snapshots + 1);
}

TEST_F(StoreEndToEndTest, RemovedFileChangesNothingInTheStore) {
    Start();
    ASSERT_TRUE(SaveAndSee("a.txt", "a"));
    const std::string index = ReadBytes(Store("a.txt/snapshot.ini"));
    fs::remove(Src("a.txt"));
    // Changes are handled in order: once a later file is stored, the removal has been handled.
    ASSERT_TRUE(SaveAndSee("later.txt", "later"));
    EXPECT_EQ(ReadBytes(Store("a.txt/snapshot.ini")), index);
    EXPECT_EQ(CopyOf("a.txt", LastNumber("a.txt")), "a");
}

TEST_F(StoreEndToEndTest, SavingAfterDeletingSnapshotsStartsAgainAtOne) {
    WriteBytes(Src("a.txt"), "before");
    Start();
    ASSERT_TRUE(SaveAndSee("a.txt", "one"));
    ASSERT_TRUE(SaveAndSee("a.txt", "two"));
    DeleteSnapshots(Src("a.txt"));
    EXPECT_FALSE(fs::exists(Store("a.txt")));
    ASSERT_TRUE(SaveAndSee("a.txt", "three"));
    EXPECT_EQ(LastNumber("a.txt"), 1);
    EXPECT_NE(
        ReadBytes(Store("a.txt/snapshot.ini")).find("[GENERAL]\r\nNO=1\r\n \r\n[DATES]\r\n1="),
        std::string::npos);
}

TEST_F(StoreEndToEndTest, EditorSaveThroughATemporaryFileKeepsTheDocumentsHistory) {
    WriteBytes(Src("report.txt"), "draft");
    Start();
    ASSERT_TRUE(SaveAndSee("report.txt", "first version"));
    const int before = LastNumber("report.txt");
    // The editor writes the new content beside the document and renames it over the document.
    WriteBytes(Src(".report.txt.swp"), "second version");
    fs::rename(Src(".report.txt.swp"), Src("report.txt"));
    ASSERT_TRUE(PumpUntil([&] { return LatestSnapshotIs("report.txt", "second version"); }));
    EXPECT_EQ(LastNumber("report.txt"), before + 1);
    EXPECT_EQ(CopyOf("report.txt", before), "first version");
    // One save: a modification when the editor's writes and the rename were read together, a
    // rename onto the document when they came apart.
    const int code = CodeOf("report.txt", before + 1);
    EXPECT_TRUE(code == 3 || code == 4) << code;
}

// A document written in chunks while its writer holds it open is snapshotted once, whole, when
// the writer closes it; a file that arrives whole is snapshotted at once.
TEST_F(StoreEndToEndTest, AFileWrittenSlowlyGetsOneWholeSnapshotWhenItsWriterCloses) {
    Start();
    std::string expected;
    {
        std::ofstream out(Src("slow.txt"), std::ios::binary);
        for (int chunk = 0; chunk < 20; ++chunk) {
            const std::string piece = "chunk " + std::to_string(chunk) + "\n";
            out << piece << std::flush;
            expected += piece;
            std::this_thread::sleep_for(100ms);
        }
        EXPECT_FALSE(fs::exists(Store("slow.txt"))) << "nothing while the writer writes";
    }
    ASSERT_TRUE(PumpUntil([&] { return LatestSnapshotIs("slow.txt", expected); }));
    ASSERT_TRUE(WaitForStoreIdle(5s));
    std::this_thread::sleep_for(200ms);
    ASSERT_TRUE(WaitForStoreIdle(5s));
    EXPECT_EQ(LastNumber("slow.txt"), 1);
    EXPECT_EQ(CodeOf("slow.txt", 1), 3);

    // A hard link and a file moved in arrive whole.
    WriteBytes(Src("../outside.txt"), "moved in");
    fs::rename(Src("../outside.txt"), Src("moved.txt"));
    fs::create_hard_link(Src("moved.txt"), Src("linked.txt"));
    EXPECT_TRUE(PumpUntil([&] {
        return LatestSnapshotIs("moved.txt", "moved in") &&
               LatestSnapshotIs("linked.txt", "moved in");
    }));
}

// cp of a file over the size limit: the size is judged when cp has written it all, so there is
// no snapshot of its first part and no store folder, only the one size line.
TEST_F(StoreEndToEndTest, CopyingAFileOverTheLimitIntoTheFolderLeavesNoStoreFolder) {
    Start();
    {
        std::ofstream out(root_ / "big.bin", std::ios::binary);
        out << std::string(3'000'000, 'b');
    }
    for (int run = 0; run < 3; ++run) {
        const std::string command = "cp '" + (root_ / "big.bin").string() + "' '" +
                                    Src("big" + std::to_string(run) + ".bin") + "'";
        ASSERT_EQ(std::system(command.c_str()), 0);
    }
    ASSERT_TRUE(PumpUntil([&] { return LogRecords(6).size() >= 3; }));
    ASSERT_TRUE(WaitForStoreIdle(5s));
    std::this_thread::sleep_for(300ms);
    for (int run = 0; run < 3; ++run) {
        EXPECT_FALSE(fs::exists(Store("big" + std::to_string(run) + ".bin"))) << "no store folder";
    }
    EXPECT_EQ(LogRecords(6).size(), 3u);
    EXPECT_TRUE(LogRecords(12).empty());
}

// Every DATES entry of every index in the store names an existing copy; returns the entries.
int ExpectNoEntryWithoutACopy(const fs::path& store) {
    int entries = 0;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(store, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->path().filename() != "snapshot.ini") {
            continue;
        }
        const auto index = IniFile::Open(it->path().string());
        EXPECT_TRUE(index.has_value()) << it->path();
        if (!index) {
            continue;
        }
        for (const auto& [key, value] : index->ReadSection("DATES")) {
            ++entries;
            EXPECT_TRUE(fs::exists(it->path().parent_path() / ("SnapShot." + key)))
                << it->path() << " names snapshot " << key << " without a copy";
        }
    }
    return entries;
}

// A file renamed within moments of its save: its snapshot is either taken (and follows the
// name) or told in the log; no index entry is left without its copy.
TEST_F(StoreEndToEndTest, AFileRenamedRightAfterItsSaveLeavesNoEntryWithoutACopy) {
    Start();
    for (int i = 0; i < 300; ++i) {
        const std::string name = "quick" + std::to_string(i);
        WriteBytes(Src(name + ".tmp"), PatternBytes(2000, static_cast<unsigned>(i)));
        fs::rename(Src(name + ".tmp"), Src(name + ".txt"));
    }
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(WaitForStoreIdle(30s));
    EXPECT_GT(ExpectNoEntryWithoutACopy(Store("")), 0);
}

// A store on a full disk: copies that do not fit fail with their log line and leave the index
// as it was; every entry that is there names a complete copy.
TEST_F(StoreEndToEndTest, AFullStoreLeavesNoEntryWithoutACompleteCopy) {
    fs::create_directories(Store(""));
    if (std::system(("mount -t tmpfs -o size=1m tmpfs '" + Store("") + "' 2>/dev/null").c_str()) !=
        0) {
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    }
    Start();
    for (int i = 0; i < 60; ++i) {
        WriteBytes(Src("doc" + std::to_string(i)), PatternBytes(50000, static_cast<unsigned>(i)));
    }
    std::this_thread::sleep_for(300ms);
    const bool idle = WaitForStoreIdle(30s);
    EndWatchingQuietly();
    int complete = 0;
    for (int i = 0; i < 60; ++i) {
        const std::string name = "doc" + std::to_string(i);
        for (const TSnapshotListItem& item : ReadSnapshotList(Src(name))) {
            EXPECT_EQ(CopyOf(name, item.Number), PatternBytes(50000, static_cast<unsigned>(i)))
                << name << " snapshot " << item.Number;
            ++complete;
        }
    }
    // Most are refused before the copy by the low-space guard (19); a copy under way when the
    // disk fills fails while writing.
    const size_t failures = LogRecords(10).size() + LogRecords(11).size() + LogRecords(8).size() +
                            LogRecords(19).size();
    EXPECT_EQ(std::system(("umount -l '" + Store("") + "'").c_str()), 0);
    EXPECT_TRUE(idle);
    EXPECT_GT(complete, 0);
    EXPECT_LT(complete, 60);
    EXPECT_GE(failures, 1u) << "the copies that did not fit are told";
}

// A change made while a settings save had watching stopped is caught up when watching starts
// again, and told once; an unchanged file gets no second snapshot.
TEST_F(StoreEndToEndTest, AChangeMadeWhileASettingsSaveHadWatchingStoppedIsCaughtUp) {
    WriteBytes(Src("kept.txt"), "unchanged");
    Start();
    ASSERT_TRUE(SaveAndSee("doc.txt", "watched"));
    ASSERT_TRUE(SaveAndSee("kept.txt", "unchanged and saved"));
    StopWatching();
    WriteBytes(Src("doc.txt"), "changed while stopped");
    WriteBytes(Src("made.txt"), "made while stopped");
    ASSERT_TRUE(ReloadSettings());
    EXPECT_TRUE(PumpUntil([&] {
        return LatestSnapshotIs("doc.txt", "changed while stopped") &&
               LatestSnapshotIs("made.txt", "made while stopped");
    }));
    ASSERT_TRUE(WaitForStoreIdle(10s));
    EXPECT_EQ(LastNumber("kept.txt"), 1) << "its newest snapshot holds it already";
    const auto caughtUp = LogRecords(kLogCaughtUp);
    ASSERT_EQ(caughtUp.size(), 1u);
    // The two changed files; the file saved just before the stop may count too, since the moment
    // watching was complete comes from a coarser clock than file times.
    EXPECT_TRUE(caughtUp[0].FileText == "2" || caughtUp[0].FileText == "3")
        << caughtUp[0].FileText;
}

// The store's note of until when watching was complete keeps its moment to the nanosecond; a
// missing or garbled note is no note.
TEST(WatchStateNote, KeepsItsMomentAndIgnoresGarbage) {
    const TempFolder temp("ostrevan-state");
    const std::string store = (temp.Path() / "store").string();
    EXPECT_FALSE(ReadWatchCompleteUntil(store).has_value());
    ASSERT_TRUE(WriteWatchCompleteUntil(store, timespec{1765100000, 123456789}));
    const auto read = ReadWatchCompleteUntil(store);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->tv_sec, 1765100000);
    EXPECT_EQ(read->tv_nsec, 123456789);
    for (const std::string garbage : {"", "[WATCH]\r\nCOMPLETEUNTIL=\r\n",
                                      "[WATCH]\r\nCOMPLETEUNTIL=-5\r\n", "COMPLETEUNTIL=abc"}) {
        WriteBytes(fs::path(store) / kWatchStateName, garbage);
        EXPECT_FALSE(ReadWatchCompleteUntil(store).has_value()) << garbage;
    }
}

}  // namespace
