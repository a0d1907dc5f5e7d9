// Real programs saving a document in the watched folder, each in its own way (in place, through a
// temporary file renamed over it, keeping a backup by renaming), and exact emulations of the file
// operations of two that are too large to install for a test: every save is one snapshot in the
// document's own history, and the files the programs make while they work leave no trace.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <set>
#include <thread>

#include "StoreEndToEnd.h"
#include "core/EventCodes.h"

namespace {

using namespace store_test;

class SafeSaveEndToEndTest : public StoreEndToEndTest {
  protected:
    void SetUp() override {
        StoreEndToEndTest::SetUp();
        WriteSettings(".tmp;.bak;.swp");  // the shipped exceptions
        // Files made before watching starts: each later write of them is one save.
        WriteBytes(Src("marker.dat"), "marker 0");
        WindowHooks.ConsoleAppend = [this](const std::string& line) { HoldIfAsked(line); };
    }
    void TearDown() override {
        ReleaseBatches();
        StoreEndToEndTest::TearDown();
        WindowHooks.ConsoleAppend = nullptr;
    }

    // Saves the marker and keeps the wait thread in the handling of its batch until
    // ReleaseBatches, so that everything done meanwhile arrives in one later batch, as a quick
    // program's save does when the watcher is busy.
    void HoldBatches() {
        std::unique_lock<std::mutex> lock(gate_);
        holding_ = true;
        held_ = false;
        ++markerSaves_;
        WriteBytes(Src("marker.dat"), "marker " + std::to_string(markerSaves_));
        ASSERT_TRUE(gateChanged_.wait_for(lock, 10s, [this] { return held_; }));
    }
    void ReleaseBatches() {
        {
            const std::lock_guard<std::mutex> lock(gate_);
            holding_ = false;
        }
        gateChanged_.notify_all();
    }
    // The console hook, on the wait thread.
    void HoldIfAsked(const std::string& line) {
        std::unique_lock<std::mutex> lock(gate_);
        console_.push_back(line);
        if (holding_ && line.find("marker.dat") != std::string::npos) {
            held_ = true;
            gateChanged_.notify_all();
            gateChanged_.wait(lock, [this] { return !holding_; });
        }
    }

    static bool HasProgram(const std::string& name) {
        return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
    }

    // Runs a shell command in the watched folder; true when it ended with status 0.
    bool RunInWatched(const std::string& command) const {
        const std::string line = "cd '" + Src("") + "' && " + command + " >/dev/null 2>&1";
        return std::system(line.c_str()) == 0;
    }

    // Folders of the store that hold a history, relative to the store.
    std::set<std::string> Histories() const {
        std::set<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(Store(""))) {
            if (entry.path().filename() == "snapshot.ini") {
                names.insert(fs::relative(entry.path().parent_path(), Store("")).string());
            }
        }
        return names;
    }

    // Every copy file anywhere in the store.
    int CopiesInStore() const {
        int count = 0;
        for (const auto& entry : fs::recursive_directory_iterator(Store(""))) {
            count += entry.path().filename().string().rfind("SnapShot.", 0) == 0 ? 1 : 0;
        }
        return count;
    }

    // Changes are handled in order: once a later save is stored, every earlier one has been.
    void SettleWithMarker() {
        ++markerSaves_;
        ASSERT_TRUE(SaveAndSee("marker.dat", "marker " + std::to_string(markerSaves_)));
    }
    int markerSaves_ = 0;
    std::mutex gate_;
    std::condition_variable gateChanged_;
    bool holding_ = false;
    bool held_ = false;
    std::vector<std::string> console_;

