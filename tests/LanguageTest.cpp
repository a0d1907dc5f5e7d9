// Language lookup, settings/index reads and writes, marker texts and date/time placeholders.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "lang/Language.h"
#include "platform/DateTimeText.h"
#include "tests/TempFolder.h"

namespace fs = std::filesystem;

namespace {

class LanguageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        InitRegionalFormats();
        SetLanguageFolder(folder_.string());
    }
    void TearDown() override { SetLanguageFolder({}); }

    const TempFolder temp_{"ostrevan-lang"};
    const fs::path& folder_ = temp_.Path();
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
    temp_.Write("GUI.ini", "[GUI_FORM]\r\nTITLE=Ostrevan.lite\r\nEMPTY=\r\n");
    EXPECT_EQ(LanguageText("GUI_FORM", "TITLE", "GUI"), "Ostrevan.lite");
    EXPECT_EQ(LanguageText("gui_form", "title", "GUI"), "Ostrevan.lite");
    EXPECT_EQ(LanguageText("GUI_FORM", "EMPTY", "GUI"), "");
    EXPECT_EQ(LanguageText("GUI_FORM", "MISSING", "GUI"), "PARROR: GUI_FORM");
    EXPECT_EQ(LanguageText("NOSECTION", "TITLE", "GUI"), "PARROR: NOSECTION");
    EXPECT_EQ(LanguageText("GUI_FORM", "TITLE", "gui"), "PARROR: L1: language error");

    const std::string settings =
        temp_.Write("Settings.ini", "[GENERAL]\r\nSOURCE=/w\r\nEMPTY=\r\n");
    EXPECT_EQ(ReadIniValue("GENERAL", "SOURCE", settings), "/w");
    EXPECT_EQ(ReadIniValue("GENERAL", "EMPTY", settings), "");
    EXPECT_EQ(ReadIniValue("GENERAL", "DESTINATION", settings), "PARROR: GENERAL - DESTINATION");
    EXPECT_EQ(ReadIniValue("FILTERS", "BYSIZE", settings), "PARROR: FILTERS - BYSIZE");
    EXPECT_EQ(ReadIniValue("GENERAL", "SOURCE", (folder_ / "none.ini").string()),
              "PARROR: L1: language error");
}

TEST_F(LanguageTest, LanguageFileStaysOpenUntilAnotherFileIsUsed) {
    temp_.Write("GUI.ini", "[A]\r\nK=old\r\n");
    const std::string other = temp_.Write("other.ini", "[B]\r\nK=x\r\n");
    EXPECT_EQ(LanguageText("A", "K", "GUI"), "old");
    temp_.Write("GUI.ini", "[A]\r\nK=new\r\n");
    EXPECT_EQ(LanguageText("A", "K", "GUI"), "old");  // still the content opened before

    EXPECT_EQ(ReadIniValue("B", "K", other), "x");  // closes the language file
    EXPECT_EQ(LanguageText("A", "K", "GUI"), "new");

    temp_.Write("GUI.ini", "[A]\r\nK=newer\r\n");
    EXPECT_TRUE(WriteIniValue("B", "K", "y", other));  // closes it too
    EXPECT_EQ(LanguageText("A", "K", "GUI"), "newer");

    temp_.Write("EN.ini", "[A]\r\nK=english\r\n");
    EXPECT_EQ(LanguageText("A", "K", "EN"), "english");  // another stem opens another file
    EXPECT_EQ(LanguageText("A", "K", "GUI"), "newer");
}

TEST_F(LanguageTest, MissingLanguageFileIsLookedForAgain) {
    EXPECT_EQ(LanguageText("A", "K", "GUI"), "PARROR: L1: language error");
    EXPECT_EQ(LanguageText("A", "K", "GUI"), "PARROR: L1: language error");
    temp_.Write("GUI.ini", "[A]\r\nK=found\r\n");
    EXPECT_EQ(LanguageText("A", "K", "GUI"), "found");
}

