// How the store grows: identical saves share one copy, the keeping rules remove exactly the
// snapshots they should (never a file's newest), the store's figures, and the low-space guard.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <chrono>
#include <map>
#include <set>

#include "DiskTestSupport.h"
#include "StoreTestSupport.h"
#include "core/EventCodes.h"
#include "core/StoreWarning.h"
#include "store/FileOperation.h"
#include "store/KeepingRules.h"
#include "store/SnapshotIndex.h"
#include "store/SpaceGuard.h"
#include "store/StoreContents.h"

namespace {

using namespace store_test;
using namespace disk_test;

constexpr std::int64_t kDay = 24 * 60 * 60;
constexpr size_t kMegabyte = 1000 * 1000;

std::int64_t NowSeconds() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void SetAgeInDays(const std::string& path, double days) {
    const std::int64_t when = NowSeconds() - static_cast<std::int64_t>(days * kDay);
    const struct timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

ino_t InodeOf(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 ? status.st_ino : 0;
}

class StoreGrowthTest : public StoreFixture {
  protected:
    void SetUp() override {
        StoreFixture::SetUp();
        ResetSnapshotQueue();
        PublishKeepingRules({}, {});
        SetStoreShortOfSpace(false);
    }
    void TearDown() override {
        PublishKeepingRules({}, {});
        SetStoreShortOfSpace(false);
        StoreFixture::TearDown();
    }
    // Writes the file and takes its snapshot through the queue, as a save does.
    void Save(const std::string& name, const std::string& content) {
        WriteBytes(Src(name), content);
        QueueAppend(name, name, 3);
        TakeSnapshots();
    }
    std::vector<int> Listed(const std::string& name) const {
        std::vector<int> numbers;
        for (const auto& item : ReadSnapshotList(Src(name))) {
            numbers.push_back(item.Number);
        }
        return numbers;
    }
    std::string IndexText(const std::string& name) const {
        return ReadBytes(Store(name + "/snapshot.ini"));
    }
};

TEST_F(StoreGrowthTest, TenIdenticalSavesTakeTheSpaceOfOneTenDifferentSavesOfTen) {
    const std::string same = PatternBytes(10 * kMegabyte, 3);
    for (int n = 0; n < 10; ++n) {
        Save("same.bin", same);
    }
    for (int n = 0; n < 10; ++n) {
        Save("varied.bin", PatternBytes(10 * kMegabyte, 10 + n));
    }
    const std::int64_t sameBytes = CountStore(Store("same.bin")).DiskBytes;
    const std::int64_t variedBytes = CountStore(Store("varied.bin")).DiskBytes;
    std::printf("ten identical saves of 10 MB: %.1f MB; ten different saves: %.1f MB\n",
                sameBytes / 1e6, variedBytes / 1e6);
    EXPECT_GE(sameBytes, 10'000'000);
    EXPECT_LT(sameBytes, 10'500'000);
    EXPECT_GE(variedBytes, 100'000'000);
    EXPECT_LT(variedBytes, 101'000'000);

    // Every save is recorded as before: ten numbers, ten entries, ten log lines.
    EXPECT_EQ(Listed("same.bin"), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_NE(IndexText("same.bin").find("\r\nNO=10\r\n"), std::string::npos);
    EXPECT_EQ(LogRecords(kLogCopied).size(), 20u);
    EXPECT_EQ(InodeOf(Store("same.bin/SnapShot.1")), InodeOf(Store("same.bin/SnapShot.10")));
    EXPECT_EQ(ReadBytes(Store("same.bin/SnapShot.10")), same);
    EXPECT_EQ(ReadBytes(Store("varied.bin/SnapShot.7")), PatternBytes(10 * kMegabyte, 16));
}

TEST_F(StoreGrowthTest, OnlyEqualBytesAreSharedAlsoWithinOneBatch) {
    std::string text = PatternBytes(100000, 1);
    WriteBytes(Src("a.txt"), text);
    QueueAppend("a.txt", "a.txt", 3);
    QueueAppend("a.txt", "a.txt", 3);  // both in one batch: the second shares the first
    TakeSnapshots();
    text.back() ^= 1;  // same size, last byte differs
    Save("a.txt", text);
    Save("a.txt", PatternBytes(100000, 1));  // back to the first content: equals no newest
    EXPECT_EQ(InodeOf(Store("a.txt/SnapShot.1")), InodeOf(Store("a.txt/SnapShot.2")));
    EXPECT_NE(InodeOf(Store("a.txt/SnapShot.2")), InodeOf(Store("a.txt/SnapShot.3")));
    EXPECT_NE(InodeOf(Store("a.txt/SnapShot.3")), InodeOf(Store("a.txt/SnapShot.4")));
    EXPECT_EQ(ReadBytes(Store("a.txt/SnapShot.3")), text);
    EXPECT_EQ(Listed("a.txt"), (std::vector<int>{1, 2, 3, 4}));
}

// Nothing writes into a snapshot after it is made: restoring one and then changing the restored
// file, or deleting one name, leaves the other names of shared data as they were.
TEST_F(StoreGrowthTest, SharedCopiesSurviveRestoresAndRemovalOfOneName) {
    Save("doc.txt", "kept twice");
    Save("doc.txt", "kept twice");
    ASSERT_EQ(InodeOf(Store("doc.txt/SnapShot.1")), InodeOf(Store("doc.txt/SnapShot.2")));
    ASSERT_TRUE(TransferFile(Store("doc.txt/SnapShot.2"), Src("doc.txt"), kTransferCopy, true));
    WriteBytes(Src("doc.txt"), "changed after the restore");
    // A restore onto a snapshot's own name replaces the name, not the shared data.
    WriteBytes(Src("other.txt"), "other");
    ASSERT_TRUE(TransferFile(Src("other.txt"), Store("doc.txt/SnapShot.2"), kTransferCopy, true));
    EXPECT_EQ(ReadBytes(Store("doc.txt/SnapShot.1")), "kept twice");
    PublishKeepingRules(Store(""), {1, 0, 0});
    ApplyKeepingRulesInForce();
    EXPECT_FALSE(fs::exists(Store("doc.txt/SnapShot.1")));
    EXPECT_EQ(ReadBytes(Store("doc.txt/SnapShot.2")), "other");
}

// A store made for the rules: a.txt 6 snapshots, b.txt 3, c.txt 1, each copy 300000 bytes of
// its own content, with ages in days as below.
class KeepingRulesTest : public StoreGrowthTest {
  protected:
    void SetUp() override {
        StoreGrowthTest::SetUp();
        Make("a.txt", {40, 30, 20, 9, 5, 1});
        Make("b.txt", {50, 45, 40});
        Make("c.txt", {100});
    }
    void Make(const std::string& name, const std::vector<double>& ages) {
        const std::string folder = Store(name);
        for (size_t i = 0; i < ages.size(); ++i) {
            const std::string copy = NewSnapshot(folder, 3);
            WriteBytes(copy, PatternBytes(300000, static_cast<unsigned>(name[0] * 10 + i)));
            SetAgeInDays(copy, ages[i]);
        }
    }
    TCleanupResult Apply(const TKeepingRules& rules) {
        const TCount before = CountStore(Store(""));
        const TCleanupResult result = ApplyKeepingRules(Store(""), rules, NowSeconds());
        EXPECT_EQ(result.FreedBytes, before.DiskBytes - CountStore(Store("")).DiskBytes);
        return result;
    }
    // The removals logged, as "<file>/<n>".
    std::set<std::string> Logged() const {
        std::set<std::string> removed;
        for (const auto& record : LogRecords(kLogSnapshotRemovedByRule)) {
            const fs::path copy = record.FileText;
            removed.insert(copy.parent_path().filename().string() + "/" +
                           copy.filename().string().substr(9));
        }
        return removed;
    }
    void ExpectLeft(const std::vector<int>& a, const std::vector<int>& b,
                    const std::vector<int>& c) {
        EXPECT_EQ(Listed("a.txt"), a);
        EXPECT_EQ(Listed("b.txt"), b);
        EXPECT_EQ(Listed("c.txt"), c);
        // Copies and entries go together; NO keeps the highest number ever given.
        EXPECT_EQ(CountStore(Store("")).Snapshots,
                  static_cast<std::int64_t>(a.size() + b.size() + c.size()));
        EXPECT_NE(IndexText("a.txt").find("NO=6\r\n"), std::string::npos);
        EXPECT_NE(IndexText("b.txt").find("NO=3\r\n"), std::string::npos);
        for (const int n : a) {
            EXPECT_NE(IndexText("a.txt").find("\r\n" + std::to_string(n) + "="), std::string::npos);
        }
    }
};

TEST_F(KeepingRulesTest, EveryRuleOffRemovesNothing) {
    EXPECT_EQ(Apply({}).Removed, 0);
    ExpectLeft({1, 2, 3, 4, 5, 6}, {1, 2, 3}, {1});
    EXPECT_TRUE(Logged().empty());
}

TEST_F(KeepingRulesTest, CountKeepsTheNewestOfEachFile) {
    EXPECT_EQ(Apply({2, 0, 0}).Removed, 5);
    ExpectLeft({5, 6}, {2, 3}, {1});
    EXPECT_EQ(Logged(),
              (std::set<std::string>{"a.txt/1", "a.txt/2", "a.txt/3", "a.txt/4", "b.txt/1"}));
}

TEST_F(KeepingRulesTest, AgeRemovesOlderSnapshotsButNeverAFilesNewest) {
    EXPECT_EQ(Apply({0, 10, 0}).Removed, 5);
    ExpectLeft({4, 5, 6}, {3}, {1});  // c.txt's only snapshot is 100 days old
    EXPECT_EQ(Logged(),
              (std::set<std::string>{"a.txt/1", "a.txt/2", "a.txt/3", "b.txt/1", "b.txt/2"}));
}

TEST_F(KeepingRulesTest, SizeRemovesTheOldestAcrossFilesUntilTheStoreFits) {
    EXPECT_EQ(Apply({0, 0, 2}).Removed, 4);
    ExpectLeft({3, 4, 5, 6}, {3}, {1});
    EXPECT_LE(CountStore(Store("")).DiskBytes, 2'000'000);
    EXPECT_EQ(Logged(), (std::set<std::string>{"a.txt/1", "a.txt/2", "b.txt/1", "b.txt/2"}));
}

TEST_F(KeepingRulesTest, AllRulesTogetherLeaveOnlyWhatEachAllows) {
    EXPECT_EQ(Apply({4, 35, 1}).Removed, 7);
    ExpectLeft({6}, {3}, {1});
    EXPECT_EQ(Logged().size(), 7u);
    // The next save continues above the highest number ever given.
    Save("a.txt", "after the clean-up");
    EXPECT_EQ(Listed("a.txt"), (std::vector<int>{6, 7}));
}

// Data shared by several snapshots counts once, and frees space only with its last name.
TEST_F(KeepingRulesTest, SharedDataCountsOnceAndIsFreedWithItsLastName) {
    const std::string folder = Store("d.txt");
    Save("d.txt", PatternBytes(400000, 9));
    Save("d.txt", PatternBytes(400000, 9));
    Save("d.txt", "new");
    SetAgeInDays(folder + "/SnapShot.1", 60);
    const TCount count = CountStore(Store(""));
    EXPECT_EQ(MeasureStore(Store("")).DiskBytes, count.DiskBytes);
    const TCleanupResult result = Apply({0, 0, 3});  // 3.0 MB + 0.4 MB: d.txt's pair goes
    EXPECT_FALSE(fs::exists(folder + "/SnapShot.1"));
    EXPECT_FALSE(fs::exists(folder + "/SnapShot.2"));
    EXPECT_GE(result.FreedBytes, 400000);
}

TEST_F(KeepingRulesTest, AnIndexEditedByHandLosesTheEntriesOfRemovedSnapshots) {
    const std::string index = Store("b.txt/snapshot.ini");
    WriteBytes(index, "; edited\r\n" + ReadBytes(index));
    EXPECT_EQ(Apply({1, 0, 0}).Removed, 7);
    ExpectLeft({6}, {3}, {1});
}

TEST_F(KeepingRulesTest, RulesInForceRunWhenTheQueueIsDrained) {
    PublishKeepingRules(Store(""), {3, 0, 0});
    Save("b.txt", "fourth");
    EXPECT_EQ(Listed("b.txt"), (std::vector<int>{2, 3, 4}));
    EXPECT_EQ(Listed("a.txt"), (std::vector<int>{4, 5, 6}));
}

TEST_F(KeepingRulesTest, FiguresMatchTheTestsOwnCount) {
    Save("d.txt", "one");
    Save("d.txt", "one");
    const TCount count = CountStore(Store(""));
    const TStoreFigures figures = MeasureStore(Store(""));
    EXPECT_EQ(figures.DiskBytes, count.DiskBytes);
    EXPECT_EQ(figures.Snapshots, 12);
    EXPECT_EQ(figures.Files, 4);
    struct statvfs disk {};
    ASSERT_EQ(statvfs(Store("").c_str(), &disk), 0);
    EXPECT_TRUE(figures.FreeKnown);
    EXPECT_NEAR(static_cast<double>(figures.FreeBytes),
                static_cast<double>(disk.f_bavail) * disk.f_frsize, 50e6);
    EXPECT_EQ(MeasureStore(Store("missing")).Snapshots, 0);
    EXPECT_FALSE(MeasureStore("").FreeKnown);
}

TEST(KeepingRuleSettingsTest, OnlyAWholeNumberAboveZeroTurnsARuleOn) {
    EXPECT_EQ(SettingKeepLimit("5"), 5);
    EXPECT_EQ(SettingKeepLimit("+12"), 12);
    for (const char* off : {"", "0", "-3", "abc", "1.5", "99999999999", "PARROR: STORE"}) {
        EXPECT_EQ(SettingKeepLimit(off), 0) << off;
    }
}

// A store on a small tmpfs: a copy larger than its free space is refused with its log line, the
// tray shows the warning, and smaller files go on being snapshotted.
TEST_F(StoreGrowthTest, CopyWithoutRoomOnTheStoresDiskIsRefusedAndSmallerFilesGoOn) {
    const fs::path small = root_ / "small";
    const TSmallDisk disk(small, "8m");
    if (!disk.Mounted()) {
        GTEST_SKIP() << "mounting a small tmpfs is not permitted here";
    }
    RunSettings.DESTINATION = small.string();

    Save("big.bin", PatternBytes(9 * 1024 * 1024));
    const auto refused = LogRecords(kLogStoreDiskFull);
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_EQ(refused[0].FileText, Src("big.bin"));
    EXPECT_EQ(refused[0].ImageIndex, kImageError);
    EXPECT_TRUE(StoreShortOfSpace());
    EXPECT_FALSE(fs::exists(small / "big.bin" / "SnapShot.1"));
    EXPECT_TRUE(TemporaryFilesIn(small / "big.bin").empty());

    // Fits the free space but not the margin (1 % of the disk): refused as well.
    const struct statvfs before = [&] {
        struct statvfs info {};
        statvfs(small.c_str(), &info);
        return info;
    }();
    const auto free = static_cast<size_t>(before.f_bavail * before.f_frsize);
    Save("nearly.bin", PatternBytes(free - SpaceMargin(before.f_blocks * before.f_frsize) / 2));
    EXPECT_EQ(LogRecords(kLogStoreDiskFull).size(), 2u);

    Save("small.txt", "a small file still gets its snapshot");
    EXPECT_EQ(ReadBytes(small / "small.txt" / "SnapShot.1"),
              "a small file still gets its snapshot");
    EXPECT_TRUE(StoreShortOfSpace());  // the largest refused copy still has no room
    EXPECT_EQ(SpaceMargin(1'000'000'000), 10'000'000);
    EXPECT_EQ(SpaceMargin(1'000'000'000'000), 500'000'000);
}

TEST_F(StoreGrowthTest, WarningEndsOnceTheDiskHasRoomForTheRefusedCopy) {
    const fs::path small = root_ / "small";
    const TSmallDisk disk(small, "8m");
    if (!disk.Mounted()) {
        GTEST_SKIP() << "mounting a small tmpfs is not permitted here";
    }
    RunSettings.DESTINATION = small.string();
    WriteBytes(small / "filler", PatternBytes(5 * 1024 * 1024));
    Save("doc.bin", PatternBytes(4 * 1024 * 1024));
    EXPECT_TRUE(StoreShortOfSpace());
    fs::remove(small / "filler");
    Save("doc.bin", PatternBytes(4 * 1024 * 1024, 2));
    EXPECT_FALSE(StoreShortOfSpace());
    EXPECT_TRUE(fs::exists(small / "doc.bin" / "SnapShot.1"));
}

}  // namespace