    // Three saves through save(n), each waited for; then the document's history must hold the
    // three versions as its only snapshots, and no other history may exist.
    void ExpectThreeSavesGiveThreeSnapshots(const std::string& document,
                                            const std::function<bool(int)>& save,
                                            const std::function<std::string(int)>& version) {
        for (int n = 1; n <= 3; ++n) {
            HoldBatches();
            const bool saved = save(n);
            ReleaseBatches();
            ASSERT_TRUE(saved) << "save " << n;
            ASSERT_TRUE(PumpUntil([&] { return LatestSnapshotIs(document, version(n)); }))
                << "save " << n;
        }
        SettleWithMarker();
        EXPECT_EQ(LastNumber(document), 3);
        for (int n = 1; n <= 3; ++n) {
            EXPECT_EQ(CopyOf(document, n), version(n)) << "snapshot " << n;
        }
        EXPECT_EQ(Histories(), std::set<std::string>({document, "marker.dat"}));
        EXPECT_EQ(CopiesInStore(), 3 + markerSaves_) << "one copy per save, and the marker's";
        // The log tells the saves of the document and nothing of the programs' working files.
        int copiesLogged = 0;
        for (const TLogLine& record : LogRecords()) {
            EXPECT_TRUE(record.FileText.empty() || record.FileText == Src(document) ||
                        record.FileText == Src("marker.dat"))
                << record.Code << ": " << record.FileText;
            copiesLogged += record.Code == 12 && record.FileText == Src(document) ? 1 : 0;
        }
        EXPECT_EQ(copiesLogged, 3);
        // The console shows each save once, as the document saved.
        const std::lock_guard<std::mutex> lock(gate_);
        int documentLines = 0;
        for (const std::string& line : console_) {
            const bool ofDocument =
                line.find(" " + document + " > " + document) != std::string::npos;
            EXPECT_TRUE(ofDocument || line.find("marker.dat") != std::string::npos) << line;
            documentLines += ofDocument ? 1 : 0;
        }
        EXPECT_EQ(documentLines, 3);
    }

    static std::string Line(int n) { return "version " + std::to_string(n) + "\n"; }
};

TEST_F(SafeSaveEndToEndTest, VimSavesKeepOneHistoryWithoutSwapProbeOrBackupFiles) {
    if (!HasProgram("vim")) {
        GTEST_SKIP() << "vim is not installed";
    }
    WriteBytes(Src("doc.txt"), Line(0));
    Start();
    // Outside temporary folders vim keeps the old version as doc.txt~ while it writes the new
    // one, probing the folder with a file named 4913 first; backupskip= makes it do so here.
    ExpectThreeSavesGiveThreeSnapshots(
        "doc.txt",
        [&](int n) {
            return RunInWatched(
                "vim --clean -Es -c 'set backupskip=' -c '%d' -c 'call setline(1, "
                "\"version " +
                std::to_string(n) + "\")' -c wq doc.txt");
        },
        Line);
}

TEST_F(SafeSaveEndToEndTest, GioSaveThroughATemporaryFileKeepsOneHistory) {
    if (!HasProgram("gio")) {
        GTEST_SKIP() << "gio is not installed";
    }
    WriteBytes(Src("doc.txt"), Line(0));
    Start();
    ExpectThreeSavesGiveThreeSnapshots(
        "doc.txt",
        [&](int n) {
            return RunInWatched("printf 'version " + std::to_string(n) + "\\n' | gio save doc.txt");
        },
        Line);
}

TEST_F(SafeSaveEndToEndTest, SedInPlaceKeepsOneHistory) {
    WriteBytes(Src("doc.txt"), Line(0));
    Start();
    ExpectThreeSavesGiveThreeSnapshots(
        "doc.txt",
        [&](int n) {
            return RunInWatched("sed -i 's/.*/version " + std::to_string(n) + "/' doc.txt");
        },
        Line);
}

TEST_F(SafeSaveEndToEndTest, RsyncKeepsOneHistory) {
    if (!HasProgram("rsync")) {
        GTEST_SKIP() << "rsync is not installed";
    }
    WriteBytes(Src("doc.txt"), Line(0));
    Start();
    const fs::path outside = root_ / "outside";
    ExpectThreeSavesGiveThreeSnapshots(
        "doc.txt",
        [&](int n) {
            WriteBytes(outside / "doc.txt", Line(n));
            return RunInWatched("rsync -I '" + (outside / "doc.txt").string() + "' doc.txt");
        },
        Line);
}