TEST_F(LanguageTest, ReadsSeeEveryChangeAndWritesAreOnDisk) {
    const std::string path = temp_.Write("snapshot.ini", "[GENERAL]\r\nNO=1\r\n \r\n[DATES]\r\n");
    EXPECT_TRUE(WriteIniValue("GENERAL", "NO", "2", path));
    EXPECT_EQ(ReadIniValue("GENERAL", "NO", path), "2");
    temp_.Write("snapshot.ini", "[GENERAL]\r\nNO=9\r\n");
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
    temp_.Write("GUI.ini", "[GUI_FORM]\r\nTITLE=Started $DATE$\r\n");
    const std::string settings =
        temp_.Write("Settings.ini", "[GENERAL]\r\nDESTINATION=/store/$date$\r\n");
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

// Every key that the window looks up is in the installed English file, so no caption shows a
// marker; the log texts hold $FILE$ exactly where their lines carry a file.
TEST_F(LanguageTest, InstalledLanguageFileHoldsTheWholeCatalogue) {
    SetLanguageFolder(std::string(OSTREVAN_SOURCE_DIR) + "/install/Language");
    const std::vector<std::pair<std::string, std::vector<std::string>>> catalogue = {
        {"GUI_FORM",
         {"TITLE", "TASKMAIN", "TASK_1", "TASK_2", "TASK_3", "TASK_4", "TASK_5", "HEADER1",
          "HEADER2", "BUTTON1_1", "BUTTON1_2", "BUTTON1_3", "BUTTON1_4", "BUTTON1_5", "BUTTON2_1",
          "BUTTON2_2", "BUTTON2_3"}},
        {"PANEL1",
         {"MAINTEXT", "LABELTEXT", "GROUPBOX1", "GROUPBOX2", "LABEL1", "LABEL2", "LABEL3", "LABEL4",
          "BUTTON1", "BUTTON2", "BUTTON3", "CHECKBOX1", "CHECKBOX2"}},
        {"PANEL2",
         {"MAINTEXT", "LABELTEXT", "GROUPBOX1", "GROUPBOX2", "LABEL1", "LABEL2", "LABEL3", "LABEL4",
          "LABEL5", "RADIOBUTTON1", "RADIOBUTTON2", "BUTTON1"}},
        {"PANEL3", {"MAINTEXT", "LABELTEXT", "LABEL1", "COLUMN1", "COLUMN2", "BUTTON1"}},
        {"PANEL4",
         {"MAINTEXT", "LABELTEXT", "LABEL1", "LABEL2", "LABEL3", "LABEL4", "LABEL5", "LABEL6",
          "LABEL7", "LABEL8", "GROUPBOX1", "BUTTON1", "BUTTON2", "BUTTON3"}},
        {"PANEL5", {"MAINTEXT", "LABELTEXT"}},
        {"PANEL6", {"MAINTEXT", "LABELTEXT", "LABEL1", "LABEL2", "LABEL3"}},
        {"PANEL7", {"MAINTEXT",  "LABELTEXT", "GROUPBOX1", "GROUPBOX2", "LABEL1",  "LABEL2",
                    "LABEL3",    "LABEL4",    "LABEL5",    "LABEL6",    "LABEL7",  "LABEL8",
                    "LABEL9",    "LABEL10",   "LABEL11",   "LABEL12",   "BUTTON1", "BUTTON2",
                    "MEASURING", "CLEANING",  "CLEANED",   "NORULES",   "INVALID"}},
        {"VALUES", {"VALUE_NOLOG", "VALUE_NOINFO", "VALUES_LOGS_NO"}},
        {"OPERATIONS", {"1", "2", "3", "4"}},
        {"WARNINGS", {"1"}},
    };
    for (const auto& [section, keys] : catalogue) {
        for (const std::string& key : keys) {
            const std::string text = LanguageText(section, key, "GUI");
            EXPECT_FALSE(text.empty()) << section << "/" << key;
            EXPECT_EQ(text.rfind("PARROR: ", 0), std::string::npos) << section << "/" << key;
        }
    }
    EXPECT_EQ(LanguageText("GUI_FORM", "TITLE", "GUI"), "Ostrevan.lite");
    ASSERT_EQ(LanguageText("VALUES", "VALUES_LOGS_NO", "GUI"), "20");
    for (int code = 1; code <= 20; ++code) {
        const std::string text =
            LanguageText("VALUES", "VALUES_LOGS_" + std::to_string(code), "GUI");
        EXPECT_EQ(text.rfind("PARROR: ", 0), std::string::npos) << code;
        const bool carriesFile = code == 5 || code == 6 || (code >= 8 && code <= 12) || code >= 14;
        EXPECT_EQ(text.find("$FILE$") != std::string::npos, carriesFile) << code << ": " << text;
    }

    // CR LF line ends throughout and no byte order mark, in both installed files.
    for (const char* name : {"/install/Language/GUI.ini", "/install/Settings/Settings.ini"}) {
        const std::string content = ReadBytes(std::string(OSTREVAN_SOURCE_DIR) + name);
        ASSERT_FALSE(content.empty()) << name;
        EXPECT_NE(content.substr(0, 3), "\xEF\xBB\xBF") << name;
        EXPECT_EQ(content.substr(content.size() - 2), "\r\n") << name;
        for (std::size_t pos = content.find('\n'); pos != std::string::npos;
             pos = content.find('\n', pos + 1)) {
            ASSERT_TRUE(pos > 0 && content[pos - 1] == '\r') << name << " at byte " << pos;
        }
    }
}

TEST(DateTimeText, RegionalTextsAreNotEmpty) {
    InitRegionalFormats();
    InitRegionalFormats();  // a second call is harmless
    EXPECT_FALSE(ShortDateText().empty());
    EXPECT_FALSE(LongTimeText().empty());
    EXPECT_EQ(ShortDateText().find('$'), std::string::npos);
}

}  // namespace
