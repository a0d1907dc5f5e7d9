// The window's texts: every caption from the language file, the marker texts for a missing key or
// file, the $DATE$ placeholder, the text tables, and the start and close records of the day log.
#include <QAbstractButton>
#include <QGroupBox>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTreeView>
#include <fstream>
#include <sstream>

#include "platform/DateTimeText.h"
#include "tests/ui/UiFixture.h"
#include "ui/AboutPanel.h"

namespace {

// Every control whose caption comes from the language file.
const std::vector<const char*> kLanguageCaptions = {
    "LabelText_LOGO", "LabelTask_MAIN", "LabelTask_1",  "LabelTask_2",    "LabelTask_3",
    "LabelTask_4",    "LabelTask_5",    "Header1",      "Header2",        "OutButton1_1",
    "OutButton1_2",   "OutButton1_3",   "OutButton1_4", "OutButton1_5",   "OutButton2_1",
    "OutButton2_2",   "MainText1_1",    "LabelText1_1", "GroupBox1_1",    "GroupBox1_2",
    "Label1_1",       "Label1_2",       "Label1_3",     "Label1_4",       "Button1_1",
    "Button1_2",      "Button1_3",      "CheckBox1_1",  "CheckBox1_2",    "MainText2_1",
    "LabelText2_1",   "GroupBox2_1",    "GroupBox2_2",  "Label2_1",       "Label2_2",
    "Label2_3",       "Label2_4",       "Label2_5",     "RadioButton2_1", "RadioButton2_2",
    "Button2_1",      "MainText3_1",    "LabelText3_1", "Label3_1",       "Button3_1",
    "MainText4_1",    "LabelText4_1",   "Label4_1",     "Label4_2",       "Label4_3",
    "Label4_4",       "Label4_5",       "Label4_6",     "Label4_7",       "Label4_8",
    "GroupBox4_1",    "Button4_1",      "Button4_2",    "Button4_3",      "MainText5_1",
    "LabelText5_1",   "MainText6_1",    "LabelText6_1", "Label6_2",       "Label6_3",
    "Label6_8",       "OutButton2_3",   "MainText7_1",  "LabelText7_1",   "GroupBox7_1",
    "GroupBox7_2",    "Label7_1",       "Label7_2",     "Label7_3",       "Label7_4",
    "Label7_5",       "Label7_6",       "Label7_7",     "Label7_8",       "Label7_9",
    "Label7_10",      "Label7_11",      "Label7_12",    "Button7_1",      "Button7_2"};

QString CaptionOf(const QWidget* control) {
    if (const auto* label = qobject_cast<const QLabel*>(control)) {
        return label->text();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(control)) {
        return button->text();
    }
    if (const auto* group = qobject_cast<const QGroupBox*>(control)) {
        return group->title();
    }
    return {};
}

QString ColumnHeader(TGUI_Form& form, int column) {
    auto* tree = form.findChild<QTreeView*>("TreeView3_1");
    return tree->model()->headerData(column, Qt::Horizontal).toString();
}

// The installed language file without the lines that set the given keys in the given sections.
std::vector<std::string> InstalledLanguageWithout(
    const std::vector<std::pair<std::string, std::string>>& sectionKeys) {
    std::ifstream in(std::filesystem::path(OSTREVAN_SOURCE_DIR) / "install/Language/GUI.ini",
                     std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    std::string section;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.size() > 2 && line.front() == '[') {
            section = line.substr(1, line.find(']') - 1);
        }
        bool dropped = false;
        for (const auto& [dropSection, key] : sectionKeys) {
            dropped = dropped || (section == dropSection && line.rfind(key + "=", 0) == 0);
        }
        if (!dropped) {
            lines.push_back(line);
        }
    }
    return lines;
}

std::vector<std::string> WithReplacedLine(std::vector<std::string> lines, const std::string& key,
                                          const std::string& replacement) {
    for (std::string& line : lines) {
        if (line.rfind(key + "=", 0) == 0) {
            line = replacement;
        }
    }
    return lines;
}

}  // namespace

class Texts : public UiFixture {};

