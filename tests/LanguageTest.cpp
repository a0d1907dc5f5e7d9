// Language lookup, settings/index reads and writes, marker texts and date/time placeholders.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "lang/Language.h"
#include "platform/DateTimeText.h"

namespace fs = std::filesystem;

namespace {

class LanguageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InitRegionalFormats();
        std::string pattern = (fs::temp_directory_path() / "ostrevan-lang-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        SetLanguageFolder(folder_.string());
    }
    void TearDown() override {
        SetLanguageFolder({});
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    std::string Put(const std::string& name, const std::string& content) {
        const std::string path = (folder_ / name).string();
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    fs::path folder_;
};

// Expects run() to give expected(date, time), with date and time taken just before and after;
// retries when the clock ticked in between, so the comparison is exact.
void ExpectAtSteadyClock(
    const std::function<std::string()>& run,
    const std::function<std::string(const std::string& date, const std::string& time)>& expected) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        const std::string date = ShortDateText();
        const std::string time = LongTimeText();
        const std::string result = run();
        if (LongTimeText() == time && ShortDateText() == date) {
            EXPECT_EQ(result, expected(date, time));
            return;
        }
    }
    FAIL() << "the clock never held still for one lookup";
}

TEST_F(LanguageTest, MarkerTextsForMissingFilesAndKeys) {
    EXPECT_EQ(LanguageText("GUI_FORM", "TITLE", "GUI"), "PARROR: L1: language error");
    Put("GUI.ini", "[GUI_FORM]\r\nTITLE=Ostrevan.lite\r\nEMPTY=\r\n");
    EXPECT_EQ(LanguageText("GUI_FORM", "TITLE", "GUI"), "Ostrevan.lite");
    EXPECT_EQ(LanguageText("gui_form", "title", "GUI"), "Ostrevan.lite");
    EXPECT_EQ(LanguageText("GUI_FORM", "EMPTY", "GUI"), "");
    EXPECT_EQ(LanguageText("GUI_FORM", "MISSING", "GUI"), "PARROR: GUI_FORM");
    EXPECT_EQ(LanguageText("NOSECTION", "TITLE", "GUI"), "PARROR: NOSECTION");
    EXPECT_EQ(LanguageText("GUI_FORM", "TITLE", "gui"), "PARROR: L1: language error");

    const std::string settings = Put("Settings.ini", "[GENERAL]\r\nSOURCE=/w\r\nEMPTY=\r\n");
    EXPECT_EQ(ReadIniValue("GENERAL", "SOURCE", settings), "/w");
    EXPECT_EQ(ReadIniValue("GENERAL", "EMPTY", settings), "");
    EXPECT_EQ(ReadIniValue("GENERAL", "DESTINATION", settings), "PARROR: GENERAL - DESTINATION");
    EXPECT_EQ(ReadIniValue("FILTERS", "BYSIZE", settings), "PARROR: FILTERS - BYSIZE");
    EXPECT_EQ(ReadIniValue("GENERAL", "SOURCE", (folder_ / "none.ini").string()),
              "PARROR: L1: language error");
}

TEST_F(LanguageTest, LanguageFileStaysOpenUntilAnotherFileIsUsed) {
    Put("GUI.ini", "[A]\r\nK=old\r\n");
    const std::string other = Put("other.ini", "[B]\r\nK=x\r\n");
    EXPECT_EQ(LanguageText("A", "K", "GUI"), "old");
    Put("GUI.ini", "[A]\r\nK=new\r\n");
    EXPECT_EQ(LanguageText("A", "K", "GUI"), "old");  // still the content opened before

    EXPECT_EQ(ReadIniValue("B", "K", other), "x");  // closes the language file
    EXPECT_EQ(LanguageText("A", "K", "GUI"), "new");

    Put("GUI.ini", "[A]\r\nK=newer\r\n");
    EXPECT_TRUE(WriteIniValue("B", "K", "y", other));  // closes it too
    EXPECT_EQ(LanguageText("A", "K", "GUI"), "newer");

    Put("EN.ini", "[A]\r\nK=english\r\n");
    EXPECT_EQ(LanguageText("A", "K", "EN"), "english");  // another stem opens another file
    EXPECT_EQ(LanguageText("A", "K", "GUI"), "newer");
}

TEST_F(LanguageTest, MissingLanguageFileIsLookedForAgain) {
    EXPECT_EQ(LanguageText("A", "K", "GUI"), "PARROR: L1: language error");
    EXPECT_EQ(LanguageText("A", "K", "GUI"), "PARROR: L1: language error");
    Put("GUI.ini", "[A]\r\nK=found\r\n");
    EXPECT_EQ(LanguageText("A", "K", "GUI"), "found");
}

TEST_F(LanguageTest, ReadsSeeEveryChangeAndWritesAreOnDisk) {
    const std::string path = Put("snapshot.ini", "[GENERAL]\r\nNO=1\r\n \r\n[DATES]\r\n");
    EXPECT_TRUE(WriteIniValue("GENERAL", "NO", "2", path));
    EXPECT_EQ(ReadIniValue("GENERAL", "NO", path), "2");
    Put("snapshot.ini", "[GENERAL]\r\nNO=9\r\n");
    EXPECT_EQ(ReadIniValue("GENERAL", "NO", path), "9");
    fs::remove(path);
    EXPECT_EQ(ReadIniValue("GENERAL", "NO", path), "PARROR: L1: language error");
    EXPECT_FALSE(WriteIniValue("GENERAL", "NO", "3", path));
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(LanguageTest, PlaceholdersAreReplacedInAnyLetterCase) {
    ExpectAtSteadyClock([] { return SubstituteDateTime("$DATE$ at $Time$, again $date$."); },
                        [](const std::string& date, const std::string& time) {
                            return date + " at " + time + ", again " + date + ".";
                        });
    ExpectAtSteadyClock(
        [] { return SubstituteDateTime("$time$$TIME$$TiMe$ $DATE"); },
        [](const std::string&, const std::string& time) { return time + time + time + " $DATE"; });
    EXPECT_EQ(SubstituteDateTime("no placeholder $FILE$ $DAT E$"), "no placeholder $FILE$ $DAT E$");
    EXPECT_EQ(SubstituteDateTime(""), "");
}

TEST_F(LanguageTest, LookedUpTextsAndMarkersPassThroughThePlaceholders) {
    Put("GUI.ini", "[GUI_FORM]\r\nTITLE=Started $DATE$\r\n");
    const std::string settings = Put("Settings.ini", "[GENERAL]\r\nDESTINATION=/store/$date$\r\n");
    ExpectAtSteadyClock(
        [&] {
            return LanguageText("GUI_FORM", "TITLE", "GUI") + "|" +
                   LanguageText("$DATE$", "TITLE", "GUI") + "|" +
                   ReadIniValue("GENERAL", "DESTINATION", settings) + "|" +
                   ReadIniValue("GENERAL", "$Date$", settings);
        },
        [](const std::string& date, const std::string&) {
            return "Started " + date + "|PARROR: " + date + "|/store/" + date +
                   "|PARROR: GENERAL - " + date;
        });
}

TEST(DateTimeText, RegionalTextsAreNotEmpty) {
    InitRegionalFormats();
    InitRegionalFormats();  // a second call is harmless
    EXPECT_FALSE(ShortDateText().empty());
    EXPECT_FALSE(LongTimeText().empty());
    EXPECT_EQ(ShortDateText().find('$'), std::string::npos);
}

}  // namespace
