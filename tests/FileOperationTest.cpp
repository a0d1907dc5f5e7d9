// TransferFile and the snapshot worker on real files: whole copies, every failure with its log
// line and the promise that a failed copy never damages the target, rename and delete, and
// TakeSnapshots draining the queue.
#include "core/EventCodes.h"
#include "store/FileOperation.h"

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "StoreTestSupport.h"
#include "store/SnapshotIndex.h"

namespace {

using namespace store_test;
using Clock = std::chrono::steady_clock;

constexpr int kCannotDropPrivilege = 77;

// Takes away the privilege to read and write files regardless of their permissions, so that a
// file of mode 0000 cannot be opened even by root.
bool DropFileAccessOverride() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (syscall(SYS_capget, &header, data) != 0) {
        return false;
    }
    for (unsigned cap : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
        data[cap / 32].effective &= ~(1u << (cap % 32));
    }
    return syscall(SYS_capset, &header, data) == 0;
}

// Runs work in a child process without the access override; its exit status comes back.
// readyFd, when given, is the write end of a pipe the child writes one byte to before work.
int RunWithoutAccessOverride(const std::function<int()>& work, int readyFd = -1) {
    const pid_t child = fork();
    if (child == 0) {
        if (getuid() == 0 && !DropFileAccessOverride()) {
            _exit(kCannotDropPrivilege);
        }
        if (readyFd >= 0 && write(readyFd, "r", 1) != 1) {
            _exit(kCannotDropPrivilege);
        }
        _exit(work());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

long PeakMemoryKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

class TransferFileTest : public StoreFixture {
  protected:
    void ExpectOnlyLogLine(int code, int image, const std::string& file) {
        const auto records = LogRecords();
        ASSERT_EQ(records.size(), 1u);
        EXPECT_EQ(records[0].Code, code);
        EXPECT_EQ(records[0].ImageIndex, image);
        EXPECT_EQ(records[0].FileText, file);
    }
};

TEST_F(TransferFileTest, CopiesWholeFilesOfEverySizeAroundTheBufferSize) {
    for (size_t size : {size_t{0}, size_t{1}, size_t{8191}, size_t{8192}, size_t{8193},
                        size_t{3 * 8192}, size_t{100000}}) {
        const std::string source = Src("f" + std::to_string(size));
        const std::string target = Store("copies/SnapShot." + std::to_string(size));
        WriteBytes(source, PatternBytes(size, static_cast<unsigned>(size)));
        EXPECT_TRUE(TransferFile(source, target, kTransferCopy, true)) << size;
        EXPECT_EQ(ReadBytes(target), PatternBytes(size, static_cast<unsigned>(size))) << size;
    }
    const auto copied = LogRecords(12);
    ASSERT_EQ(copied.size(), 7u);
    EXPECT_EQ(copied[3].ImageIndex, 7);
    EXPECT_EQ(copied[3].FileText, Src("f8192"));
    EXPECT_TRUE(TemporaryFilesIn(Store("copies")).empty());
    EXPECT_EQ(trayStates_.size(), 14u);
    for (size_t i = 0; i < trayStates_.size(); ++i) {
        EXPECT_EQ(trayStates_[i], i % 2 == 0) << "busy image exactly while a transfer runs";
    }
}

TEST_F(TransferFileTest, RestoreReplacesTheTargetKeepingItsPermissions) {
    const std::string target = Src("doc.txt");
    WriteBytes(target, "the current content, longer than the snapshot");
    chmod(target.c_str(), 0640);
    WriteBytes(Store("doc.txt/SnapShot.1"), "old");
    EXPECT_TRUE(TransferFile(Store("doc.txt/SnapShot.1"), target, kTransferCopy, true));
    EXPECT_EQ(ReadBytes(target), "old");
    struct stat st {};
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    ExpectOnlyLogLine(12, 7, Store("doc.txt/SnapShot.1"));
    EXPECT_TRUE(TemporaryFilesIn(root_ / "src").empty());
}

TEST_F(TransferFileTest, RestoreOntoALinkWritesThroughTheLink) {
    WriteBytes(Src("real/doc.txt"), "current");
    fs::create_symlink("real/doc.txt", Src("link.txt"));
    WriteBytes(Store("doc.txt/SnapShot.1"), "old");
    EXPECT_TRUE(TransferFile(Store("doc.txt/SnapShot.1"), Src("link.txt"), kTransferCopy, true));
    EXPECT_TRUE(fs::is_symlink(Src("link.txt")));
    EXPECT_EQ(ReadBytes(Src("real/doc.txt")), "old");
}

TEST_F(TransferFileTest, SourceThatIsNoExistingFileIsNoFailureAndDoesNothing) {
    fs::create_directories(Src("folder"));
    EXPECT_TRUE(TransferFile(Src("missing.txt"), Store("x/SnapShot.1"), kTransferCopy, true));
    EXPECT_TRUE(TransferFile(Src("folder"), Store("y/SnapShot.1"), kTransferCopy, true));
    EXPECT_FALSE(fs::exists(Store("")));
    EXPECT_TRUE(LogRecords().empty());
    EXPECT_EQ(trayStates_, (std::vector<bool>{true, false, true, false}));
}

TEST_F(TransferFileTest, TargetFolderThatCannotBeCreatedIsLoggedWithCode8) {
    WriteBytes(Src("a.txt"), "content");
    WriteBytes(Store("blocker"), "a file where a folder should be");
    EXPECT_FALSE(TransferFile(Src("a.txt"), Store("blocker/sub/SnapShot.1"), kTransferCopy, true));
    ExpectOnlyLogLine(8, 5, Src("a.txt"));
    EXPECT_EQ(trayStates_, (std::vector<bool>{true, false}));
}

TEST_F(TransferFileTest, TargetThatCannotBeReplacedIsLoggedWithCode10) {
    WriteBytes(Src("a.txt"), "content");
    WriteBytes(Store("a.txt/SnapShot.1/inner"), "a folder stands where the copy should go");
    EXPECT_FALSE(TransferFile(Src("a.txt"), Store("a.txt/SnapShot.1"), kTransferCopy, true));
    ExpectOnlyLogLine(10, 5, Src("a.txt"));
    EXPECT_EQ(ReadBytes(Store("a.txt/SnapShot.1/inner")),
              "a folder stands where the copy should go");
    EXPECT_TRUE(TemporaryFilesIn(Store("a.txt")).empty());
}

TEST_F(TransferFileTest, ReadErrorIsAFailureAndKeepsTheOldTarget) {
    // Reading this process's memory at offset 0 fails with an input/output error.
    const std::string unreadable = "/proc/self/mem";
    ASSERT_TRUE(fs::is_regular_file(unreadable));
    const std::string target = Src("doc.txt");
    WriteBytes(target, "precious");
    EXPECT_FALSE(TransferFile(unreadable, target, kTransferCopy, true));
    EXPECT_EQ(ReadBytes(target), "precious");
    ExpectOnlyLogLine(11, 5, unreadable);
    EXPECT_TRUE(TemporaryFilesIn(root_ / "src").empty());
}

TEST_F(TransferFileTest, FullDiskIsAFailureAndKeepsTheOldTarget) {
    const fs::path small = root_ / "small";
    fs::create_directories(small);
    if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=1m") != 0) {
        GTEST_SKIP() << "mounting a small tmpfs is not permitted here";
    }
    struct Unmount {
        std::string path;
        ~Unmount() { umount2(path.c_str(), MNT_DETACH); }
    } unmount{small.string()};
    const std::string target = (small / "doc.txt").string();
    WriteBytes(target, "the document before the restore");
    WriteBytes(Src("big.bin"), PatternBytes(2 * 1024 * 1024));
    EXPECT_FALSE(TransferFile(Src("big.bin"), target, kTransferCopy, true));
    EXPECT_EQ(ReadBytes(target), "the document before the restore");
    EXPECT_TRUE(TemporaryFilesIn(small).empty());
    ExpectOnlyLogLine(11, 5, Src("big.bin"));
}

TEST_F(TransferFileTest, SourceThatCannotBeOpenedIsRetriedThenLoggedWithCode9) {
    const std::string source = Src("locked.txt");
    WriteBytes(source, "content");
    chmod(source.c_str(), 0000);
    const auto start = Clock::now();
    const int status = RunWithoutAccessOverride([&] {
        const std::string copy = NewSnapshot(SnapshotFolder(source), 3);
        return TransferFile(source, copy, kTransferCopy, true) ? 1 : 0;
    });
    const auto elapsed = Clock::now() - start;
    if (status == kCannotDropPrivilege) {
        GTEST_SKIP() << "cannot give up the file access privilege here";
    }
    EXPECT_EQ(status, 0);
    EXPECT_GE(elapsed, std::chrono::milliseconds(1900)) << "200 retries 10 ms apart";
    ExpectOnlyLogLine(9, 5, source);
    // The entry recorded before the copy stays and shows as missing.
    const auto list = ReadSnapshotList(source);
    ASSERT_EQ(list.size(), 1u);
    const auto entry = ReadSnapshotEntry(Store("locked.txt/snapshot.ini"), 1);
    ASSERT_TRUE(entry);
    EXPECT_FALSE(entry->CopyExists);
}

TEST_F(TransferFileTest, SourceThatBecomesReadableWithinTheRetriesIsCopied) {
    const std::string source = Src("busy.txt");
    WriteBytes(source, "content");
    chmod(source.c_str(), 0000);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    std::thread release([&] {
        char byte;
        if (read(ready[0], &byte, 1) == 1) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        chmod(source.c_str(), 0644);
    });
    const int status = RunWithoutAccessOverride(
        [&] { return TransferFile(source, Store("busy.txt/SnapShot.1"), 0, true) ? 0 : 1; },
        ready[1]);
    close(ready[1]);
    release.join();
    close(ready[0]);
    if (status == kCannotDropPrivilege) {
        GTEST_SKIP() << "cannot give up the file access privilege here";
    }
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadBytes(Store("busy.txt/SnapShot.1")), "content");
    ExpectOnlyLogLine(12, 7, source);
}

