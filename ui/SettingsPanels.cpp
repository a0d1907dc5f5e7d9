#include "ui/SettingsPanels.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <utility>
#include <vector>

#include "core/Autostart.h"
#include "core/Paths.h"
#include "core/RunSettings.h"
#include "core/SharedState.h"
#include "lang/Language.h"
#include "store/DayLog.h"
#include "watch/Watcher.h"

namespace {

const QString kInfoPicture = QStringLiteral("info");

QString AskForFolder(QWidget* parent, const QString& caption, const QString& startFolder) {
    return QFileDialog::getExistingDirectory(parent, caption, startFolder,
                                             QFileDialog::ShowDirsOnly);
}

const char* FlagText(bool on) {
    return on ? "TRUE" : "FALSE";
}

void ShowSetting(QLineEdit* edit, TShownSetting& shown, const std::string& value) {
    shown.Bytes = value;
    shown.Shown = QString::fromStdString(value);
    edit->setText(shown.Shown);
}

// The text to save for a field: the bytes it was filled with while it still shows them.
std::string SettingText(const QLineEdit* edit, const TShownSetting& shown) {
    const QString text = edit->text();
    return text == shown.Shown ? shown.Bytes : text.toStdString();
}

// The message after a failed save: WARNINGS/2 with the file in place of $FILE$. A text that
// has no place for it (another language file, or the marker of a missing key) gets the file on
// a line of its own, so the message always names it.
QString SaveFailureText(const std::string& path = SettingsFilePath()) {
    const std::string text = LanguageText("WARNINGS", "2");
    const std::string filled = SubstituteFile(text, path);
    return QString::fromStdString(filled != text ? filled : text + "\n" + path);
}

// Adds or removes the autostart entry when the box differs from it; false when that fails.
bool ApplyAutostart(bool wanted) {
    return wanted == AutostartEnabled() || SetAutostart(wanted, ExecutablePath());
}

}  // namespace

void ShowWarning(QWidget* parent, const QString& text) {
    QMessageBox::warning(parent ? parent->window() : nullptr,
                         QGuiApplication::applicationDisplayName(), text);
}

bool WriteSettingsValues(const char* section, const std::vector<TSettingsValue>& values) {
    std::vector<std::pair<std::string, std::string>> keys;
    for (const TSettingsValue& value : values) {
        keys.emplace_back(value.Key, value.Value);
    }
    return WriteIniValues(section, keys, SettingsFilePath());
}

// A save that failed changes nothing in force: rereading a file that is missing would stop
// watching, and one that refused the write holds nothing new.
void FinishSave(bool written, QWidget* panel, const TMessageNotice& notice) {
    if (written) {
        ReloadSettings();
        RefreshTrayIcon(false);
        return;
    }
    if (notice) {
        notice(panel, SaveFailureText());
    }
}

QString ChooserStartFolder(const QString& fieldValue) {
    if (fieldValue.trimmed().isEmpty() || !QDir::isAbsolutePath(fieldValue)) {
        return QDir::homePath();
    }
    QString folder = QDir::cleanPath(fieldValue);
    while (folder != QStringLiteral("/") && !QFileInfo(folder).isDir()) {
        folder = QFileInfo(folder).absolutePath();
    }
    return folder == QStringLiteral("/") ? QDir::homePath() : folder;
}

QPushButton* MakeButton(QWidget* parent, const char* name, int x, int y) {
    auto* button = new QPushButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(x, y, 81, 22);
    return button;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, const QRect& geometry, bool readOnly) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(geometry);
    edit->setReadOnly(readOnly);
    return edit;
}

QGroupBox* MakeGroupBox(QWidget* parent, const char* name, const QRect& geometry) {
    auto* group = new QGroupBox(parent);
    group->setObjectName(QString::fromLatin1(name));
    group->setGeometry(geometry);
    return group;
}

Panel1::Panel1(QWidget* parent)
    : PanelFrame(1, QStringLiteral("TopPanel1_1"), QStringLiteral("bar-tools"), parent) {
    GroupBox1_1 = MakeGroupBox(this, "GroupBox1_1", QRect(8, 72, 433, 145));
    Label1_1 = MakeLabel(GroupBox1_1, "Label1_1", 8, 27);
    Edit1_1 = MakeEdit(GroupBox1_1, "Edit1_1", QRect(48, 24, 289, 21), true);
    Button1_1 = MakeButton(GroupBox1_1, "Button1_1", 344, 24);
    CheckBox1_1 = new QCheckBox(GroupBox1_1);
    CheckBox1_1->setObjectName(QStringLiteral("CheckBox1_1"));
    CheckBox1_1->setGeometry(16, 56, 393, 17);
    Image1_2 = MakePicture(GroupBox1_1, "Image1_2", kInfoPicture, QRect(8, 84, 20, 18));
    Label1_2 = MakeWrappedLabel(GroupBox1_1, "Label1_2", QRect(32, 82, 393, 55));

    GroupBox1_2 = MakeGroupBox(this, "GroupBox1_2", QRect(8, 224, 433, 113));
    Label1_3 = MakeLabel(GroupBox1_2, "Label1_3", 8, 27);
    Edit1_2 = MakeEdit(GroupBox1_2, "Edit1_2", QRect(48, 24, 289, 21), true);
    Button1_2 = MakeButton(GroupBox1_2, "Button1_2", 344, 24);
    Image1_3 = MakePicture(GroupBox1_2, "Image1_3", kInfoPicture, QRect(8, 60, 20, 18));
    Label1_4 = MakeWrappedLabel(GroupBox1_2, "Label1_4", QRect(32, 58, 393, 47));

    CheckBox1_2 = new QCheckBox(this);
    CheckBox1_2->setObjectName(QStringLiteral("CheckBox1_2"));
    CheckBox1_2->setGeometry(16, 340, 409, 17);
    // Beside the save button, on the panel's last free row.
    CheckBox1_3 = new QCheckBox(this);
    CheckBox1_3->setObjectName(QStringLiteral("CheckBox1_3"));
    CheckBox1_3->setGeometry(16, 362, 330, 17);
    Button1_3 = MakeButton(this, "Button1_3", 352, 360);
}