// The file operations of one save in a fresh session of emacs with its defaults: the lock link
// made when the buffer is first changed, the old version renamed to the backup name, the new
// content written under the document's name and given the old mode, the lock removed.
bool SaveAsEmacsDoes(const std::string& folder, const std::string& name,
                     const std::string& content) {
    const std::string document = folder + "/" + name;
    const std::string lock = folder + "/.#" + name;
    const std::string backup = document + "~";
    struct stat old {};
    if (::stat(document.c_str(), &old) != 0 ||
        ::symlink("root@host.4242:1700000000", lock.c_str()) != 0 ||
        ::rename(document.c_str(), backup.c_str()) != 0) {
        return false;
    }
    const int fd = ::open(document.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        return false;
    }
    const bool written = ::write(fd, content.data(), content.size()) == ssize_t(content.size());
    return ::close(fd) == 0 && written && ::chmod(document.c_str(), old.st_mode & 07777) == 0 &&
           ::unlink(lock.c_str()) == 0;
}

TEST_F(SafeSaveEndToEndTest, EmacsSavesWithBackupAndLockKeepOneHistory) {
    WriteBytes(Src("doc.txt"), Line(0));
    Start();
    ExpectThreeSavesGiveThreeSnapshots(
        "doc.txt", [&](int n) { return SaveAsEmacsDoes(Src(""), "doc.txt", Line(n)); }, Line);
    EXPECT_TRUE(fs::exists(Src("doc.txt~"))) << "the emulation keeps the backup as emacs does";
}

// The file operations of a save by an office suite: a lock file beside the document for as long
// as it is open, each save written in pieces into a temporary file in the document's folder that
// is then renamed over the document.
class OfficeSession {
  public:
    OfficeSession(std::string folder, std::string name)
        : folder_(std::move(folder)), name_(std::move(name)) {
        WriteBytes(LockPath(), ",root,host,07.12.2026 10:00,file:///root/.config;");
    }
    ~OfficeSession() { fs::remove(LockPath()); }

    bool Save(const std::string& content, int round) const {
        const std::string temporary = folder_ + "/lu4242" + std::to_string(round) + "x.tmp";
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            return false;
        }
        bool written = true;
        for (size_t at = 0; at < content.size(); at += 4096) {
            const size_t piece = std::min<size_t>(4096, content.size() - at);
            written = written && ::write(fd, content.data() + at, piece) == ssize_t(piece);
        }
        return ::close(fd) == 0 && written &&
               ::rename(temporary.c_str(), (folder_ + "/" + name_).c_str()) == 0;
    }

  private:
    std::string LockPath() const { return folder_ + "/.~lock." + name_ + "#"; }
    std::string folder_;
    std::string name_;
};

TEST_F(SafeSaveEndToEndTest, OfficeSavesWithLockFileKeepOneHistory) {
    WriteBytes(Src("doc.odt"), PatternBytes(10000, 0));
    Start();
    const auto version = [](int n) { return PatternBytes(10000 + 1000 * n, n); };
    {
        const OfficeSession session(Src(""), "doc.odt");
        ExpectThreeSavesGiveThreeSnapshots(
            "doc.odt", [&](int n) { return session.Save(version(n), n); }, version);
    }
    SettleWithMarker();
    EXPECT_EQ(Histories(), std::set<std::string>({"doc.odt", "marker.dat"}));
}

TEST_F(SafeSaveEndToEndTest, TemporaryFileSeenInAnEarlierBatchJoinsTheHistoryWithoutACopy) {
    WriteBytes(Src("doc.txt"), Line(0));
    Start();
    ASSERT_TRUE(SaveAndSee("doc.txt", Line(1)));
    // The temporary file is stored under its own name before it is renamed over the document
    // (moved in whole, so that it is stored once).
    WriteBytes(root_ / "outside" / ".doc.txt.Ab12Cd", Line(2));
    fs::rename(root_ / "outside" / ".doc.txt.Ab12Cd", Src(".doc.txt.Ab12Cd"));
    ASSERT_TRUE(PumpUntil([&] { return LatestSnapshotIs(".doc.txt.Ab12Cd", Line(2)); }));
    fs::rename(Src(".doc.txt.Ab12Cd"), Src("doc.txt"));
    ASSERT_TRUE(PumpUntil([&] { return !fs::exists(Store(".doc.txt.Ab12Cd")); }));
    SettleWithMarker();
    EXPECT_EQ(LastNumber("doc.txt"), 2);
    EXPECT_EQ(CopyOf("doc.txt", 2), Line(2));
    EXPECT_EQ(CodeOf("doc.txt", 2), 3) << "the temporary file's snapshot keeps its cause";
    EXPECT_EQ(CopiesInStore(), 2 + markerSaves_);
    const auto joined = LogRecords(kLogHistoryJoined);
    ASSERT_EQ(joined.size(), 1u);
    EXPECT_EQ(joined[0].FileText, Src(".doc.txt.Ab12Cd") + " > " + Src("doc.txt"));
}