TEST_F(TransferFileTest, LargeFileIsStreamedNotHeldInMemory) {
    const std::string source = Src("large.bin");
    WriteBytes(source, "");
    constexpr off_t kSize = 96LL * 1024 * 1024;
    fs::resize_file(source, kSize);  // a sparse file: reading it costs no disk
    const long before = PeakMemoryKb();
    EXPECT_TRUE(TransferFile(source, Store("large.bin/SnapShot.1"), kTransferCopy, true));
    EXPECT_EQ(static_cast<off_t>(fs::file_size(Store("large.bin/SnapShot.1"))), kSize);
    EXPECT_LT(PeakMemoryKb() - before, 16 * 1024) << "peak memory grew with the file";
}

TEST_F(TransferFileTest, RenameAndPermanentDeleteWriteNoLogLines) {
    WriteBytes(Store("a.txt/SnapShot.1"), "1");
    EXPECT_TRUE(TransferFile(Store("a.txt"), Store("b.txt"), kTransferRename, true));
    EXPECT_FALSE(fs::exists(Store("a.txt")));
    EXPECT_EQ(ReadBytes(Store("b.txt/SnapShot.1")), "1");
    EXPECT_TRUE(TransferFile(Store("b.txt"), "", kTransferDelete, true));
    EXPECT_FALSE(fs::exists(Store("b.txt")));
    EXPECT_TRUE(TransferFile(Store("gone"), "", kTransferDelete, true));
    EXPECT_TRUE(TransferFile(Store("gone"), Store("gone2"), kTransferRename, true));
    EXPECT_TRUE(TransferFile(Store("x"), Store("y"), 7, true));
    EXPECT_FALSE(ShellFileOperation(Store("gone"), "", 4, true));
    EXPECT_TRUE(LogRecords().empty());
    EXPECT_EQ(trayStates_.size(), 10u);
}

