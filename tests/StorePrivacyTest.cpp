// Who may read the store: snapshots of a private document stay private (checked by mode bits and
// by a process running as another user), and a restore over a document keeps its owner,
// permissions and extended attributes, also when its folder is read-only.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "StoreTestSupport.h"
#include "store/FileOperation.h"
#include "store/SnapshotBatch.h"
#include "store/SnapshotIndex.h"
#include "tests/ReadOnlyFolder.h"

namespace {

using namespace store_test;

constexpr uid_t kOtherUser = 65534;
constexpr int kCannotBecomeOtherUser = 77;

unsigned ModeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 07777;
}

// 0 when a process running as another user can open path for reading, 1 when it cannot.
int OpenedByAnotherUser(const std::string& path) {
    const pid_t child = fork();
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(kOtherUser) != 0 || setuid(kOtherUser) != 0) {
            _exit(kCannotBecomeOtherUser);
        }
        const int fd = ::open(path.c_str(), O_RDONLY);
        _exit(fd >= 0 ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class StorePrivacyTest : public StoreFixture {
  protected:
    // Takes a snapshot of a new file of the given mode; returns the copy's path.
    std::string SnapshotOf(const std::string& name, mode_t mode) {
        WriteBytes(Src(name), "content of " + name);
        EXPECT_EQ(::chmod(Src(name).c_str(), mode), 0);
        TSnapshotBatch batch;
        batch.Add(Src(name), SnapshotFolder(Src(name)), 3);
        batch.Commit();
        return SnapshotFolder(Src(name)) + "/SnapShot.1";
    }
};

TEST_F(StorePrivacyTest, SnapshotsAreNeverReadableByMorePeopleThanTheirDocument) {
    const mode_t oldMask = ::umask(0);  // the modes below must not depend on the umask
    const std::string secret = SnapshotOf("dir/secret.txt", 0600);
    const std::string shared = SnapshotOf("dir/shared.txt", 0640);
    const std::string open = SnapshotOf("open.txt", 0666);
    ::umask(oldMask);

    EXPECT_EQ(ModeOf(secret), 0600u);
    EXPECT_EQ(ModeOf(shared), 0640u);
    EXPECT_EQ(ModeOf(open), 0666u);
    for (const std::string folder : {"", "/dir", "/dir/secret.txt", "/open.txt"}) {
        EXPECT_EQ(ModeOf((root_ / "store").string() + folder), 0700u) << folder;
    }
    EXPECT_EQ(ModeOf(Store("dir/secret.txt/snapshot.ini")), 0600u);
    EXPECT_EQ(ModeOf(Store("open.txt/snapshot.ini")), 0600u);

    // Seen from another user's process, with every folder above the store open to all.
    fs::permissions(root_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
    WriteBytes(root_ / "readable.txt", "anyone");
    ::chmod((root_ / "readable.txt").c_str(), 0644);
    const int control = OpenedByAnotherUser((root_ / "readable.txt").string());
    if (control == kCannotBecomeOtherUser) {
        GTEST_SKIP() << "cannot run a process as another user here";
    }
    ASSERT_EQ(control, 0) << "another user must reach the temporary folder for this test";
    EXPECT_EQ(OpenedByAnotherUser(secret), 1);
    EXPECT_EQ(OpenedByAnotherUser(Store("dir/secret.txt/snapshot.ini")), 1);
}

TEST_F(StorePrivacyTest, RestoreOverADocumentKeepsItsOwnerPermissionsAndExtendedAttributes) {
    const std::string target = Src("doc.txt");
    WriteBytes(target, "the current content");
    ASSERT_EQ(::chown(target.c_str(), 4321, 4322), 0);
    ASSERT_EQ(::chmod(target.c_str(), 0604), 0);
    const bool withAttribute = ::setxattr(target.c_str(), "user.origin", "mail", 4, 0) == 0;
    WriteBytes(Store("doc.txt/SnapShot.1"), "old");
    ::chmod(Store("doc.txt/SnapShot.1").c_str(), 0600);

    EXPECT_TRUE(TransferFile(Store("doc.txt/SnapShot.1"), target, kTransferCopy, true));
    EXPECT_EQ(ReadBytes(target), "old");
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 4322u);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    if (withAttribute) {
        char value[16] = {};
        EXPECT_EQ(::getxattr(target.c_str(), "user.origin", value, sizeof value), 4);
        EXPECT_STREQ(value, "mail");
    }

    // A restore to a new name gets the snapshot's permissions.
    EXPECT_TRUE(TransferFile(Store("doc.txt/SnapShot.1"), Src("new.txt"), kTransferCopy, true));
    EXPECT_EQ(ModeOf(Src("new.txt")), 0600u);
}

// The document's folder is read-only (bound read-only onto itself) but the document is writable
// (a file bound over it): no temporary file can be made, so the restore writes in place.
TEST_F(StorePrivacyTest, RestoreIntoAReadOnlyFoldersWritableDocumentGoesInPlace) {
    const fs::path folder = root_ / "src" / "ro";
    const std::string target = (folder / "doc.txt").string();
    const std::string writable = (root_ / "writable.txt").string();
    WriteBytes(target, "placeholder");
    WriteBytes(writable, "the current content, longer than the snapshot");
    WriteBytes(Store("ro/doc.txt/SnapShot.1"), "old");
    const TReadOnlyFolderWithWritableFile mounted(folder, "doc.txt", writable);
    if (!mounted.Error().empty()) {
        GTEST_SKIP() << mounted.Error();
    }

    EXPECT_TRUE(TransferFile(Store("ro/doc.txt/SnapShot.1"), target, kTransferCopy, true));
    EXPECT_EQ(ReadBytes(target), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1);
    const auto copied = LogRecords(12);
    ASSERT_EQ(copied.size(), 1u);
}

}  // namespace
