// The real watcher and the real store together on a temporary folder: every change of a
// document ends as the snapshots a user expects to find.
#include "StoreEndToEnd.h"

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

}  // namespace
