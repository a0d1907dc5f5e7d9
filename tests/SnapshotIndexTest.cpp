// The store layout and the per-file index on real folders: paths, the index bytes, numbering,
// listing and reading entries of good and damaged indexes, and deleting a file's snapshots.
#include "store/SnapshotIndex.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <regex>

#include "StoreTestSupport.h"
#include "lang/Language.h"
#include "store/IndexText.h"

namespace {

using namespace store_test;

class SnapshotIndexTest : public StoreFixture {
  protected:
    std::string IndexOf(const std::string& name) const { return Store(name) + "/snapshot.ini"; }
    // Writes an index by hand, with copies for the given numbers.
    void PutIndex(const std::string& name, const std::string& content,
                  const std::vector<int>& copies) {
        WriteBytes(IndexOf(name), content);
        for (int n : copies) {
            WriteBytes(Store(name) + "/SnapShot." + std::to_string(n), "copy " + std::to_string(n));
        }
    }
};

// An index line "<n>=<date>;<time>;<code>" whose date is today's (or tomorrow's, just after
// midnight) and whose time is not empty.
void ExpectEntryLine(const std::string& line, int n, int code, const std::string& dateBefore) {
    const std::regex form(std::to_string(n) + "=([^;\r\n]*);([^;\r\n]+);" + std::to_string(code));
    std::smatch match;
    ASSERT_TRUE(std::regex_match(line, match, form)) << line;
    EXPECT_TRUE(match[1] == dateBefore || match[1] == ShortDateText()) << line;
}

std::vector<std::string> CrLfLines(const std::string& text, bool* allCrLf) {
    std::vector<std::string> lines;
    *allCrLf = text.size() >= 2 && text.substr(text.size() - 2) == "\r\n";
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        *allCrLf = *allCrLf && end > start && text[end - 1] == '\r';
        lines.push_back(text.substr(start, end - start - (end > start ? 1 : 0)));
    }
    return lines;
}

TEST_F(SnapshotIndexTest, FolderOfAWatchedFileMirrorsItsPathBelowTheWatchedFolder) {
    EXPECT_EQ(SnapshotFolder(Src("a.txt")), Store("a.txt"));
    EXPECT_EQ(SnapshotFolder(Src("Reports/plan.doc")), Store("Reports/plan.doc"));
    RunSettings.SOURCE += "/";
    RunSettings.DESTINATION += "/";
    EXPECT_EQ(SnapshotFolder(Src("Reports/plan.doc")), Store("Reports/plan.doc"));
    EXPECT_EQ(SnapshotFolder(Src("x/./y//z.txt")), Store("x/y/z.txt"));
    EXPECT_EQ(StoreFolderOf("sub/report.doc"), Store("sub/report.doc"));
}

TEST_F(SnapshotIndexTest, OnlyFilesInsideTheWatchedFolderHaveAFolder) {
    const std::string outside = (root_ / "src2" / "a.txt").string();  // shares the prefix "src"
    for (const std::string& path :
         {outside, (root_ / "a.txt").string(), Src(""), RunSettings.SOURCE, Src("../store/a.txt"),
          Src("sub/../../prog/x"), std::string("relative/a.txt"), std::string()}) {
        EXPECT_EQ(SnapshotFolder(path), "") << path;
    }
    for (const char* name : {"../a.txt", "sub/../../a.txt", "/etc/passwd", ".", ""}) {
        EXPECT_EQ(StoreFolderOf(name), "") << name;
    }
    RunSettings.DESTINATION.clear();
    EXPECT_EQ(SnapshotFolder(Src("a.txt")), "");
}

