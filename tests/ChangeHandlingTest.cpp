// Batches of change records turned into console lines, log lines and queued events.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/WatchFixture.h"

namespace {

namespace fs = std::filesystem;

class ChangeHandlingTest : public WatchFixture {
  protected:
    void Dispatch(const std::vector<ChangeRecord>& batch) { DispatchNotifications(batch); }

    // A batch as the wait thread hands it over: LastEvent reset first.
    void DispatchAsNewBatch(const std::vector<ChangeRecord>& batch) {
        ResetLastEvent();
        DispatchNotifications(batch);
    }

    std::vector<std::string> DrainedNewNames() const {
        std::vector<std::string> names;
        for (const TSnapshotEvent& event : Drained) {
            names.push_back(event.NewName);
        }
        return names;
    }

    // Log lines of the given code, as (code, image, file) checks.
    std::vector<TLogLine> LogLinesOf(int code) const {
        std::vector<TLogLine> found;
        for (const TLogLine& record : LogRecords()) {
            if (record.Code == code) {
                found.push_back(record);
            }
        }
        return found;
    }
};

using Names = std::vector<std::string>;

TEST_F(ChangeHandlingTest, ModificationRecordsInARowOfOneFileGiveOneEvent) {
    WriteFile(Watched / "a.txt", 10);
    WriteFile(Watched / "b.txt", 10);
    Dispatch({{3, "a.txt"}, {3, "a.txt"}});
    EXPECT_EQ(DrainedNewNames(), Names({"a.txt"}));
    EXPECT_EQ(Console.size(), 1u);

    Drained.clear();
    Dispatch({{3, "a.txt"}, {3, "a.txt"}, {3, "a.txt"}});
    EXPECT_EQ(DrainedNewNames(), Names({"a.txt", "a.txt"})) << "the first and the third";

    // The held modification names a.txt: one of b.txt is another file and is never dropped.
    Drained.clear();
    HeldEvent.SkipNextModified = 0;
    Dispatch({{3, "a.txt"}, {3, "b.txt"}});
    EXPECT_EQ(DrainedNewNames(), Names({"a.txt", "b.txt"}));
    ASSERT_EQ(Drained.size(), 2u);
    EXPECT_EQ(Drained[1].OldName, "b.txt");
    EXPECT_EQ(Drained[1].Action, 3);
}

TEST_F(ChangeHandlingTest, SaveInTheNextBatchIsNeverDropped) {
    WriteFile(Watched / "a.txt", 10);
    for (int save = 0; save < 3; ++save) {
        DispatchAsNewBatch({{3, "a.txt"}});
    }
    EXPECT_EQ(DrainedNewNames(), Names({"a.txt", "a.txt", "a.txt"}));
}

TEST_F(ChangeHandlingTest, AdditionAndItsModificationInOneBatchGiveOneSnapshot) {
    WriteFile(Watched / "a.txt", 10);
    WriteFile(Watched / "b.txt", 10);
    DispatchAsNewBatch({{1, "a.txt"}, {3, "a.txt"}, {3, "b.txt"}});
    EXPECT_EQ(DrainedNewNames(), Names({"a.txt", "b.txt"}));

    // A later batch reports a later save.
    Drained.clear();
    WriteFile(Watched / "a.txt", 11);
    DispatchAsNewBatch({{3, "a.txt"}});
    EXPECT_EQ(DrainedNewNames(), Names({"a.txt"}));

    // Added and renamed within the batch, as a temporary file is: one modification of the new
    // name, whose snapshot holds what the batch reported.
    Drained.clear();
    WriteFile(Watched / "c.txt", 12);
    DispatchAsNewBatch({{1, "b.txt"}, {4, "b.txt"}, {5, "c.txt"}, {3, "c.txt"}});
    ASSERT_EQ(Drained.size(), 1u);
    EXPECT_EQ(Drained[0].NewName, "c.txt");
    EXPECT_EQ(Drained[0].Action, 3);
}

TEST_F(ChangeHandlingTest, RenameGivesOneEventWithBothNamesAndOneConsoleLine) {
    WriteFile(Watched / "new.txt", 10);
    Dispatch({{4, "old.txt"}, {5, "new.txt"}});
    ASSERT_EQ(Drained.size(), 1u);
    EXPECT_EQ(Drained[0].OldName, "old.txt");
    EXPECT_EQ(Drained[0].NewName, "new.txt");
    EXPECT_EQ(Drained[0].Action, 4);
    EXPECT_EQ(Console, Names({"Renamed: old.txt > new.txt"}));

    // The two halves in two batches are still paired.
    Drained.clear();
    WriteFile(Watched / "third.txt", 10);
    DispatchAsNewBatch({{4, "new.txt"}});
    EXPECT_TRUE(Drained.empty());
    DispatchAsNewBatch({{5, "third.txt"}});
    ASSERT_EQ(Drained.size(), 1u);
    EXPECT_EQ(Drained[0].OldName, "new.txt");
    EXPECT_EQ(Drained[0].NewName, "third.txt");
}

TEST_F(ChangeHandlingTest, NewNameWithoutOldNameIsAnAddition) {
    WriteFile(Watched / "late.txt", 10);
    Dispatch({{5, "late.txt"}});
    ASSERT_EQ(Drained.size(), 1u);
    EXPECT_EQ(Drained[0].OldName, "late.txt");
    EXPECT_EQ(Drained[0].NewName, "late.txt");
    EXPECT_EQ(Drained[0].Action, 1);
    EXPECT_EQ(Console, Names({"Added: late.txt > late.txt"}));

    // After a completed rename nothing is held any more.
    Drained.clear();
    Dispatch({{4, "x.txt"}, {5, "y.txt"}, {5, "z.txt"}});
    ASSERT_EQ(Drained.size(), 2u);
    EXPECT_EQ(Drained[1].Action, 1);
    EXPECT_EQ(Drained[1].NewName, "z.txt");
}

TEST_F(ChangeHandlingTest, RepeatsAreDroppedOnlyWithSkipLikeTasksAndOnlyWithinABatch) {
    const std::vector<ChangeRecord> batch = {{1, "Doc.txt"}, {1, "DOC.TXT"}, {2, "doc.txt"}};
    DispatchAsNewBatch(batch);
    EXPECT_EQ(Drained.size(), 3u) << "suppression off";
    EXPECT_EQ(LastEvent.Action, 9) << "left alone when off";

    Drained.clear();
    Console.clear();
    RunSettings.SKIPLIKETASKS = true;
    DispatchAsNewBatch(batch);
    EXPECT_EQ(Drained.size(), 2u) << "the second addition repeats the first, ASCII case ignored";
    EXPECT_EQ(Console.size(), 3u) << "a repeat is still shown";

    // The same event as the last of the previous batch is queued again.
    Drained.clear();
    DispatchAsNewBatch({{2, "doc.txt"}});
    EXPECT_EQ(Drained.size(), 1u);

    // Letters outside a to z keep their case: these are two names.
    Drained.clear();
    DispatchAsNewBatch({{2, "\xC3\x84.txt"}, {2, "\xC3\xA4.txt"}});
    EXPECT_EQ(Drained.size(), 2u);
}

TEST_F(ChangeHandlingTest, ExtensionListInIncludeAndExcludeMode) {
    for (const char* name : {"plain", "a.do", "a.txt", "b.DOC", "dir.d/inner"}) {
        fs::create_directories((Watched / name).parent_path());
        WriteFile(Watched / name, 5);
    }
    RunSettings.BYEXTMODE = 1;
    RunSettings.BYEXT.clear();
    Dispatch({{1, "a.txt"}});
    EXPECT_TRUE(Drained.empty()) << "include mode with an empty list drops every file";

    RunSettings.BYEXT = ".doc;.txt";
    Dispatch({{1, "plain"}, {1, "a.do"}, {1, "b.DOC"}, {1, "dir.d/inner"}});
    EXPECT_EQ(DrainedNewNames(), Names({"a.do", "b.DOC"})) << ".do is a leading part of .doc";

    // A rename passes the include list when either name is listed.
    Drained.clear();
    Dispatch({{4, "a.tmp"}, {5, "a.txt"}});
    EXPECT_EQ(DrainedNewNames(), Names({"a.txt"}));

    const std::vector<TLogLine> drops = LogLinesOf(5);
    ASSERT_EQ(drops.size(), 3u);
    EXPECT_EQ(drops[0].FileText, "a.txt");
    EXPECT_EQ(drops[0].ImageIndex, 4);
    EXPECT_EQ(drops[1].FileText, "plain");
    EXPECT_EQ(drops[2].FileText, "dir.d/inner");

    // Exclude mode: no extension is never excluded; a rename is dropped only when both
    // names are listed.
    Drained.clear();
    RunSettings.BYEXTMODE = 2;
    Dispatch({{1, "plain"}, {1, "a.txt"}, {4, "b.doc"}, {5, "a.do"}, {4, "a.do"}, {5, "x.tmp"}});
    EXPECT_EQ(DrainedNewNames(), Names({"plain", "x.tmp"}));
    ASSERT_EQ(LogLinesOf(5).size(), 5u);
    EXPECT_EQ(LogLinesOf(5)[4].FileText, "b.doc") << "logged with the old name";
}

TEST_F(ChangeHandlingTest, SizeLimitInKilobytesOfThousandBytes) {
    WriteFile(Watched / "empty.txt", 0);
    WriteFile(Watched / "one.txt", 1);
    WriteFile(Watched / "k.txt", 1000);
    WriteFile(Watched / "k1.txt", 1001);

    RunSettings.BYSIZE = 0;
    Dispatch({{1, "empty.txt"}, {1, "one.txt"}});
    EXPECT_EQ(DrainedNewNames(), Names({"empty.txt"}));

    Drained.clear();
    RunSettings.BYSIZE = 1;
    Dispatch({{1, "k.txt"}, {1, "k1.txt"}});
    EXPECT_EQ(DrainedNewNames(), Names({"k.txt"}));

    const std::vector<TLogLine> drops = LogLinesOf(6);
    ASSERT_EQ(drops.size(), 2u);
    EXPECT_EQ(drops[0].FileText, "one.txt");
    EXPECT_EQ(drops[1].FileText, "k1.txt");
    EXPECT_EQ(drops[1].ImageIndex, 4);

    // A limit whose byte count does not fit 32 bits still lets the file through.
    Drained.clear();
    RunSettings.BYSIZE = 3000000;
    Dispatch({{1, "k1.txt"}});
    EXPECT_EQ(DrainedNewNames(), Names({"k1.txt"}));
}

TEST_F(ChangeHandlingTest, FolderSkipsBothExceptions) {
    fs::create_directories(Watched / "folder");
    RunSettings.BYEXTMODE = 1;
    RunSettings.BYEXT.clear();
    RunSettings.BYSIZE = -1;
    Dispatch({{1, "folder"}, {4, "folder"}, {5, "folder"}});
    ASSERT_EQ(Drained.size(), 2u);
    EXPECT_EQ(Drained[1].Action, 4);
    // A removed folder no longer exists and meets the exceptions like a file.
    Dispatch({{2, "gone"}});
    EXPECT_EQ(Drained.size(), 2u);
    EXPECT_EQ(LogLinesOf(5).size(), 1u);
}

TEST_F(ChangeHandlingTest, RemovedFilePassesTheSizeCheckWithoutWaiting) {
    // An editor's lock file is a link to nothing: there is no file to open either. (Such files
    // are left out before any handling unless that is turned off.)
    RunSettings.SKIPTRANSIENT = false;
    fs::create_symlink("user@host.4711:1700000000", Watched / ".#gone.txt");
    const auto start = std::chrono::steady_clock::now();
    Dispatch({{2, "gone.txt"}, {2, "sub/gone.doc"}, {1, ".#gone.txt"}});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_EQ(DrainedNewNames(), Names({"gone.txt", "sub/gone.doc", ".#gone.txt"}));
}

TEST_F(ChangeHandlingTest, OwnWritesUnderTheStoreAreDroppedSilently) {
    // The store lies inside the watched folder and is named through a symbolic link.
    fs::create_directories(Watched / "store" / "a.txt");
    fs::create_symlink(Watched / "store", Root / "store-link");
    RunSettings.DESTINATION = (Root / "store-link").string();
    WriteFile(Watched / "a.txt", 3);
    WriteFile(Watched / "storey.txt", 3);

    Dispatch({{1, "store/a.txt"},
              {1, "store/a.txt/SnapShot.1"},
              {3, "store/a.txt/SnapShot.1"},
              {4, "store/a.txt"},
              {5, "store/b.txt"},
              {3, "a.txt"},
              {3, "storey.txt"}});
    EXPECT_EQ(Console, Names({"Modified: a.txt > a.txt", "Modified: storey.txt > storey.txt"}));
    EXPECT_EQ(DrainedNewNames(), Names({"a.txt", "storey.txt"}));

    // Moved out of the store into the watched folder: a new file there.
    Drained.clear();
    Dispatch({{4, "store/b.txt"}, {5, "b.txt"}});
    ASSERT_EQ(Drained.size(), 1u);
    EXPECT_EQ(Drained[0].Action, 1);
    EXPECT_EQ(Drained[0].NewName, "b.txt");
}

TEST_F(ChangeHandlingTest, OwnWritesUnderTheLogsFolderAreDroppedSilently) {
    UseProgramFolder(Watched / "program");
    WriteLogLine(1, 3, "");  // the Logs folder now exists inside the watched folder
    Dispatch({{1, "program/Logs"}, {3, "program/Logs/today.log"}, {1, "program/other.txt"}});
    EXPECT_EQ(Console, Names({"Added: program/other.txt > program/other.txt"}));
    EXPECT_EQ(DrainedNewNames(), Names({"program/other.txt"}));
}

TEST_F(ChangeHandlingTest, RestoreLandingThroughItsTemporaryFileIsOneAdditionOfTheDocument) {
    RunSettings.BYEXT = ".tmp";
    RunSettings.BYEXTMODE = 2;
    WriteFile(Watched / "sub/doc.txt", 5);
    const std::string temp = "sub/.ostrevan-1-2-3.tmp";
    Dispatch({{1, temp}, {3, temp}, {4, temp}, {5, "sub/doc.txt"}});
    EXPECT_EQ(Console, Names({"Added: sub/doc.txt > sub/doc.txt"}));
    ASSERT_EQ(Drained.size(), 1u);
    EXPECT_EQ(Drained[0].Action, 1);
    EXPECT_TRUE(LogLinesOf(5).empty());
}

TEST_F(ChangeHandlingTest, StoreHoldingTheWatchedFolderDoesNotSilenceIt) {
    RunSettings.DESTINATION = Root.string();
    WriteFile(Watched / "a.txt", 3);
    Dispatch({{3, "a.txt"}});
    EXPECT_EQ(DrainedNewNames(), Names({"a.txt"}));
}

TEST_F(ChangeHandlingTest, TransientFilesAreLeftOutSilentlyUnlessTurnedOff) {
    WriteFile(Watched / "doc.txt", 5);
    WriteFile(Watched / ".git/index", 5);
    WriteFile(Watched / "film.part", 5);
    const std::vector<ChangeRecord> batch = {{1, ".~lock.doc.odt#"}, {3, ".doc.txt.swp"},
                                             {1, ".git/index"},      {2, "4913"},
                                             {1, "film.part"},       {3, "doc.txt"}};
    Dispatch(batch);
    EXPECT_EQ(Console, Names({"Modified: doc.txt > doc.txt"}));
    EXPECT_EQ(DrainedNewNames(), Names({"doc.txt"}));
    EXPECT_TRUE(LogRecords().empty());

    Console.clear();
    Drained.clear();
    RunSettings.SKIPTRANSIENT = false;
    DispatchAsNewBatch(batch);
    EXPECT_EQ(Console.size(), batch.size());
}

TEST_F(ChangeHandlingTest, RenameFromATransientNameStaysARenameAndOneToItIsARemoval) {
    WriteFile(Watched / "film.mkv", 5);
    WriteFile(Watched / "doc.txt~", 5);
    Dispatch({{4, "film.mkv.part"}, {5, "film.mkv"}});
    EXPECT_EQ(Console, Names({"Renamed: film.mkv.part > film.mkv"}));
    ASSERT_EQ(Drained.size(), 1u);
    EXPECT_EQ(Drained[0].Action, 4);

    Console.clear();
    Drained.clear();
    DispatchAsNewBatch({{4, "doc.txt"}, {5, "doc.txt~"}, {4, "a.swp"}, {5, "b.swp"}});
    EXPECT_EQ(Console, Names({"Removed: doc.txt > doc.txt"}));
}

TEST_F(ChangeHandlingTest, SaveThroughATemporaryFileInOneBatchIsOneModificationOfTheDocument) {
    WriteFile(Watched / "doc.txt", 5);
    // As gio saves.
    DispatchAsNewBatch({{1, ".goutputstream-AB12"},
                        {3, "doc.txt"},
                        {4, ".goutputstream-AB12"},
                        {5, "doc.txt"},
                        {3, "doc.txt"}});
    EXPECT_EQ(Console, Names({"Modified: doc.txt > doc.txt"}));
    ASSERT_EQ(Drained.size(), 1u);
    EXPECT_EQ(Drained[0].OldName, "doc.txt");
    EXPECT_EQ(Drained[0].Action, 3);

    // As vim saves, keeping the old version under doc.txt~ while it writes.
    Console.clear();
    Drained.clear();
    DispatchAsNewBatch({{1, ".doc.txt.swp"},
                        {1, "4913"},
                        {2, "4913"},
                        {4, "doc.txt"},
                        {5, "doc.txt~"},
                        {1, "doc.txt"},
                        {3, "doc.txt"},
                        {2, "doc.txt~"},
                        {2, ".doc.txt.swp"}});
    EXPECT_EQ(Console, Names({"Modified: doc.txt > doc.txt"}));
    EXPECT_EQ(DrainedNewNames(), Names({"doc.txt"}));
}

TEST_F(ChangeHandlingTest, ModificationsAroundARenameOntoTheFileAreInTheRenamesSnapshot) {
    WriteFile(Watched / "doc.txt", 5);
    WriteFile(Watched / "other.txt", 5);
    // The document opened for writing before the rename, the renamed file closed after it.
    DispatchAsNewBatch({{3, "doc.txt"}, {4, "t"}, {5, "doc.txt"}, {3, "doc.txt"}});
    ASSERT_EQ(Drained.size(), 1u);
    EXPECT_EQ(Drained[0].Action, 4);
    EXPECT_EQ(Drained[0].OldName, "t");

    // Only the next record is covered, and never one of another batch.
    Drained.clear();
    DispatchAsNewBatch({{4, "u"}, {5, "doc.txt"}, {3, "other.txt"}, {3, "doc.txt"}});
    EXPECT_EQ(DrainedNewNames(), Names({"doc.txt", "other.txt", "doc.txt"}));
    Drained.clear();
    DispatchAsNewBatch({{4, "v"}, {5, "doc.txt"}});
    DispatchAsNewBatch({{3, "doc.txt"}});
    EXPECT_EQ(DrainedNewNames(), Names({"doc.txt", "doc.txt"}));
}

}  // namespace