class SnapshotWorkerTest : public StoreFixture {
  protected:
    void SetUp() override {
        StoreFixture::SetUp();
        ResetSnapshotQueue();
    }
    void Queue(const std::string& oldName, const std::string& newName, int action) {
        QueueAppend(oldName, newName, action);
    }
    std::string Index(const std::string& name) const {
        return ReadBytes(Store(name) + "/snapshot.ini");
    }
    // The action code recorded for snapshot n of a stored name.
    int CodeOf(const std::string& name, int n) const {
        const auto entry = ReadSnapshotEntry(Store(name) + "/snapshot.ini", n);
        return entry && entry->CopyExists ? entry->ActionCode : -1;
    }
};

TEST_F(SnapshotWorkerTest, EmptyQueueReportsFalse) {
    EXPECT_FALSE(TakeSnapshots());
    EXPECT_FALSE(fs::exists(Store("")));
}

TEST_F(SnapshotWorkerTest, AddedAndModifiedFilesGetTheNextSnapshotWithCode3) {
    WriteBytes(Src("a.txt"), "first");
    Queue("a.txt", "a.txt", 1);
    EXPECT_TRUE(TakeSnapshots());
    WriteBytes(Src("a.txt"), "second");
    Queue("a.txt", "a.txt", 3);
    WriteBytes(Src("sub/deep/b.txt"), "b");
    Queue("sub/deep/b.txt", "sub/deep/b.txt", 3);
    EXPECT_TRUE(TakeSnapshots());
    EXPECT_EQ(QueueCount(), 0);
    EXPECT_EQ(ReadBytes(Store("a.txt/SnapShot.1")), "first");
    EXPECT_EQ(ReadBytes(Store("a.txt/SnapShot.2")), "second");
    EXPECT_EQ(CodeOf("a.txt", 1), 3);
    EXPECT_EQ(CodeOf("a.txt", 2), 3);
    EXPECT_EQ(ReadBytes(Store("sub/deep/b.txt/SnapShot.1")), "b");
    const auto copied = LogRecords(12);
    ASSERT_EQ(copied.size(), 3u);
    EXPECT_EQ(copied[0].FileText, Src("a.txt"));
}