TEST_F(SnapshotIndexTest, IndexAfterThreeSnapshotsHoldsTheExactLines) {
    const std::string folder = Store("a.txt");
    const std::string today = ShortDateText();
    EXPECT_EQ(NewSnapshot(folder, 3), folder + "/SnapShot.1");
    bool crlf = false;
    auto lines = CrLfLines(ReadBytes(IndexOf("a.txt")), &crlf);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 4),
              (std::vector<std::string>{"[GENERAL]", "NO=1", " ", "[DATES]"}));
    ExpectEntryLine(lines[4], 1, 3, today);

    EXPECT_EQ(NewSnapshot(folder, 3), folder + "/SnapShot.2");
    EXPECT_EQ(NewSnapshot(folder, 4), folder + "/SnapShot.3");
    const std::string text = ReadBytes(IndexOf("a.txt"));
    lines = CrLfLines(text, &crlf);
    EXPECT_TRUE(crlf) << "every line ends with CR LF";
    EXPECT_EQ(text.rfind("[GENERAL]\r\nNO=3\r\n \r\n[DATES]\r\n1=", 0), 0u) << text;
    ASSERT_EQ(lines.size(), 7u) << text;
    ExpectEntryLine(lines[4], 1, 3, today);
    ExpectEntryLine(lines[5], 2, 3, today);
    ExpectEntryLine(lines[6], 3, 4, today);
}

TEST_F(SnapshotIndexTest, OneStepIndexUpdateGivesTheBytesOfTheTwoIniWrites) {
    const std::string head = "[GENERAL]\r\nNO=2\r\n \r\n[DATES]\r\n";
    for (const std::string& dates :
         {std::string(), std::string("1=a;b;3\r\n"), std::string("1=a;b;3\r\n2=c;d;4\r\n")}) {
        const std::string content = head + dates;
        const auto plain = ParsePlainIndex(content);
        ASSERT_TRUE(plain) << content;
        EXPECT_EQ(plain->Count, "2");
        const std::string path = (root_ / "index.ini").string();
        WriteBytes(path, content);
        ASSERT_TRUE(WriteIniValue("GENERAL", "NO", "3", path));
        ASSERT_TRUE(WriteIniValue("DATES", "3", "1.2.2026;10:00:00;3", path));
        EXPECT_EQ(PlainIndexText(plain->DatesLines, "3", "1.2.2026;10:00:00;3"), ReadBytes(path));
    }
    // Any other form goes through the INI writes.
    for (const char* edited :
         {"[GENERAL]\r\nNO=2\r\n\r\n[DATES]\r\n", "[GENERAL]\r\nNO = 2\r\n \r\n[DATES]\r\n",
          "[general]\r\nNO=2\r\n \r\n[DATES]\r\n", "[GENERAL]\r\nNO=\r\n \r\n[DATES]\r\n",
          "[GENERAL]\r\nNO=2\r\n \r\n[DATES]\r\n1=a;b;3",
          "[GENERAL]\r\nNO=2\r\n \r\n[DATES]\r\n;x\r\n",
          "[GENERAL]\r\nNO=2\r\n \r\n[DATES]\r\n1=a\r\n[MORE]\r\n",
          "[GENERAL]\r\nNO=2\r\n \r\n[DATES]\r\n1=a\n2=b\r\n"}) {
        EXPECT_FALSE(ParsePlainIndex(edited)) << edited;
    }
}

TEST_F(SnapshotIndexTest, HandEditedIndexIsUpdatedUnderTheIniRules) {
    PutIndex("a.txt", "; kept by hand\r\n[GENERAL]\r\nNO=1\r\n\r\n[DATES]\r\n1=x;y;3\r\n\r\n", {1});
    EXPECT_EQ(NewSnapshot(Store("a.txt"), 4), Store("a.txt") + "/SnapShot.2");
    const std::string text = ReadBytes(IndexOf("a.txt"));
    EXPECT_EQ(text.rfind("; kept by hand\r\n[GENERAL]\r\nNO=2\r\n\r\n[DATES]\r\n1=x;y;3\r\n2=", 0),
              0u)
        << text;
    EXPECT_EQ(ReadSnapshotEntry(IndexOf("a.txt"), 1)->DateText, "x");
}