TEST_F(Texts, InstalledLanguageFileFillsEveryCaptionAndTable) {
    InstallLanguageFile();
    TGUI_Form& form = CreateForm();
    EXPECT_EQ(form.windowTitle(), "Ostrevan.lite");
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), "Ostrevan.lite");
    EXPECT_EQ(Find<QLabel>("LabelText_LOGO")->text(), "Ostrevan.lite");
    EXPECT_EQ(form.TrayIcon()->toolTip(), "Ostrevan.lite");
    for (const char* name : kLanguageCaptions) {
        const QString caption = CaptionOf(Find<QWidget>(name));
        EXPECT_FALSE(caption.isEmpty()) << name;
        EXPECT_FALSE(caption.contains("PARROR")) << name << ": " << caption.toStdString();
    }
    EXPECT_EQ(Find<QAbstractButton>("Button1_1")->text(), "Browse...");
    EXPECT_EQ(Find<QGroupBox>("GroupBox1_2")->title(), "Snapshot store");
    // The version comes from the build.
    EXPECT_TRUE(QRegularExpression(R"(^\d+\.\d+\.\d+$)").match(ProgramVersion()).hasMatch());
    EXPECT_EQ(Find<QLabel>("Label6_2")->text(), "Version " + ProgramVersion() + " for Linux");
    EXPECT_EQ(ColumnHeader(form, 0), "Time");
    EXPECT_EQ(ColumnHeader(form, 1), "Event");

    EXPECT_EQ(TextTables.NoLogText, "No log yet");
    EXPECT_EQ(TextTables.NoInfoText, "No snapshots");
    ASSERT_EQ(TextTables.LogMessages.size(), 20u);
    EXPECT_EQ(LogMessageText(1), "Ostrevan started.");
    EXPECT_EQ(LogMessageText(12), "Copied: $FILE$");
    EXPECT_EQ(LogMessageText(17),
              "Renamed; its snapshots joined the history kept under the new name: $FILE$");
    EXPECT_EQ(LogMessageText(18), "Removed by a keeping rule: $FILE$");
    EXPECT_EQ(LogMessageText(21), "");
    EXPECT_EQ(ActionNames[1], "Added");
    EXPECT_EQ(ActionNames[4], "Renamed");
}

TEST_F(Texts, DateInTheTitleShowsInCaptionLogoLabelAndTrayHint) {
    WriteLanguageFile(
        WithReplacedLine(InstalledLanguageWithout({}), "TITLE", "TITLE=Ostrevan.lite of $date$"));
    TGUI_Form& form = CreateForm();
    const QString expected = "Ostrevan.lite of " + QString::fromStdString(ShortDateText());
    EXPECT_EQ(form.windowTitle(), expected);
    EXPECT_EQ(Find<QLabel>("LabelText_LOGO")->text(), expected);
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), expected);
    EXPECT_EQ(form.TrayIcon()->toolTip(), expected);
}

TEST_F(Texts, TrayHintIsTheTitleCutTo63Characters) {
    const std::string title(40, 'a');
    const std::string tail(40, 'b');
    WriteLanguageFile(
        WithReplacedLine(InstalledLanguageWithout({}), "TITLE", "TITLE=" + title + tail));
    TGUI_Form& form = CreateForm();
    EXPECT_EQ(form.windowTitle().size(), 80);
    EXPECT_EQ(form.TrayIcon()->toolTip(), QString::fromStdString(title + tail.substr(0, 23)));
}

TEST_F(Texts, MissingKeysShowTheirSectionMarker) {
    WriteLanguageFile(InstalledLanguageWithout(
        {{"PANEL1", "BUTTON1"}, {"VALUES", "VALUES_LOGS_7"}, {"OPERATIONS", "3"}}));
    TGUI_Form& form = CreateForm();
    EXPECT_EQ(Find<QAbstractButton>("Button1_1")->text(), "PARROR: PANEL1");
    EXPECT_EQ(Find<QAbstractButton>("Button1_2")->text(), "Browse...");
    ASSERT_EQ(TextTables.LogMessages.size(), 20u);
    EXPECT_EQ(LogMessageText(7), "PARROR: VALUES");
    EXPECT_EQ(LogMessageText(8), "Copy failed, its folder could not be created: $FILE$");
    EXPECT_EQ(ActionNames[3], "PARROR: OPERATIONS");
    EXPECT_EQ(form.windowTitle(), "Ostrevan.lite");
}