void Panel1::LoadSettings() {
    ShowSetting(Edit1_1, shownSource_, RunSettings.SOURCE);
    ShowSetting(Edit1_2, shownDestination_, RunSettings.DESTINATION);
    CheckBox1_1->setChecked(RunSettings.SUBFOLDERS);
    CheckBox1_2->setChecked(RunSettings.SKIPLIKETASKS);
    CheckBox1_3->setChecked(AutostartEnabled());
}

void Panel1::ChooseFolderInto(QLineEdit* edit, TShownSetting& shown, const QGroupBox* frame) {
    const TFolderChooser chooser = folderChooser_ ? folderChooser_ : AskForFolder;
    const QString folder = chooser(this, frame->title(), ChooserStartFolder(edit->text()));
    if (folder.isEmpty()) {
        return;  // cancelled
    }
    edit->setText(folder);
    shown = TShownSetting{};  // the field now holds the chooser's text, saved as it stands
}

void Panel1::ChooseWatchedFolder() {
    ChooseFolderInto(Edit1_1, shownSource_, GroupBox1_1);
}

void Panel1::ChooseStoreFolder() {
    ChooseFolderInto(Edit1_2, shownDestination_, GroupBox1_2);
}

void Panel1::SaveBasicSettings() {
    const bool written =
        WriteSettingsValues("GENERAL", {{"SOURCE", SettingText(Edit1_1, shownSource_)},
                                        {"SUBFOLDERS", FlagText(CheckBox1_1->isChecked())},
                                        {"DESTINATION", SettingText(Edit1_2, shownDestination_)},
                                        {"SKIPLIKETASKS", FlagText(CheckBox1_2->isChecked())}});
    const TMessageNotice notice = saveFailureNotice_ ? saveFailureNotice_ : ShowWarning;
    FinishSave(written, this, notice);
    if (!ApplyAutostart(CheckBox1_3->isChecked())) {
        notice(this, SaveFailureText(AutostartEntryPath()));
    }
}

void Panel1::SetFolderChooser(TFolderChooser chooser) {
    folderChooser_ = std::move(chooser);
}

void Panel1::SetSaveFailureNotice(TMessageNotice notice) {
    saveFailureNotice_ = std::move(notice);
}

Panel2::Panel2(QWidget* parent)
    : PanelFrame(2, QStringLiteral("Panel2_1"), QStringLiteral("bar-pen"), parent) {
    GroupBox2_1 = MakeGroupBox(this, "GroupBox2_1", QRect(8, 72, 433, 113));
    Label2_1 = MakeLabel(GroupBox2_1, "Label2_1", 8, 27);
    SpinEdit2_1 = new TSpinEdit(GroupBox2_1);
    SpinEdit2_1->setObjectName(QStringLiteral("SpinEdit2_1"));
    SpinEdit2_1->setGeometry(56, 24, 121, 22);
    Label2_2 = MakeLabel(GroupBox2_1, "Label2_2", 184, 27);
    Image2_2 = MakePicture(GroupBox2_1, "Image2_2", kInfoPicture, QRect(8, 60, 20, 18));
    Label2_3 = MakeWrappedLabel(GroupBox2_1, "Label2_3", QRect(32, 58, 393, 47));

    GroupBox2_2 = MakeGroupBox(this, "GroupBox2_2", QRect(8, 192, 433, 153));
    RadioButton2_1 = new QRadioButton(GroupBox2_2);
    RadioButton2_1->setObjectName(QStringLiteral("RadioButton2_1"));
    RadioButton2_1->setGeometry(8, 24, 385, 17);
    RadioButton2_2 = new QRadioButton(GroupBox2_2);
    RadioButton2_2->setObjectName(QStringLiteral("RadioButton2_2"));
    RadioButton2_2->setGeometry(8, 42, 385, 17);
    RadioButton2_1->setChecked(true);
    Label2_4 = MakeLabel(GroupBox2_2, "Label2_4", 24, 67);
    Edit2_1 = MakeEdit(GroupBox2_2, "Edit2_1", QRect(96, 64, 321, 21), false);
    Image2_3 = MakePicture(GroupBox2_2, "Image2_3", kInfoPicture, QRect(8, 100, 20, 18));
    Label2_5 = MakeWrappedLabel(GroupBox2_2, "Label2_5", QRect(32, 98, 393, 47));

    Button2_1 = MakeButton(this, "Button2_1", 352, 360);
}

void Panel2::LoadSettings() {
    if (RunSettings.BYEXTMODE == 1) {
        RadioButton2_1->setChecked(true);
    } else {
        RadioButton2_2->setChecked(true);
    }
    SpinEdit2_1->SetValue(RunSettings.BYSIZE);
    ShowSetting(Edit2_1, shownExtensions_, RunSettings.BYEXT);
}

void Panel2::SaveExceptions() {
    const bool written =
        WriteSettingsValues("FILTERS", {{"BYSIZE", std::to_string(SpinEdit2_1->Value())},
                                        {"BYEXT", SettingText(Edit2_1, shownExtensions_)},
                                        {"BYEXTMODE", RadioButton2_1->isChecked() ? "1" : "2"}});
    FinishSave(written, this, saveFailureNotice_ ? saveFailureNotice_ : ShowWarning);
}

void Panel2::SetSaveFailureNotice(TMessageNotice notice) {
    saveFailureNotice_ = std::move(notice);
}