TEST_F(SnapshotIndexTest, TenthSnapshotIsNumberedWithoutPadding) {
    const std::string folder = SnapshotFolder(Src("a.txt"));
    for (int n = 1; n <= 10; ++n) {
        const std::string copy = NewSnapshot(folder, 3);
        ASSERT_EQ(copy, folder + "/SnapShot." + std::to_string(n));
        WriteBytes(copy, "version " + std::to_string(n));
    }
    EXPECT_TRUE(fs::exists(folder + "/SnapShot.9"));
    EXPECT_TRUE(fs::exists(folder + "/SnapShot.10"));
    const std::string text = ReadBytes(IndexOf("a.txt"));
    EXPECT_NE(text.find("\r\nNO=10\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\n10="), std::string::npos) << text;

    const auto list = ReadSnapshotList(Src("a.txt"));
    ASSERT_EQ(list.size(), 10u);
    for (int n = 1; n <= 10; ++n) {
        EXPECT_EQ(list[n - 1].Number, n);
        EXPECT_FALSE(list[n - 1].DateText.empty());
        EXPECT_FALSE(list[n - 1].TimeText.empty());
    }
    const auto entry = ReadSnapshotEntry(IndexOf("a.txt"), 10);
    ASSERT_TRUE(entry);
    EXPECT_TRUE(entry->CopyExists);
    EXPECT_EQ(entry->CopyPath, folder + "/SnapShot.10");
    EXPECT_EQ(entry->ActionCode, 3);
    EXPECT_EQ(entry->DateText, list[9].DateText);
}

TEST_F(SnapshotIndexTest, FileTwoFoldersDeepGetsBothMirrorFolders) {
    const std::string folder = SnapshotFolder(Src("one/two/deep.txt"));
    EXPECT_EQ(NewSnapshot(folder, 3), Store("one/two/deep.txt") + "/SnapShot.1");
    EXPECT_TRUE(fs::is_regular_file(IndexOf("one/two/deep.txt")));
    EXPECT_TRUE(fs::is_directory(Store("one/two")));
    EXPECT_FALSE(fs::exists(Store("one/snapshot.ini")));
    EXPECT_FALSE(fs::exists(Store("one/two/snapshot.ini")));
}

TEST_F(SnapshotIndexTest, ListIsEmptyWithoutIndexOrWithCountZeroOrEmpty) {
    EXPECT_TRUE(ReadSnapshotList("").empty());
    EXPECT_TRUE(ReadSnapshotList(Src("never.txt")).empty());
    EXPECT_TRUE(ReadSnapshotList((root_ / "outside.txt").string()).empty());
    const std::string dates = "[DATES]\r\n1=1.1.2026;10:00:00;3\r\n";
    PutIndex("zero.txt", "[GENERAL]\r\nNO=0\r\n \r\n" + dates, {1});
    EXPECT_TRUE(ReadSnapshotList(Src("zero.txt")).empty());
    PutIndex("empty.txt", "[GENERAL]\r\nNO=\r\n \r\n" + dates, {1});
    EXPECT_TRUE(ReadSnapshotList(Src("empty.txt")).empty());
}

TEST_F(SnapshotIndexTest, ListShowsAMissingKeyWithEmptyDateAndSplitsAtTheFirstTwoSemicolons) {
    PutIndex("a.txt",
             "[GENERAL]\r\nNO=4\r\n \r\n[DATES]\r\n1=1.1.2026;10:00:00;3\r\n"
             "3=2.1.2026;11:00:00;4;extra\r\n4=3.1.2026\r\n",
             {1, 2, 3});
    const auto list = ReadSnapshotList(Src("a.txt"));
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0].DateText, "1.1.2026");
    EXPECT_EQ(list[0].TimeText, "10:00:00");
    EXPECT_EQ(list[1].Number, 2);
    EXPECT_EQ(list[1].DateText, "");
    EXPECT_EQ(list[1].TimeText, "");
    EXPECT_EQ(list[2].TimeText, "11:00:00");
    EXPECT_EQ(list[3].DateText, "") << "a field whose closing ';' is missing is empty";

    const auto third = ReadSnapshotEntry(IndexOf("a.txt"), 3);
    ASSERT_TRUE(third && third->CopyExists);
    EXPECT_EQ(third->DateText, "2.1.2026");
    EXPECT_EQ(third->TimeText, "11:00:00");
    EXPECT_EQ(third->ActionCode, 4);
    const auto withoutCopy = ReadSnapshotEntry(IndexOf("a.txt"), 4);
    ASSERT_TRUE(withoutCopy);
    EXPECT_FALSE(withoutCopy->CopyExists);
    EXPECT_EQ(withoutCopy->CopyPath, Store("a.txt") + "/SnapShot.4");
    EXPECT_EQ(withoutCopy->DateText, "");
    EXPECT_FALSE(ReadSnapshotEntry(IndexOf("none.txt"), 1));
}