// A removal changes nothing; a change whose file is gone before its turn is logged as a copy that
// could not be made (code 9), so no version is lost in silence.
TEST_F(SnapshotWorkerTest, RemovedFilesAndFoldersChangeNothing) {
    WriteBytes(Store("a.txt/SnapShot.1"), "1");
    Queue("a.txt", "a.txt", 2);
    Queue("gone.txt", "gone.txt", 3);
    fs::create_directories(Src("folder"));
    Queue("folder", "folder", 1);
    Queue("folder", "folder", 3);
    EXPECT_TRUE(TakeSnapshots());
    EXPECT_EQ(QueueCount(), 0);
    EXPECT_EQ(ReadBytes(Store("a.txt/SnapShot.1")), "1");
    EXPECT_FALSE(fs::exists(Store("gone.txt")));
    EXPECT_FALSE(fs::exists(Store("folder")));
    EXPECT_TRUE(trayStates_.empty());
    const auto records = LogRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Code, 9);
    EXPECT_EQ(records[0].FileText, Src("gone.txt"));
}

TEST_F(SnapshotWorkerTest, RenamedFileTakesItsHistoryAlongOrGetsAFirstSnapshotWithCode4) {
    WriteBytes(Src("a.txt"), "a");
    Queue("a.txt", "a.txt", 1);
    TakeSnapshots();
    const std::string history = Index("a.txt");
    fs::rename(Src("a.txt"), Src("b.txt"));
    Queue("a.txt", "b.txt", 4);
    WriteBytes(Src("c.txt"), "c");
    Queue("old-c.txt", "c.txt", 4);
    TakeSnapshots();
    EXPECT_FALSE(fs::exists(Store("a.txt")));
    EXPECT_EQ(Index("b.txt"), history) << "the index moves unchanged, no new snapshot";
    EXPECT_EQ(ReadBytes(Store("b.txt/SnapShot.1")), "a");
    EXPECT_EQ(ReadBytes(Store("c.txt/SnapShot.1")), "c");
    EXPECT_EQ(CodeOf("c.txt", 1), 4);
}

