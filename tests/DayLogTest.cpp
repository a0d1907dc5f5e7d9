// Day logs on real files: line format, odd file names, listing, tolerant reading, $FILE$.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "StoreTestSupport.h"
#include "core/Paths.h"
#include "platform/DateTimeText.h"
#include "store/DayLog.h"
#include "tests/TempFolder.h"

namespace fs = std::filesystem;

namespace {

class DayLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InitRegionalFormats();
        savedProgramDir_ = ProgramDir;
        InitPaths(folder_.string());
    }
    void TearDown() override { InitPaths(savedProgramDir_); }
    static std::string Shown(const TLogLine& record) {
        return record.TimeText + "|" + std::to_string(record.Code) + "|" +
               std::to_string(record.ImageIndex) + "|" + record.FileText + "|" +
               (record.WellFormed ? "ok" : "bad");
    }
    static std::string TodayPath() { return LogsDir + "/" + DayFileName(ShortDateText()) + ".log"; }

    // Writes one line and returns it as found at the end of today's file, together with the
    // time texts taken just before and after the write.
    struct Written {
        std::string Line;
        std::string Before;
        std::string After;
    };
    static Written WriteAndRead(int code, int image, const std::string& fileText) {
        Written written;
        written.Before = LongTimeText();
        WriteLogLine(code, image, fileText);
        written.After = LongTimeText();
        const std::string content = ReadBytes(TodayPath());
        const std::size_t start = content.rfind("\r\n", content.size() - 3);
        written.Line = content.substr(start == std::string::npos ? 0 : start + 2);
        return written;
    }
    static void ExpectLine(const Written& written, const std::string& afterTime) {
        EXPECT_TRUE(written.Line == written.Before + afterTime ||
                    written.Line == written.After + afterTime)
            << written.Line;
    }

    const TempFolder temp_{"ostrevan-log"};
    const fs::path& folder_ = temp_.Path();
    std::string savedProgramDir_;
};

TEST_F(DayLogTest, FirstLineCreatesFolderAndDayFileAndLaterLinesAppend) {
    ASSERT_FALSE(fs::exists(LogsDir));
    ExpectLine(WriteAndRead(1, 3, ""), ";1;3;\r\n");
    ASSERT_TRUE(fs::is_directory(LogsDir));
    const std::vector<std::string> days = ListFiles(LogsDir, "*.log");
    ASSERT_EQ(days.size(), 1u);
    EXPECT_EQ(days[0], TodayPath());
    EXPECT_EQ(fs::path(days[0]).filename().string().find('/'), std::string::npos);

    ExpectLine(WriteAndRead(12, 7, "/home/u/Documents/plan.odt"),
               ";12;7;/home/u/Documents/plan.odt\r\n");
    std::vector<TLogLine> records;
    ASSERT_TRUE(ReadDayLog(TodayPath(), records));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].Code, 1);
    EXPECT_EQ(records[0].FileText, "");
    EXPECT_EQ(records[1].Code, 12);
    EXPECT_EQ(records[1].ImageIndex, 7);
    EXPECT_EQ(records[1].FileText, "/home/u/Documents/plan.odt");
    EXPECT_TRUE(records[1].WellFormed);
    EXPECT_EQ(records[1].TimeText.find(';'), std::string::npos);
}

TEST_F(DayLogTest, OddFileNamesAreKeptOnOneLineAndReadBackWhole) {
    ExpectLine(WriteAndRead(5, 4, "a;b;;c.doc"), ";5;4;a;b;;c.doc\r\n");
    ExpectLine(WriteAndRead(6, 4, "$FILE$.txt"), ";6;4;$FILE$.txt\r\n");
    ExpectLine(WriteAndRead(12, 7, "evil\r\n9:00:00;13;5;\x01tab\there\x7F"),
               ";12;7;evil??9:00:00;13;5;?tab?here?\r\n");
    ExpectLine(WriteAndRead(9, 5, "\xC3\xA9t\xE9.txt"), ";9;5;\xC3\xA9t\xE9.txt\r\n");

    std::vector<TLogLine> records;
    ASSERT_TRUE(ReadDayLog(TodayPath(), records));
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].FileText, "a;b;;c.doc");
    EXPECT_EQ(records[1].FileText, "$FILE$.txt");
    EXPECT_EQ(SubstituteFile("Left out: $FILE$", records[1].FileText), "Left out: $FILE$.txt");
    EXPECT_EQ(records[2].Code, 12);
    EXPECT_EQ(records[2].FileText, "evil??9:00:00;13;5;?tab?here?");
    EXPECT_EQ(records[3].FileText, "\xC3\xA9t\xE9.txt");
    for (const TLogLine& record : records) {
        EXPECT_TRUE(record.WellFormed);
    }
}