TEST_F(SnapshotIndexTest, CountThatIsNotANumberListsWhatTheFolderHolds) {
    const std::string dates = "[DATES]\r\n1=1.1.2026;10:00:00;3\r\n2=1.1.2026;10:00:01;3\r\n";
    PutIndex("abc.txt", "[GENERAL]\r\nNO=abc\r\n \r\n" + dates, {1, 2, 3});
    EXPECT_EQ(ReadSnapshotList(Src("abc.txt")).size(), 3u);
    PutIndex("nokey.txt", "[GENERAL]\r\n \r\n" + dates, {});
    EXPECT_EQ(ReadSnapshotList(Src("nokey.txt")).size(), 2u);
    PutIndex("huge.txt", "[GENERAL]\r\nNO=2000000000\r\n \r\n" + dates, {1, 2});
    EXPECT_EQ(ReadSnapshotList(Src("huge.txt")).size(), 2u);
}

TEST_F(SnapshotIndexTest, HugeHandEditedKeysListOnlyTheEntriesThatExistAtOnce) {
    const auto start = std::chrono::steady_clock::now();
    PutIndex("huge.txt",
             "[GENERAL]\r\nNO=2000000000\r\n \r\n[DATES]\r\n1=1.1.2026;10:00:00;3\r\n"
             "2000000000=1.1.2026;10:00:01;3\r\n",
             {1});
    const auto huge = ReadSnapshotList(Src("huge.txt"));
    ASSERT_EQ(huge.size(), 2u);
    EXPECT_EQ(huge[0].Number, 1);
    EXPECT_EQ(huge[1].Number, 2000000000);
    EXPECT_EQ(huge[1].TimeText, "10:00:01");

    PutIndex("nocount.txt", "[GENERAL]\r\n \r\n[DATES]\r\n10000000=1.1.2026;10:00:00;3\r\n", {3});
    const auto nocount = ReadSnapshotList(Src("nocount.txt"));
    ASSERT_EQ(nocount.size(), 2u);
    EXPECT_EQ(nocount[0].Number, 3) << "a copy without its key still shows";
    EXPECT_EQ(nocount[0].DateText, "");
    EXPECT_EQ(nocount[1].Number, 10000000);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));

    // Below NO, a number with neither a key nor a copy is no entry.
    PutIndex("gap.txt", "[GENERAL]\r\nNO=3\r\n \r\n[DATES]\r\n1=a;b;3\r\n3=c;d;3\r\n", {1});
    const auto gap = ReadSnapshotList(Src("gap.txt"));
    ASSERT_EQ(gap.size(), 2u);
    EXPECT_EQ(gap[1].Number, 3);
}

TEST_F(SnapshotIndexTest, IndexWithCrAloneAsLineEndIsReadAndExtendedNotDoubled) {
    PutIndex("cr.txt",
             "[GENERAL]\rNO=2\r \r[DATES]\r1=1.1.2026;10:00:00;3\r2=1.1.2026;10:00:01;3\r", {1, 2});
    EXPECT_EQ(ReadSnapshotList(Src("cr.txt")).size(), 2u);
    EXPECT_EQ(NewSnapshot(Store("cr.txt"), 3), Store("cr.txt") + "/SnapShot.3");
    const std::string index = ReadBytes(IndexOf("cr.txt"));
    EXPECT_EQ(index.find("NO=", index.find("NO=") + 1), std::string::npos) << index;
    EXPECT_EQ(index.find("[DATES]", index.find("[DATES]") + 1), std::string::npos) << index;
    const auto list = ReadSnapshotList(Src("cr.txt"));
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[1].TimeText, "10:00:01");
    EXPECT_FALSE(list[2].TimeText.empty());
}

