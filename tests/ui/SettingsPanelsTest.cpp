// The two settings panels: filling from the settings in force, the folder choosers, saving each
// panel's keys into Settings.ini, restarting the watching, and saves that cannot be written.
#include <sys/mount.h>

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <deque>
#include <iterator>

#include "platform/DateTimeText.h"
#include "store/FileOperation.h"
#include "tests/ui/UiFixture.h"
#include "ui/SettingsPanels.h"
#include "ui/SpinEdit.h"
#include "watch/ChangeHandling.h"

namespace {

namespace fs = std::filesystem;

std::string ReadBytes(const fs::path& path) {
    std::ifstream stream(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string CrLf(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

// Names of the entries of a folder, sorted.
std::vector<std::string> EntriesOf(const fs::path& folder) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// A mount over a folder for the length of a test; unmounted (lazily) when it goes.
class TMountGuard {
  public:
    TMountGuard() = default;
    TMountGuard(const TMountGuard&) = delete;
    TMountGuard& operator=(const TMountGuard&) = delete;
    ~TMountGuard() {
        if (!target_.empty()) {
            umount2(target_.c_str(), MNT_DETACH);
        }
    }

    // The folder bound onto itself and made read-only; an error text when not permitted.
    std::string BindReadOnly(const fs::path& folder) {
        if (mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0) {
            return std::strerror(errno);
        }
        target_ = folder.string();
        if (mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) !=
            0) {
            return std::strerror(errno);
        }
        return {};
    }

    // A small tmpfs over the folder; an error text when not permitted.
    std::string SmallTmpfs(const fs::path& folder) {
        if (mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=64k") != 0) {
            return std::strerror(errno);
        }
        target_ = folder.string();
        return {};
    }

  private:
    std::string target_;
};

}  // namespace

class SettingsPanels : public UiFixture {
  protected:
    fs::path Watched;
    fs::path Store;
    fs::path SettingsFile;
    std::vector<QString> Notices;
    std::deque<QString> FolderAnswers;  // what the folder chooser answers, in turn
    std::vector<QString> ChooserCaptions;

    void SetUp() override {
        UiFixture::SetUp();
        Watched = Root / "watched";
        Store = Root / "store";
        fs::create_directories(Watched);
        SettingsFile = Program / "Settings/Settings.ini";
        InstallLanguageFile();
    }

    void TearDown() override {
        EndWatchingQuietly();
        UiFixture::TearDown();
    }

    // The window with its core hooks, the message and folder-chooser seams answered here, and
    // the settings of the file in force (watching started) as at program start.
    TGUI_Form& StartProgram() {
        TGUI_Form& form = CreateForm();
        ConnectWindowHooks(form);
        auto record = [this](QWidget*, const QString& text) { Notices.push_back(text); };
        form.panel1()->SetSaveFailureNotice(record);
        form.panel2()->SetSaveFailureNotice(record);
        form.panel1()->SetFolderChooser([this](QWidget*, const QString& caption, const QString&) {
            ChooserCaptions.push_back(caption);
            EXPECT_FALSE(FolderAnswers.empty());
            if (FolderAnswers.empty()) {
                return QString();
            }
            const QString answer = FolderAnswers.front();
            FolderAnswers.pop_front();
            return answer;
        });
        ReloadSettings();
        return form;
    }

    // A settings file watching Watched with every file passing the exceptions.
    std::string PlainSettings() const {
        return CrLf({"[GENERAL]", "SOURCE=" + Watched.string(), "SUBFOLDERS=FALSE",
                     "DESTINATION=" + Store.string(), "SKIPLIKETASKS=FALSE", "", "[FILTERS]",
                     "BYSIZE=", "BYEXT=", "BYEXTMODE=2"});
    }

    // Clicks a control by name: a check box or radio button on its indicator (a wide one takes
    // clicks only on its indicator and text), any other control in its middle.
    void Click(const char* name) {
        QWidget* control = Find<QWidget>(name);
        ASSERT_NE(control, nullptr);
        const bool box = qobject_cast<QCheckBox*>(control) || qobject_cast<QRadioButton*>(control);
        const QPoint at = box ? QPoint(7, control->height() / 2) : control->rect().center();
        QTest::mouseClick(control, Qt::LeftButton, {}, at);
    }

    // Opens panel n through its side-bar button (closing it first when it is open).
    void OpenPanel(int n) {
        const std::string button = "OutButton1_" + std::to_string(n);
        if (Form->ShownPanel() == n) {
            Click(button.c_str());
        }
        Click(button.c_str());
        ASSERT_EQ(Form->ShownPanel(), n);
    }

    // Replaces the size field's text by typing, as the user would.
    void TypeSize(const QString& text) {
        TSpinEdit* field = Find<TSpinEdit>("SpinEdit2_1");
        field->SetText("");
        field->setFocus();
        QTest::keyClicks(field, text);
        ASSERT_EQ(field->text(), text);
    }

    void TypeExtensions(const QString& text) {
        QLineEdit* edit = Find<QLineEdit>("Edit2_1");
        edit->clear();
        QTest::keyClicks(edit, text);
    }

    int CountOf(int code) const {
        const std::vector<int> codes = LogCodes();
        return static_cast<int>(std::count(codes.begin(), codes.end(), code));
    }

    // Writes a file into the watched folder and waits for its first snapshot in the store.
    bool IsSnapshotted(const fs::path& folder, const std::string& name) {
        std::ofstream(folder / name) << "content of " << name;
        return WaitFor([&] { return fs::exists(Store / name / "SnapShot.1"); });
    }
};

TEST_F(SettingsPanels, ShowTheSettingsInForceOnEveryOpeningAndDropUnsavedEdits) {
    const fs::path other = Root / "other";
    fs::create_directories(other);
    const std::string file =
        CrLf({"[GENERAL]", "SOURCE=" + Watched.string(), "SUBFOLDERS=true",
              "DESTINATION=" + Store.string() + "/$DATE$", "SKIPLIKETASKS=FALSE", "[FILTERS]",
              "BYSIZE=-5", "BYEXT=.doc;.XLS", "BYEXTMODE=02"});
    WriteBytes(SettingsFile, file);
    const std::string dayBefore = ShortDateText();
    StartProgram();
    const std::string dayAfter = ShortDateText();

    OpenPanel(1);
    QLineEdit* source = Find<QLineEdit>("Edit1_1");
    QLineEdit* destination = Find<QLineEdit>("Edit1_2");
    QCheckBox* subfolders = Find<QCheckBox>("CheckBox1_1");
    QCheckBox* skipRepeats = Find<QCheckBox>("CheckBox1_2");
    EXPECT_EQ(source->text().toStdString(), Watched.string());
    EXPECT_TRUE(subfolders->isChecked());
    EXPECT_FALSE(skipRepeats->isChecked());
    // The store path shows with the date of the reload in place of $DATE$.
    const std::string shownStore = destination->text().toStdString();
    EXPECT_TRUE(shownStore == Store.string() + "/" + dayBefore ||
                shownStore == Store.string() + "/" + dayAfter)
        << shownStore;
    EXPECT_TRUE(source->isReadOnly());
    EXPECT_TRUE(destination->isReadOnly());

    // Browsing: a confirmed folder goes into the field, a cancel leaves it; nothing is saved.
    FolderAnswers = {QString::fromStdString(other.string()), QString()};
    Click("Button1_1");
    EXPECT_EQ(source->text().toStdString(), other.string());
    Click("Button1_2");
    EXPECT_EQ(destination->text().toStdString(), shownStore);
    EXPECT_EQ(ChooserCaptions, (std::vector<QString>{"Watched folder", "Snapshot store"}));
    Click("CheckBox1_1");
    Click("CheckBox1_2");
    EXPECT_FALSE(subfolders->isChecked());
    EXPECT_TRUE(skipRepeats->isChecked());

    OpenPanel(2);
    QRadioButton* onlyListed = Find<QRadioButton>("RadioButton2_1");
    QRadioButton* allButListed = Find<QRadioButton>("RadioButton2_2");
    EXPECT_TRUE(onlyListed->isChecked());  // "02" is not "2"
    EXPECT_FALSE(allButListed->isChecked());
    EXPECT_EQ(Find<TSpinEdit>("SpinEdit2_1")->text(), "-5");
    EXPECT_EQ(Find<QLineEdit>("Edit2_1")->text(), ".doc;.XLS");
    Click("RadioButton2_2");
    EXPECT_TRUE(allButListed->isChecked());
    EXPECT_FALSE(onlyListed->isChecked());
    TypeSize("77");
    TypeExtensions(".txt");

    // Reopening shows the settings in force again; file and watching are untouched.
    OpenPanel(1);
    EXPECT_EQ(source->text().toStdString(), Watched.string());
    EXPECT_EQ(destination->text().toStdString(), shownStore);
    EXPECT_TRUE(subfolders->isChecked());
    EXPECT_FALSE(skipRepeats->isChecked());
    OpenPanel(2);
    EXPECT_TRUE(onlyListed->isChecked());
    EXPECT_FALSE(allButListed->isChecked());
    EXPECT_EQ(Find<TSpinEdit>("SpinEdit2_1")->text(), "-5");
    EXPECT_EQ(Find<QLineEdit>("Edit2_1")->text(), ".doc;.XLS");
    EXPECT_EQ(ReadBytes(SettingsFile), file);
    EXPECT_EQ(LogCodes(), (std::vector<int>{1, 2}));

    // Any mode other than 1 shows the second radio button, and only it.
    RunSettings.BYEXTMODE = 2;
    OpenPanel(2);
    EXPECT_FALSE(onlyListed->isChecked());
    EXPECT_TRUE(allButListed->isChecked());
}

TEST_F(SettingsPanels, SavingBasicSettingsWritesOnlyGeneralAndRestartsWatching) {
    const fs::path other = Root / "other folder";
    fs::create_directories(other);
    const std::vector<std::string> filters = {"; exceptions", "[filters]",   "BYSIZE = 12 ",
                                              "BYEXT='.doc'", "BYEXTMODE=2", "[OTHER]",
                                              "A=b"};
    std::vector<std::string> lines = {"[GENERAL]", "SOURCE=" + Watched.string(), "SUBFOLDERS=true",
                                      "DESTINATION=" + Store.string(), "SKIPLIKETASKS=no"};
    lines.insert(lines.end(), filters.begin(), filters.end());
    WriteBytes(SettingsFile, CrLf(lines));
    TGUI_Form& form = StartProgram();
    ASSERT_TRUE(IsWatching());

    // Saving unchanged rewrites the flags in upper case and restarts watching.
    OpenPanel(1);
    Click("Button1_3");
    std::vector<std::string> expected = {"[GENERAL]", "SOURCE=" + Watched.string(),
                                         "SUBFOLDERS=TRUE", "DESTINATION=" + Store.string(),
                                         "SKIPLIKETASKS=FALSE"};
    expected.insert(expected.end(), filters.begin(), filters.end());
    EXPECT_EQ(ReadBytes(SettingsFile), CrLf(expected));
    EXPECT_EQ(LogCodes(), (std::vector<int>{1, 2, 3, 2}));
    EXPECT_TRUE(IsWatching());

    // A new folder, the subfolders box cleared and the repeat box ticked.
    FolderAnswers = {QString::fromStdString(other.string()),
                     QString::fromStdString(other.string())};
    Click("Button1_1");
    Click("Button1_2");  // the same folder for both is taken as it is
    Click("CheckBox1_1");
    Click("CheckBox1_2");
    Click("Button1_3");
    expected[1] = "SOURCE=" + other.string();
    expected[2] = "SUBFOLDERS=FALSE";
    expected[3] = "DESTINATION=" + other.string();
    expected[4] = "SKIPLIKETASKS=TRUE";
    EXPECT_EQ(ReadBytes(SettingsFile), CrLf(expected));
    EXPECT_EQ(LogCodes(), (std::vector<int>{1, 2, 3, 2, 3, 2}));
    EXPECT_EQ(RunSettings.SOURCE, other.string());
    EXPECT_FALSE(RunSettings.SUBFOLDERS);
    EXPECT_TRUE(RunSettings.SKIPLIKETASKS);
    // The other panel's keys are in force as the file has them.
    EXPECT_EQ(RunSettings.BYSIZE, 12);
    EXPECT_EQ(RunSettings.BYEXT, ".doc");
    EXPECT_EQ(RunSettings.BYEXTMODE, 2);
    EXPECT_TRUE(WaitFor([&] { return form.TrayImageIndex() == 0; }));
    EXPECT_TRUE(Notices.empty());

    // A watched folder that does not exist: saved as chosen, watching stops without a message.
    FolderAnswers = {QString::fromStdString((Root / "gone").string())};
    Click("Button1_1");
    Click("Button1_3");
    EXPECT_FALSE(IsWatching());
    EXPECT_EQ(LogCodes(), (std::vector<int>{1, 2, 3, 2, 3, 2, 3}));
    EXPECT_TRUE(WaitFor([&] { return form.TrayImageIndex() == 1; }));
    EXPECT_TRUE(Notices.empty());
}

TEST_F(SettingsPanels, SavingExceptionsWritesOnlyFiltersAndKeepsThePanelAsEntered) {
    const std::vector<std::string> general = {
        "[GENERAL]", "SOURCE=" + Watched.string(), "SUBFOLDERS=yes",
        "DESTINATION=" + Store.string() + "/$DATE$", "SKIPLIKETASKS=True"};
    std::vector<std::string> lines = general;
    lines.insert(lines.end(), {"[FILTERS]", "BYSIZE=", "BYEXT=.doc", "BYEXTMODE=1"});
    WriteBytes(SettingsFile, CrLf(lines));
    StartProgram();

    OpenPanel(2);
    EXPECT_EQ(Find<TSpinEdit>("SpinEdit2_1")->text(), "1032");
    Click("RadioButton2_2");
    TypeSize("-40");
    TypeExtensions("  .Doc;;xls ");
    Click("Button2_1");
    std::vector<std::string> expected = general;  // $DATE$ stays: GENERAL is not written
    expected.insert(expected.end(),
                    {"[FILTERS]", "BYSIZE=-40", "BYEXT=  .Doc;;xls ", "BYEXTMODE=2"});
    EXPECT_EQ(ReadBytes(SettingsFile), CrLf(expected));
    EXPECT_EQ(LogCodes(), (std::vector<int>{1, 2, 3, 2}));
    EXPECT_EQ(RunSettings.BYSIZE, -40);
    EXPECT_EQ(RunSettings.BYEXTMODE, 2);
    EXPECT_EQ(RunSettings.BYEXT, ".Doc;;xls");                      // reading trims the spaces
    EXPECT_EQ(Find<QLineEdit>("Edit2_1")->text(), "  .Doc;;xls ");  // the panel is not refilled

    // Texts that are not a whole number in the signed 32-bit range save as 0.
    Click("RadioButton2_1");
    for (const char* typed : {"", "-", "+", "1.5", "2147483648", "-2147483649"}) {
        const QString text = QString::fromLatin1(typed);
        TypeSize(text);
        Click("Button2_1");
        expected[expected.size() - 3] = "BYSIZE=0";
        expected.back() = "BYEXTMODE=1";
        EXPECT_EQ(ReadBytes(SettingsFile), CrLf(expected)) << typed;
        EXPECT_EQ(Find<TSpinEdit>("SpinEdit2_1")->text(), text);
    }
    TypeSize("-2147483648");
    Click("Button2_1");
    expected[expected.size() - 3] = "BYSIZE=-2147483648";
    EXPECT_EQ(ReadBytes(SettingsFile), CrLf(expected));
    EXPECT_EQ(RunSettings.BYSIZE, INT32_MIN);
    EXPECT_EQ(CountOf(2), 9);  // every save restarted watching
    EXPECT_EQ(CountOf(3), 8);
    EXPECT_TRUE(Notices.empty());
}

TEST_F(SettingsPanels, UneditedPathsSaveTheirBytesEvenWhenNotUtf8) {
    const std::string oddName = "caf\xE9";  // Latin-1 bytes, not UTF-8
    const fs::path odd = Root / oddName;
    fs::create_directories(odd);
    const std::string file =
        CrLf({"[GENERAL]", "SOURCE=" + odd.string(), "SUBFOLDERS=FALSE",
              "DESTINATION=" + Store.string() + "/" + oddName, "SKIPLIKETASKS=FALSE", "[FILTERS]",
              "BYSIZE=1032", "BYEXT=.\xE9t\xE9", "BYEXTMODE=2"});
    WriteBytes(SettingsFile, file);
    StartProgram();
    ASSERT_TRUE(IsWatching());
    OpenPanel(1);
    Click("Button1_3");
    OpenPanel(2);
    Click("Button2_1");
    EXPECT_EQ(ReadBytes(SettingsFile), file);
    EXPECT_EQ(RunSettings.SOURCE, odd.string());
    EXPECT_TRUE(IsWatching());
}

TEST_F(SettingsPanels, ANewWatchedFolderIsWatchedAtOnceAfterSaving) {
    WriteBytes(SettingsFile, PlainSettings());
    StartProgram();
    ASSERT_TRUE(IsWatching());
    ASSERT_TRUE(IsSnapshotted(Watched, "before.txt"));

    const fs::path next = Root / "next";
    fs::create_directories(next);
    OpenPanel(1);
    FolderAnswers = {QString::fromStdString(next.string())};
    Click("Button1_1");
    Click("Button1_3");
    EXPECT_EQ(RunSettings.SOURCE, next.string());
    std::ofstream(Watched / "left.txt") << "no longer watched";
    EXPECT_TRUE(IsSnapshotted(next, "after.txt"));
    EXPECT_FALSE(fs::exists(Store / "left.txt"));
}

TEST_F(SettingsPanels, MissingSettingsFileGivesOneMessageCreatesNothingAndKeepsWatching) {
    WriteBytes(SettingsFile, PlainSettings());
    StartProgram();
    ASSERT_TRUE(IsWatching());
    fs::remove(SettingsFile);

    OpenPanel(1);
    Click("CheckBox1_1");
    Click("Button1_3");
    ASSERT_EQ(Notices.size(), 1u);
    EXPECT_EQ(Notices[0].toStdString(),
              "The settings could not be saved. Check that this file exists and can be written: " +
                  SettingsFile.string());
    OpenPanel(2);
    Click("Button2_1");
    EXPECT_EQ(Notices.size(), 2u);
    EXPECT_TRUE(EntriesOf(Program / "Settings").empty());

    // Neither the Settings folder is created; the message names the file whatever the
    // language file offers.
    fs::remove(Program / "Settings");
    WriteLanguageFile({"[PANEL1]", "BUTTON3=Save"});
    OpenPanel(1);
    Click("Button1_3");
    ASSERT_EQ(Notices.size(), 3u);
    EXPECT_EQ(Notices[2].toStdString(), "PARROR: WARNINGS\n" + SettingsFile.string());
    EXPECT_FALSE(fs::exists(Program / "Settings"));

    // Watching went on with the settings in force all along.
    EXPECT_EQ(LogCodes(), (std::vector<int>{1, 2}));
    EXPECT_TRUE(IsWatching());
    EXPECT_FALSE(RunSettings.SUBFOLDERS);
    EXPECT_TRUE(IsSnapshotted(Watched, "still.txt"));
}

TEST_F(SettingsPanels, ReadOnlySettingsFileGivesOneMessageAndKeepsWatching) {
    const std::string file = PlainSettings();
    WriteBytes(SettingsFile, file);
    TMountGuard readOnly;
    const std::string refused = readOnly.BindReadOnly(Program / "Settings");
    if (!refused.empty()) {
        GTEST_SKIP() << "read-only bind mount not permitted: " << refused;
    }
    StartProgram();
    ASSERT_TRUE(IsWatching());

    OpenPanel(1);
    Click("CheckBox1_2");
    Click("Button1_3");
    ASSERT_EQ(Notices.size(), 1u);
    EXPECT_TRUE(Notices[0].contains(QString::fromStdString(SettingsFile.string())));
    EXPECT_FALSE(Notices[0].startsWith("PARROR"));
    OpenPanel(2);
    TypeSize("5");
    Click("Button2_1");
    EXPECT_EQ(Notices.size(), 2u);

    EXPECT_EQ(ReadBytes(SettingsFile), file);
    EXPECT_EQ(EntriesOf(Program / "Settings"), std::vector<std::string>{"Settings.ini"});
    EXPECT_EQ(LogCodes(), (std::vector<int>{1, 2}));
    EXPECT_FALSE(RunSettings.SKIPLIKETASKS);
    EXPECT_EQ(RunSettings.BYSIZE, 1032);
    EXPECT_TRUE(IsWatching());
    EXPECT_TRUE(IsSnapshotted(Watched, "still.txt"));
}

TEST_F(SettingsPanels, FullDiskGivesOneMessageAndLeavesTheFileWhole) {
    const fs::path settingsDir = Program / "Settings";
    TMountGuard small;
    const std::string refused = small.SmallTmpfs(settingsDir);
    if (!refused.empty()) {
        GTEST_SKIP() << "tmpfs mount not permitted: " << refused;
    }
    const std::string file = PlainSettings();
    WriteBytes(SettingsFile, file);
    {  // fill the rest of the small disk
        std::ofstream filler(settingsDir / "filler", std::ios::binary);
        const std::string block(4096, 'x');
        for (int i = 0; i < 64 && filler; ++i) {
            filler << block << std::flush;
        }
    }
    StartProgram();
    ASSERT_TRUE(IsWatching());

    OpenPanel(2);
    Find<QLineEdit>("Edit2_1")->setText(QString(6000, u'e'));
    Click("Button2_1");
    ASSERT_EQ(Notices.size(), 1u);
    EXPECT_TRUE(Notices[0].contains(QString::fromStdString(SettingsFile.string())));
    EXPECT_EQ(ReadBytes(SettingsFile), file);
    EXPECT_EQ(EntriesOf(settingsDir), (std::vector<std::string>{"Settings.ini", "filler"}));
    EXPECT_EQ(LogCodes(), (std::vector<int>{1, 2}));
    EXPECT_TRUE(IsWatching());
}

// The real folder chooser, opened with the keyboard, starts in the folder its field names: the
// nearest one that exists when the field's folder has gone, the home folder when it names none.
TEST_F(SettingsPanels, FolderChooserOpensInTheFieldsFolder) {
    fs::create_directories(Store);
    WriteBytes(SettingsFile, PlainSettings());
    TGUI_Form& form = StartProgram();
    form.panel1()->SetFolderChooser({});
    OpenPanel(1);

    QStringList openedIn;
    QTimer poke;
    poke.setInterval(20);
    QObject::connect(&poke, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            openedIn << dialog->directory().absolutePath();
            QTest::keyClick(dialog, Qt::Key_Escape);
        }
    });
    poke.start();
    const auto chooseWith = [&](const char* button) {
        QWidget* control = Find<QWidget>(button);
        control->setFocus();
        QTest::keyClick(control, Qt::Key_Space);
    };
    chooseWith("Button1_1");
    chooseWith("Button1_2");
    form.panel1()->Edit1_2->setText(QString::fromStdString((Store / "gone/deeper").string()));
    chooseWith("Button1_2");
    form.panel1()->Edit1_2->clear();
    chooseWith("Button1_2");
    poke.stop();

    EXPECT_EQ(openedIn, (QStringList{QString::fromStdString(Watched.string()),
                                     QString::fromStdString(Store.string()),
                                     QString::fromStdString(Store.string()), QDir::homePath()}));
    EXPECT_EQ(form.panel1()->Edit1_1->text(), QString::fromStdString(Watched.string()));
}