TEST_F(DayLogTest, HandEditedFileIsReadWithoutFailing) {
    fs::create_directories(LogsDir);
    const std::string path = DayLogPath("6.12.2026");
    EXPECT_EQ(path, LogsDir + "/6.12.2026.log");
    const std::string longName(200000, 'n');
    WriteBytes(path,
               "9:05:07;2;3;\r\n"
               "\r\n"
               "\n"
               "9:06:00;12;7;/a;b.txt\n"
               "just some words\r\n"
               "9:07:00;x;4;file\r\n"
               "9:08:00;5;y;file\r\n"
               "9:09:00;6\r\n"
               "9:10:00;6;4\r\n"
               " 9:11:00 ; 8 ; 5 ;spaced\r\n"
               "9:12:00;99999999999;5;big\r\n"
               "9:13:00;11;5;" +
                   longName + "\r\n" + "9:14:00;13;5;");

    std::vector<TLogLine> records{TLogLine{}};  // earlier content is replaced
    ASSERT_TRUE(ReadDayLog(path, records));
    std::vector<std::string> shown;
    for (const TLogLine& record : records) {
        shown.push_back(Shown(record));
    }
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "9:05:07|2|3||ok",
                         "9:06:00|12|7|/a;b.txt|ok",
                         "just some words|0|-1||bad",
                         "9:07:00|0|4|file|bad",
                         "9:08:00|5|-1|file|bad",
                         "9:09:00|6|-1||bad",
                         "9:10:00|6|4||bad",
                         " 9:11:00 |8|5|spaced|ok",
                         "9:12:00|0|5|big|bad",
                         "9:13:00|11|5|" + longName + "|ok",
                         "9:14:00|13|5||ok",
                     }));

    EXPECT_FALSE(ReadDayLog(DayLogPath("1.1.1999"), records));
    EXPECT_TRUE(records.empty());
    fs::create_directory(DayLogPath("folder"));
    EXPECT_FALSE(ReadDayLog(DayLogPath("folder"), records));
}

TEST_F(DayLogTest, WriteFailuresAreSilent) {
    WriteBytes(LogsDir, "a file where the folder should be");
    WriteLogLine(2, 3, "");
    EXPECT_TRUE(fs::is_regular_file(LogsDir));
    EXPECT_EQ(ReadBytes(LogsDir), "a file where the folder should be");

    fs::remove(LogsDir);
    fs::create_directories(TodayPath());  // a folder where today's file should be
    WriteLogLine(2, 3, "");
    EXPECT_TRUE(fs::is_directory(TodayPath()));
    EXPECT_TRUE(fs::is_empty(TodayPath()));

    fs::remove(TodayPath());
    ASSERT_EQ(::mkfifo(TodayPath().c_str(), 0600), 0);  // a pipe where today's file should be
    EXPECT_TRUE(
        store_test::ReturnsWithoutWaitingOnPipe(TodayPath(), [] { WriteLogLine(2, 3, ""); }));
    EXPECT_TRUE(fs::is_fifo(TodayPath()));
}

TEST_F(DayLogTest, LineAfterATornTailStartsOnALineOfItsOwnInAPrivateFile) {
    WriteLogLine(1, 3, "");
    EXPECT_EQ(fs::status(LogsDir).permissions(), fs::perms::owner_all);
    EXPECT_EQ(fs::status(TodayPath()).permissions(),
              fs::perms::owner_read | fs::perms::owner_write);

    for (const std::string tail : {"9:00:01;12;7;/w/tor", "garbage\r"}) {
        WriteBytes(TodayPath(), "9:00:00;2;3;\r\n" + tail);
        WriteLogLine(3, 4, "");
        std::vector<TLogLine> records;
        ASSERT_TRUE(ReadDayLog(TodayPath(), records));
        ASSERT_EQ(records.size(), 3u) << tail;
        EXPECT_EQ(records[1].FileText, tail == "garbage\r" ? "" : "/w/tor");
        EXPECT_TRUE(records[2].WellFormed);
        EXPECT_EQ(records[2].Code, 3);
        EXPECT_EQ(records[2].FileText, "");
    }
}

long PeakMemoryMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

TEST_F(DayLogTest, DayOfAMillionRecordsIsReadInLittleMemory) {
    constexpr int kRecords = 1000000;
    fs::create_directories(LogsDir);
    const std::string path = DayLogPath("big");
    {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < kRecords; ++i) {
            out << "12:34:56;12;7;/home/user/Documents/project/report " << i << ".odt\r\n";
        }
    }
    TDayLog day;
    ASSERT_TRUE(day.Open(path));
    ASSERT_EQ(day.Size(), static_cast<size_t>(kRecords));
    const TLogLine last = day.Line(kRecords - 1);
    EXPECT_EQ(last.FileText, "/home/user/Documents/project/report 999999.odt");
    EXPECT_EQ(day.Line(0).Code, 12);
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the address sanitizer keeps freed memory; no measure of the peak";
#else
    EXPECT_LT(PeakMemoryMb(), 50) << "peak resident memory of the whole test in MB";
#endif
}

TEST_F(DayLogTest, ListFilesMatchesTheMaskInFolderOrder) {
    const fs::path logs = folder_ / "Logs";
    fs::create_directories(logs / "4.12.2026.log");  // a folder is listed like a file
    for (const char* name :
         {"6.12.2026.log", "5.12.2026.log", ".hidden.log", "notes.txt", "x.log.bak"}) {
        WriteBytes(logs / name, "");
    }
    std::vector<std::string> inFolderOrder;
    for (const fs::directory_entry& entry : fs::directory_iterator(logs)) {
        inFolderOrder.push_back(entry.path().string());
    }

    std::vector<std::string> expected;
    std::copy_if(inFolderOrder.begin(), inFolderOrder.end(), std::back_inserter(expected),
                 [](const std::string& path) { return path.ends_with(".log"); });
    EXPECT_EQ(ListFiles(logs.string(), "*.log"), expected);
    EXPECT_EQ(expected.size(), 4u);
    EXPECT_EQ(ListFiles(logs.string(), ""), inFolderOrder);
    EXPECT_EQ(ListFiles(logs.string() + "/", "*.txt"),
              std::vector<std::string>{(logs / "notes.txt").string()});
    EXPECT_TRUE(ListFiles((folder_ / "missing").string(), "*.log").empty());
    EXPECT_TRUE(ListFiles((logs / "notes.txt").string(), "").empty());
}

TEST(FilePlaceholder, EveryOccurrenceInAnyCaseIsReplacedOnce) {
    EXPECT_EQ(SubstituteFile("Copied $FILE$", "C:\\a\\b.txt"), "Copied C:\\a\\b.txt");
    EXPECT_EQ(SubstituteFile("$FILE$ and $file$ and $FiLe$", "x"), "x and x and x");
    EXPECT_EQ(SubstituteFile("Copied $FILE$", "$FILE$"), "Copied $FILE$");
    EXPECT_EQ(SubstituteFile("$FI$FILE$LE$", ""), "$FILE$");
    EXPECT_EQ(SubstituteFile("Watching started", "/ignored"), "Watching started");
    EXPECT_EQ(SubstituteFile("[$FILE$]", ""), "[]");
    EXPECT_EQ(SubstituteFile("$FILE", "x"), "$FILE");
    EXPECT_EQ(SubstituteFile("", "x"), "");
}

TEST(DayFileNames, SlashesOfTheDateBecomeDashes) {
    EXPECT_EQ(DayFileName("12/06/26"), "12-06-26");
    EXPECT_EQ(DayFileName("6.12.2026"), "6.12.2026");
    EXPECT_EQ(DayFileName("2026/12/06"), "2026-12-06");
}

}  // namespace