TEST_F(SnapshotIndexTest, LongHistoryIsListedAtOnceAndTheFirstOfATwiceWrittenKeyCounts) {
    constexpr int kEntries = 20000;  // a document saved every few minutes for some months
    std::string index = "[GENERAL]\r\nNO=" + std::to_string(kEntries) + "\r\n \r\n[DATES]\r\n";
    for (int n = 1; n <= kEntries; ++n) {
        index += std::to_string(n) + "=1.1.2026;" + std::to_string(n) + ";3\r\n";
    }
    PutIndex("long.txt", index + "7=2.2.2026;late;3\r\n", {});
    const auto start = std::chrono::steady_clock::now();
    const auto list = ReadSnapshotList(Src("long.txt"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    ASSERT_EQ(list.size(), static_cast<size_t>(kEntries));
    EXPECT_EQ(list[6].TimeText, "7");
    EXPECT_EQ(list.back().Number, kEntries);
    EXPECT_EQ(list.back().TimeText, std::to_string(kEntries));
}

TEST_F(SnapshotIndexTest, DamagedCountNeverLetsANewSnapshotOverwriteAnOldOne) {
    const std::string dates = "[DATES]\r\n1=1.1.2026;10:00:00;3\r\n2=1.1.2026;10:00:01;3\r\n";
    const struct {
        std::string name, general;
        std::vector<int> copies;
        int expected;
    } cases[] = {
        {"empty.txt", "[GENERAL]\r\nNO=\r\n \r\n", {1, 2, 3}, 4},
        {"abc.txt", "[GENERAL]\r\nNO=abc\r\n \r\n", {1}, 3},
        {"nokey.txt", "[GENERAL]\r\n \r\n", {}, 3},
        {"behind.txt", "[GENERAL]\r\nNO=1\r\n \r\n", {1, 2, 5}, 6},
        {"minus.txt", "[GENERAL]\r\nNO=-4\r\n \r\n", {1, 2}, 3},
    };
    for (const auto& c : cases) {
        PutIndex(c.name, c.general + dates, c.copies);
        const std::string expected = Store(c.name) + "/SnapShot." + std::to_string(c.expected);
        EXPECT_EQ(NewSnapshot(Store(c.name), 3), expected) << c.name;
        for (int n : c.copies) {
            EXPECT_EQ(ReadBytes(Store(c.name) + "/SnapShot." + std::to_string(n)),
                      "copy " + std::to_string(n))
                << c.name;
        }
        EXPECT_NE(ReadBytes(IndexOf(c.name)).find("NO=" + std::to_string(c.expected) + "\r\n"),
                  std::string::npos)
            << c.name;
    }
    // A pipe in the index's place is no index, and nothing waits for it.
    fs::create_directories(Store("pipe.txt"));
    ASSERT_EQ(::mkfifo(IndexOf("pipe.txt").c_str(), 0600), 0);
    std::string path;
    EXPECT_TRUE(ReturnsWithoutWaitingOnPipe(IndexOf("pipe.txt"),
                                            [&] { path = NewSnapshot(Store("pipe.txt"), 3); }));
    EXPECT_EQ(path, Store("pipe.txt") + "/SnapShot.1");
    EXPECT_TRUE(fs::is_fifo(IndexOf("pipe.txt")));
    // Copies left behind without their index are not overwritten either.
    WriteBytes(Store("orphan.txt") + "/SnapShot.1", "copy 1");
    EXPECT_EQ(NewSnapshot(Store("orphan.txt"), 3), Store("orphan.txt") + "/SnapShot.2");
    EXPECT_EQ(ReadBytes(Store("orphan.txt") + "/SnapShot.1"), "copy 1");
}

TEST_F(SnapshotIndexTest, DeletingSnapshotsStartsNumberingAgainInAFreshIndex) {
    const std::string folder = SnapshotFolder(Src("sub/a.txt"));
    for (int n = 1; n <= 3; ++n) {
        WriteBytes(NewSnapshot(folder, 3), "v");
    }
    WriteBytes(SnapshotFolder(Src("sub/b.txt")) + "/SnapShot.1", "b");
    DeleteSnapshots(Src("sub/a.txt"));
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_TRUE(ReadSnapshotList(Src("sub/a.txt")).empty());
    EXPECT_TRUE(fs::exists(Store("sub/b.txt/SnapShot.1"))) << "another file's history stays";
    EXPECT_EQ(NewSnapshot(folder, 3), folder + "/SnapShot.1");
    EXPECT_NE(ReadBytes(IndexOf("sub/a.txt")).find("NO=1\r\n \r\n[DATES]\r\n1="),
              std::string::npos);
    EXPECT_EQ(trayStates_, (std::vector<bool>{true, false}));
}

TEST_F(SnapshotIndexTest, DeletingForAPathOutsideTheWatchedFolderDeletesNothing) {
    WriteBytes(Store("a.txt/SnapShot.1"), "a");
    for (const std::string& path : {RunSettings.SOURCE, Src(""), Src(".."), Src("sub/.."),
                                    (root_ / "store").string(), std::string()}) {
        DeleteSnapshots(path);
    }
    EXPECT_TRUE(fs::exists(Store("a.txt/SnapShot.1")));
    EXPECT_TRUE(trayStates_.empty());
}

TEST_F(SnapshotIndexTest, JoinedHistoryContinuesTheTargetsNumbersWithTheMovedCopiesInOneWrite) {
    PutIndex("doc.txt",
             "[GENERAL]\r\nNO=2\r\n \r\n[DATES]\r\n1=1.1.2026;10:00:00;3\r\n"
             "2=1.1.2026;11:00:00;4\r\n",
             {1, 2});
    // The temporary file's history: entry 2 lost its copy, so it has nothing to bring along.
    PutIndex(".tmp1",
             "[GENERAL]\r\nNO=3\r\n \r\n[DATES]\r\n1=2.1.2026;09:00:00;3\r\n"
             "2=2.1.2026;09:30:00;3\r\n3=2.1.2026;09:45:00;4\r\n",
             {1, 3});
    fs::remove(Store(".tmp1") + "/SnapShot.2");
    struct stat first {};
    ASSERT_EQ(::stat((Store(".tmp1") + "/SnapShot.1").c_str(), &first), 0);

    const TJoinResult joined = JoinSnapshotHistory(Store(".tmp1"), Store("doc.txt"));
    EXPECT_EQ(joined.Joined, 2);
    EXPECT_EQ(joined.NewestCopy, Store("doc.txt") + "/SnapShot.4");
    EXPECT_EQ(ReadBytes(IndexOf("doc.txt")),
              "[GENERAL]\r\nNO=4\r\n \r\n[DATES]\r\n1=1.1.2026;10:00:00;3\r\n"
              "2=1.1.2026;11:00:00;4\r\n3=2.1.2026;09:00:00;3\r\n4=2.1.2026;09:45:00;4\r\n");
    EXPECT_EQ(ReadBytes(Store("doc.txt") + "/SnapShot.3"), "copy 1");
    EXPECT_EQ(ReadBytes(Store("doc.txt") + "/SnapShot.4"), "copy 3");
    struct stat moved {};
    ASSERT_EQ(::stat((Store("doc.txt") + "/SnapShot.3").c_str(), &moved), 0);
    EXPECT_EQ(moved.st_ino, first.st_ino) << "moved, not copied";
    EXPECT_EQ(moved.st_nlink, 1u);
    EXPECT_FALSE(fs::exists(Store(".tmp1")));
    EXPECT_TRUE(TemporaryFilesIn(Store("doc.txt")).empty());

    // The next snapshot of the document follows the joined ones.
    EXPECT_EQ(NewSnapshot(Store("doc.txt"), 3), Store("doc.txt") + "/SnapShot.5");
}

TEST_F(SnapshotIndexTest, JoinSkipsNumbersInUseAndWritesAHandEditedIndexUnderTheIniRules) {
    // A hand-edited index (a comment line) with a stray copy above its count.
    PutIndex("doc.txt", "[GENERAL]\r\nNO=1\r\n; kept by hand\r\n[DATES]\r\n1=d;t;3\r\n", {1, 3});
    PutIndex("old.txt", "[GENERAL]\r\nNO=1\r\n \r\n[DATES]\r\n1=d0;t0;3\r\n", {1});
    EXPECT_EQ(JoinSnapshotHistory(Store("old.txt"), Store("doc.txt")).Joined, 1);
    EXPECT_EQ(ReadBytes(Store("doc.txt") + "/SnapShot.3"), "copy 3") << "never overwritten";
    EXPECT_EQ(ReadBytes(Store("doc.txt") + "/SnapShot.4"), "copy 1");
    EXPECT_EQ(ReadIniValue("GENERAL", "NO", IndexOf("doc.txt")), "4");
    EXPECT_EQ(ReadIniValue("DATES", "4", IndexOf("doc.txt")), "d0;t0;3");
    EXPECT_NE(ReadBytes(IndexOf("doc.txt")).find("; kept by hand"), std::string::npos);
    EXPECT_FALSE(fs::exists(Store("old.txt")));
}

TEST_F(SnapshotIndexTest, NothingToJoinLeavesBothFoldersAsTheyWere) {
    PutIndex("doc.txt", "[GENERAL]\r\nNO=1\r\n \r\n[DATES]\r\n1=d;t;3\r\n", {1});
    const std::string before = ReadBytes(IndexOf("doc.txt"));
    // No index at all, and an index whose only entry lost its copy.
    fs::create_directories(Store("empty"));
    PutIndex("lost", "[GENERAL]\r\nNO=1\r\n \r\n[DATES]\r\n1=d;t;3\r\n", {});
    for (const char* from : {"empty", "lost", "missing"}) {
        EXPECT_EQ(JoinSnapshotHistory(Store(from), Store("doc.txt")).Joined, 0) << from;
    }
    EXPECT_EQ(ReadBytes(IndexOf("doc.txt")), before);
    EXPECT_TRUE(fs::exists(Store("empty")));
    EXPECT_TRUE(fs::exists(IndexOf("lost")));
}

TEST_F(SnapshotIndexTest, JoinThatCannotRecordItsEntriesUndoesItsLinks) {
    PutIndex("doc.txt", "[GENERAL]\r\nNO=1\r\n \r\n[DATES]\r\n1=d;t;3\r\n", {1});
    PutIndex("old.txt", "[GENERAL]\r\nNO=2\r\n \r\n[DATES]\r\n1=a;b;3\r\n2=c;d;3\r\n", {1, 2});
    // A folder in the index's place: no index write can succeed.
    fs::remove(IndexOf("doc.txt"));
    fs::create_directories(IndexOf("doc.txt") + "/blocker");
    EXPECT_EQ(JoinSnapshotHistory(Store("old.txt"), Store("doc.txt")).Joined, 0);
    EXPECT_FALSE(fs::exists(Store("doc.txt") + "/SnapShot.2"));
    EXPECT_FALSE(fs::exists(Store("doc.txt") + "/SnapShot.3"));
    EXPECT_EQ(ReadBytes(Store("old.txt") + "/SnapShot.1"), "copy 1");
    EXPECT_EQ(ReadBytes(Store("old.txt") + "/SnapShot.2"), "copy 2");
    EXPECT_TRUE(fs::exists(IndexOf("old.txt")));
}

}  // namespace

namespace {

// Sets a file's modification time, seconds from now (negative: in the past).
void SetModified(const std::string& path, int secondsFromNow) {
    fs::last_write_time(path, fs::file_time_type::clock::now() + std::chrono::seconds(secondsFromNow));
}

TEST_F(SnapshotIndexTest, NewestSnapshotHoldsTheContentOnlyWhenSizeTimeAndBytesAgree) {
    const std::string doc = Src("doc.txt");
    const std::string folder = Store("doc.txt");
    WriteBytes(doc, "version two");
    EXPECT_FALSE(NewestSnapshotHoldsContentOf(folder, doc)) << "no snapshot yet";

    PutIndex("doc.txt", "", {});
    WriteBytes(folder + "/SnapShot.1", "version one");
    WriteBytes(folder + "/SnapShot.2", "version two");
    SetModified(doc, -10);
    EXPECT_TRUE(NewestSnapshotHoldsContentOf(folder, doc));

    // The newest copy counts, not the first that matches.
    WriteBytes(folder + "/SnapShot.3", "version one");
    EXPECT_FALSE(NewestSnapshotHoldsContentOf(folder, doc)) << "same size, other bytes";
    WriteBytes(folder + "/SnapShot.3", "version two!");
    EXPECT_FALSE(NewestSnapshotHoldsContentOf(folder, doc)) << "other size";
    WriteBytes(folder + "/SnapShot.3", "version two");
    EXPECT_TRUE(NewestSnapshotHoldsContentOf(folder, doc));
    // A copy older than the file's last modification does not hold it, whatever its bytes.
    SetModified(folder + "/SnapShot.3", -20);
    EXPECT_FALSE(NewestSnapshotHoldsContentOf(folder, doc));

    EXPECT_FALSE(NewestSnapshotHoldsContentOf(folder, Src("missing.txt")));
    EXPECT_FALSE(NewestSnapshotHoldsContentOf("", doc));
}

}  // namespace
