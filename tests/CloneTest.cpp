// Snapshots on file systems that share blocks: on a loop-mounted XFS image made with reflink and
// on a Btrfs image, a snapshot is a clone that takes no space, holds the file's bytes, and stays
// as it was when the document changes afterwards. Needs root and loop devices; skips without.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/statvfs.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "store/SnapshotBatch.h"
#include "store/SnapshotIndex.h"
#include "tests/StoreTestSupport.h"

namespace {

namespace fs = std::filesystem;
using store_test::PatternBytes;

constexpr std::size_t kDocumentBytes = 64u << 20;

// A file system image of the given kind mounted on a temporary folder for the test's span.
class LoopMount {
  public:
    LoopMount(const fs::path& folder, const std::string& makeCommand, const std::string& size)
        : Image(folder / "image"), Mount(folder / "mnt") {
        fs::create_directories(Mount);
        const std::string make = "truncate -s " + size + " '" + Image.string() + "' && " +
                                 makeCommand + " '" + Image.string() + "' >/dev/null 2>&1";
        Mounted = std::system(make.c_str()) == 0 &&
                  std::system(("mount -o loop '" + Image.string() + "' '" + Mount.string() +
                               "' >/dev/null 2>&1")
                                  .c_str()) == 0;
    }
    ~LoopMount() {
        if (Mounted) {
            ::umount2(Mount.c_str(), MNT_DETACH);
        }
    }
    LoopMount(const LoopMount&) = delete;
    LoopMount& operator=(const LoopMount&) = delete;

    double FreeMegabytes() const {
        struct statvfs space {};
        ::statvfs(Mount.c_str(), &space);
        return static_cast<double>(space.f_bavail) * space.f_frsize / (1 << 20);
    }

    fs::path Image;
    fs::path Mount;
    bool Mounted = false;
};

// The fixture points the program folder (and so the day log) at a temporary folder.
class CloneTest : public store_test::StoreFixture,
                  public ::testing::WithParamInterface<const char*> {};

TEST_P(CloneTest, ASnapshotIsACloneThatTakesNoSpaceAndKeepsItsBytes) {
    const std::string kind = GetParam();
    const std::string make = kind == "xfs" ? "mkfs.xfs -q -m reflink=1" : "mkfs.btrfs -q";
    if (std::system(("command -v " + make.substr(0, make.find(' ')) + " >/dev/null").c_str()) !=
        0) {
        GTEST_SKIP() << make << " is not installed";
    }
    const TempFolder temp("ostrevan-clone");
    const LoopMount disk(temp.Path(), make, "400M");
    if (!disk.Mounted) {
        GTEST_SKIP() << "no loop device can be mounted here (needs root and /dev/loop*)";
    }
    const fs::path document = disk.Mount / "report.odt";
    const std::string content = PatternBytes(kDocumentBytes, 3);
    WriteBytes(document, content);
    const fs::path folder = disk.Mount / "store" / "report.odt";
    ::sync();
    const double freeBefore = disk.FreeMegabytes();

    {
        TSnapshotBatch batch;
        batch.Add(document.string(), folder.string(), 3);
        batch.Commit();
    }
    const fs::path copy = folder / "SnapShot.1";
    ASSERT_TRUE(fs::exists(copy));
    EXPECT_LT(freeBefore - disk.FreeMegabytes(), 1.0) << kind << ": the copy shares its blocks";
    EXPECT_TRUE(ReadBytes(copy) == content);

    // The document changes in place: the snapshot keeps the old bytes.
    {
        std::fstream out(document, std::ios::in | std::ios::out | std::ios::binary);
        out.seekp(1000);
        out << "changed after the snapshot";
    }
    EXPECT_TRUE(ReadBytes(copy) == content);
    EXPECT_FALSE(ReadBytes(document) == content);
}

INSTANTIATE_TEST_SUITE_P(SharedBlocks, CloneTest, ::testing::Values("xfs", "btrfs"));

}  // namespace