namespace {

// A writer that holds its file open until Close, as cp or a download does.
class OpenWriter {
  public:
    explicit OpenWriter(const std::filesystem::path& path) : Out(path, std::ios::binary) {}
    void Write(const std::string& bytes) { Out << bytes << std::flush; }
    void Close() { Out.close(); }

  private:
    std::ofstream Out;
};

}  // namespace

// An addition whose writer still holds the file open is handled when the writer closes it: one
// addition, with the whole file, and the size limit sees the whole size.
TEST_F(ChangeHandlingTest, AnAdditionStillBeingWrittenWaitsForItsWriter) {
    OpenWriter writer(Watched / "download.bin");
    writer.Write(std::string(100, 'a'));
    DispatchAsNewBatch({{1, "download.bin"}});
    EXPECT_TRUE(Drained.empty());
    EXPECT_TRUE(Console.empty()) << "nothing shows until the writer is done";

    writer.Write(std::string(100, 'b'));
    writer.Close();
    DispatchAsNewBatch({{3, "download.bin"}});
    ASSERT_EQ(Drained.size(), 1u);
    EXPECT_EQ(Drained[0].Action, 1) << "still an addition";
    EXPECT_EQ(Console, std::vector<std::string>({"Added: download.bin > download.bin"}));

    // Over the limit once written: one size line, no snapshot.
    Drained.clear();
    RunSettings.BYSIZE = 1;
    OpenWriter big(Watched / "big.bin");
    big.Write(std::string(500, 'x'));
    DispatchAsNewBatch({{1, "big.bin"}});
    big.Write(std::string(3000, 'x'));
    big.Close();
    DispatchAsNewBatch({{3, "big.bin"}});
    EXPECT_TRUE(Drained.empty());
    ASSERT_EQ(LogLinesOf(6).size(), 1u);
    EXPECT_EQ(LogLinesOf(6)[0].FileText, "big.bin");
}

// A file that arrives whole (its writer closed it before the addition was handled, a hard link,
// a move) is handled at once; the close of that same write, arriving in the next batch, brings no
// second snapshot, while a real later save does.
TEST_F(ChangeHandlingTest, AFileThatArrivesWholeIsHandledAtOnceAndOnce) {
    WriteFile(Watched / "whole.txt", 10);
    DispatchAsNewBatch({{1, "whole.txt"}});
    EXPECT_EQ(DrainedNewNames(), Names({"whole.txt"}));
    DispatchAsNewBatch({{3, "whole.txt"}});
    EXPECT_EQ(DrainedNewNames(), Names({"whole.txt"})) << "the close of the same write";
    WriteFile(Watched / "whole.txt", 20);
    DispatchAsNewBatch({{3, "whole.txt"}});
    EXPECT_EQ(DrainedNewNames(), Names({"whole.txt", "whole.txt"})) << "a later save";

    Drained.clear();
    std::filesystem::create_hard_link(Watched / "whole.txt", Watched / "link.txt");
    DispatchAsNewBatch({{1, "link.txt"}});
    EXPECT_EQ(DrainedNewNames(), Names({"link.txt"}));
}