TEST_F(Texts, WithoutALanguageFileEveryCaptionShowsTheLanguageError) {
    TGUI_Form& form = CreateForm();
    const QString marker = QString::fromLatin1(kLanguageError);
    EXPECT_EQ(marker, "PARROR: L1: language error");
    EXPECT_EQ(form.windowTitle(), marker);
    for (const char* name : kLanguageCaptions) {
        // The version line shows the build's version after a text without a place for it.
        const QString expected =
            std::string(name) == "Label6_2" ? marker + " " + ProgramVersion() : marker;
        EXPECT_EQ(CaptionOf(Find<QWidget>(name)), expected) << name;
    }
    EXPECT_EQ(ColumnHeader(form, 0), marker);
    EXPECT_EQ(ColumnHeader(form, 1), marker);
    EXPECT_EQ(TextTables.NoLogText, kLanguageError);
    EXPECT_EQ(TextTables.NoInfoText, kLanguageError);
    // The count of log texts is the marker, not a number: no log texts are loaded.
    EXPECT_TRUE(TextTables.LogMessages.empty());
    for (int action = 1; action <= 4; ++action) {
        EXPECT_EQ(ActionNames[static_cast<size_t>(action)], kLanguageError);
    }
    // The fixed texts of the about panel do not come from the language file.
    EXPECT_EQ(Find<QLabel>("Label6_1")->text(), "Ostrevan.lite");
}

TEST_F(Texts, CountOfLogTextsEmptyMeansThreeAndNonNumbersMeanNone) {
    WriteLanguageFile(
        WithReplacedLine(InstalledLanguageWithout({}), "VALUES_LOGS_NO", "VALUES_LOGS_NO="));
    CreateForm(false);
    ASSERT_EQ(TextTables.LogMessages.size(), 3u);
    EXPECT_EQ(LogMessageText(3), "Watching stopped.");
    EXPECT_EQ(LogMessageText(4), "");

    WriteLanguageFile(WithReplacedLine(InstalledLanguageWithout({}), "VALUES_LOGS_NO",
                                       "VALUES_LOGS_NO=thirteen"));
    InitPaths(Program.string());  // forget the language file read before
    CreateForm(false);
    EXPECT_TRUE(TextTables.LogMessages.empty());

    WriteLanguageFile(
        WithReplacedLine(InstalledLanguageWithout({}), "VALUES_LOGS_NO", "VALUES_LOGS_NO=22"));
    InitPaths(Program.string());
    CreateForm(false);
    ASSERT_EQ(TextTables.LogMessages.size(), 22u);
    EXPECT_EQ(LogMessageText(21), "PARROR: VALUES");

    EXPECT_EQ(LogMessageCount(""), 3);
    EXPECT_EQ(LogMessageCount("13"), 13);
    EXPECT_EQ(LogMessageCount("+5"), 5);
    EXPECT_EQ(LogMessageCount("0"), 0);
    EXPECT_EQ(LogMessageCount("-4"), -4);  // a count of 0 or less loads nothing
    EXPECT_EQ(LogMessageCount("+-4"), 0);
    EXPECT_EQ(LogMessageCount("1.5"), 0);
    EXPECT_EQ(LogMessageCount("13 "), 0);
    EXPECT_EQ(LogMessageCount("99999999999"), 0);
    EXPECT_EQ(LogMessageCount("2000000"), kMaxLogMessages);
    EXPECT_EQ(LogMessageCount(kLanguageError), 0);
}

TEST_F(Texts, CreationWritesTheStartRecordAndClosingWritesThreeThenThirteen) {
    InstallLanguageFile();
    TGUI_Form& form = CreateForm();
    std::vector<TLogLine> records = LogRecords();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].Code, 1);
    EXPECT_EQ(records[0].ImageIndex, 3);
    EXPECT_EQ(records[0].FileText, "");

    QSignalSpy closed(&form, &TGUI_Form::Closed);
    EXPECT_TRUE(form.close());
    EXPECT_EQ(closed.count(), 1);
    records = LogRecords();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[1].Code, 3);
    EXPECT_EQ(records[1].ImageIndex, 4);
    EXPECT_EQ(records[2].Code, 13);
    EXPECT_EQ(records[2].ImageIndex, 5);
}

TEST_F(Texts, ClosingAWindowHiddenInTheTrayStillWritesTheCloseRecords) {
    InstallLanguageFile();
    TGUI_Form& form = CreateForm();
    form.TrayIconOnClick();  // hide to the tray
    ASSERT_FALSE(form.AppVisible());
    QSignalSpy closed(&form, &TGUI_Form::Closed);
    form.close();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_EQ(LogCodes(), std::vector<int>({1, 3, 13}));
}