TEST_F(SnapshotWorkerTest, RenameOntoANameWithHistoryBringsTheRenamedFilesSnapshotsAlong) {
    WriteBytes(Src("doc.txt"), "v1");
    Queue("doc.txt", "doc.txt", 3);
    WriteBytes(Src("doc.txt.tmp"), "v2");
    Queue("doc.txt.tmp", "doc.txt.tmp", 3);
    TakeSnapshots();
    fs::rename(Src("doc.txt.tmp"), Src("doc.txt"));
    Queue("doc.txt.tmp", "doc.txt", 4);
    TakeSnapshots();
    EXPECT_EQ(ReadBytes(Store("doc.txt/SnapShot.1")), "v1");
    EXPECT_EQ(ReadBytes(Store("doc.txt/SnapShot.2")), "v2");
    EXPECT_EQ(CodeOf("doc.txt", 2), 3) << "the cause it was recorded with";
    EXPECT_FALSE(fs::exists(Store("doc.txt/SnapShot.3"))) << "moved, no new copy";
    EXPECT_FALSE(fs::exists(Store("doc.txt.tmp")));
    const auto joined = LogRecords(kLogHistoryJoined);
    ASSERT_EQ(joined.size(), 1u);
    EXPECT_EQ(joined[0].ImageIndex, 7);

    // A renamed file without snapshots of its own gets one new snapshot with code 4.
    WriteBytes(Src("new.tmp"), "v3");
    fs::rename(Src("new.tmp"), Src("doc.txt"));
    Queue("new.tmp", "doc.txt", 4);
    TakeSnapshots();
    EXPECT_EQ(ReadBytes(Store("doc.txt/SnapShot.3")), "v3");
    EXPECT_EQ(CodeOf("doc.txt", 3), 4);
}

TEST_F(SnapshotWorkerTest, RenamedFolderTakesItsStoreTreeAlong) {
    WriteBytes(Src("sub/x/a.txt"), "a");
    Queue("sub/x/a.txt", "sub/x/a.txt", 3);
    TakeSnapshots();
    fs::rename(Src("sub"), Src("sub2"));
    Queue("sub", "sub2", 4);
    TakeSnapshots();
    EXPECT_FALSE(fs::exists(Store("sub")));
    EXPECT_EQ(ReadBytes(Store("sub2/x/a.txt/SnapShot.1")), "a");
    EXPECT_EQ(ReadSnapshotList(Src("sub2/x/a.txt")).size(), 1u);
}

TEST_F(SnapshotWorkerTest, FileMovedIntoAnotherFolderTakesItsHistoryAlong) {
    WriteBytes(Src("one/a.txt"), "a");
    Queue("one/a.txt", "one/a.txt", 3);
    TakeSnapshots();
    WriteBytes(Src("two/three/a.txt"), "a");
    fs::remove(Src("one/a.txt"));
    Queue("one/a.txt", "two/three/a.txt", 4);
    TakeSnapshots();
    EXPECT_EQ(ReadBytes(Store("two/three/a.txt/SnapShot.1")), "a");
    EXPECT_FALSE(fs::exists(Store("one/a.txt")));
}

TEST_F(SnapshotWorkerTest, QueueIsDrainedInArrivalOrder) {
    // The history of a.txt must move to b.txt before b.txt's change is stored: in the other
    // order b.txt would start a history of its own.
    WriteBytes(Src("a.txt"), "a1");
    Queue("a.txt", "a.txt", 3);
    WriteBytes(Src("a.txt"), "a2");
    Queue("a.txt", "a.txt", 3);
    TakeSnapshots();
    fs::rename(Src("a.txt"), Src("b.txt"));
    Queue("a.txt", "b.txt", 4);
    Queue("b.txt", "b.txt", 3);
    TakeSnapshots();
    EXPECT_EQ(ReadSnapshotList(Src("b.txt")).size(), 3u);
    EXPECT_EQ(CodeOf("b.txt", 3), 3);
    EXPECT_EQ(ReadBytes(Store("b.txt/SnapShot.3")), "a2");
}

TEST_F(SnapshotWorkerTest, NamesThatLeaveTheWatchedFolderWriteNothingOutsideTheStore) {
    WriteBytes(root_ / "outside.txt", "outside");
    Queue("../outside.txt", "../outside.txt", 3);
    Queue("a.txt", "../outside.txt", 4);
    TakeSnapshots();
    EXPECT_FALSE(fs::exists(Store("")));
    EXPECT_FALSE(fs::exists(root_ / "outside.txt" / "snapshot.ini"));
    EXPECT_TRUE(LogRecords().empty());
}

}  // namespace