TEST_F(SafeSaveEndToEndTest, JoinedHistoryEndsWithWhatTheDocumentHoldsAfterTheRename) {
    WriteBytes(Src("doc.txt"), Line(0));
    Start();
    WriteBytes(root_ / "outside" / "t.part2", "first half");
    fs::rename(root_ / "outside" / "t.part2", Src("t.part2"));
    ASSERT_TRUE(PumpUntil([&] { return LatestSnapshotIs("t.part2", "first half"); }));
    // Finished and renamed over the document before the watcher reads again: the snapshot of
    // the temporary file is not the document's new content.
    HoldBatches();
    WriteBytes(Src("t.part2"), "first half, second half");
    fs::rename(Src("t.part2"), Src("doc.txt"));
    ReleaseBatches();
    ASSERT_TRUE(PumpUntil([&] { return LatestSnapshotIs("doc.txt", "first half, second half"); }));
    SettleWithMarker();
    EXPECT_EQ(LastNumber("doc.txt"), 2);
    EXPECT_EQ(CopyOf("doc.txt", 1), "first half");
    EXPECT_EQ(CodeOf("doc.txt", 2), 4);
    EXPECT_FALSE(fs::exists(Store("t.part2")));
}

TEST_F(SafeSaveEndToEndTest, HistoryOfFiveRenamedOntoHistoryOfThreeGivesOneOfEight) {
    WriteBytes(Src("a.txt"), "a0");
    WriteBytes(Src("b.txt"), "b0");
    Start();
    for (int n = 1; n <= 3; ++n) {
        ASSERT_TRUE(SaveAndSee("b.txt", "b" + std::to_string(n)));
    }
    for (int n = 1; n <= 5; ++n) {
        ASSERT_TRUE(SaveAndSee("a.txt", "a" + std::to_string(n)));
    }
    ASSERT_EQ(LastNumber("a.txt"), 5);
    ASSERT_EQ(LastNumber("b.txt"), 3);
    const auto entryOf = [&](const std::string& name, int n) {
        return ReadIniValue("DATES", std::to_string(n), Store(name) + "/snapshot.ini");
    };
    std::vector<std::string> expectedEntries;
    for (int n = 1; n <= 3; ++n) {
        expectedEntries.push_back(entryOf("b.txt", n));
    }
    for (int n = 1; n <= 5; ++n) {
        expectedEntries.push_back(entryOf("a.txt", n));
    }
    fs::rename(Src("a.txt"), Src("b.txt"));
    ASSERT_TRUE(PumpUntil([&] { return !fs::exists(Store("a.txt")); }));
    SettleWithMarker();
    ASSERT_EQ(LastNumber("b.txt"), 8);
    for (int n = 1; n <= 8; ++n) {
        const std::string expected = n <= 3 ? "b" + std::to_string(n) : "a" + std::to_string(n - 3);
        EXPECT_EQ(CopyOf("b.txt", n), expected) << n;
        EXPECT_EQ(entryOf("b.txt", n), expectedEntries[static_cast<size_t>(n - 1)]) << n;
    }
    EXPECT_EQ(Histories(), std::set<std::string>({"b.txt", "marker.dat"}));
    EXPECT_EQ(CopiesInStore(), 8 + markerSaves_) << "moved, not copied";
}

}  // namespace
