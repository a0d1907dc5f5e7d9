#pragma once
// The basic-settings panel (Panel1) and the exceptions panel (Panel2). Every control stands at its
// fixed place; the behaviour methods are called by TGUI_Form::LoadSettings and CommandClick.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <functional>
#include <string>
#include <vector>

#include "ui/PanelFrame.h"
#include "ui/SpinEdit.h"

// Asks the user for a folder, opening in startFolder; the chosen folder, or an empty text when
// the user cancels. QFileDialog::getExistingDirectory unless a test answers instead.
using TFolderChooser =
    std::function<QString(QWidget* parent, const QString& caption, const QString& startFolder)>;

// Where a folder chooser for a field opens: the folder the field names, or the nearest one
// above it that exists; the home folder when the field names none.
QString ChooserStartFolder(const QString& fieldValue);
// Shows one message to the user; a warning message box unless a test records it instead.
using TMessageNotice = std::function<void(QWidget* parent, const QString& text)>;

// A setting as an edit field shows it, with the bytes it was read as: a field that still shows
// the same text saves those bytes, so a path that is not valid UTF-8 survives a save unchanged.
struct TShownSetting {
    QString Shown;
    std::string Bytes;
};

// Basic settings: the watched folder, its subfolders, the store folder, repeat suppression.
class Panel1 : public PanelFrame {
    Q_OBJECT
  public:
    explicit Panel1(QWidget* parent);

    // Fills the controls from RunSettings: Edit1_1 SOURCE, Edit1_2 DESTINATION,
    // CheckBox1_1 SUBFOLDERS, CheckBox1_2 SKIPLIKETASKS; CheckBox1_3 from the autostart entry
    // as it is on disk. Called on every opening.
    void LoadSettings();
    // Button1_1: the folder chooser, opening in Edit1_1's folder; a confirmed folder goes into
    // Edit1_1, cancel changes nothing.
    void ChooseWatchedFolder();
    // Button1_2: the same for Edit1_2.
    void ChooseStoreFolder();
    // Button1_3: writes GENERAL/SOURCE, SUBFOLDERS ("TRUE"/"FALSE"), DESTINATION, SKIPLIKETASKS
    // into Settings.ini in that order, then ReloadSettings. When Settings.ini cannot be written
    // (missing, read-only, disk full) one message names the file, and the settings in force and
    // the watching stay as they were. The panel keeps what the user entered either way.
    // CheckBox1_3 then adds or removes the autostart entry where it differs from the box; a
    // failure names the entry's file in the same message.
    void SaveBasicSettings();

    void SetFolderChooser(TFolderChooser chooser);
    void SetSaveFailureNotice(TMessageNotice notice);

    QGroupBox* GroupBox1_1 = nullptr;  // the watched folder
    QLabel* Label1_1 = nullptr;
    QLineEdit* Edit1_1 = nullptr;  // read-only
    QPushButton* Button1_1 = nullptr;
    QCheckBox* CheckBox1_1 = nullptr;
    QLabel* Image1_2 = nullptr;
    QLabel* Label1_2 = nullptr;

    QGroupBox* GroupBox1_2 = nullptr;  // the store folder
    QLabel* Label1_3 = nullptr;
    QLineEdit* Edit1_2 = nullptr;  // read-only
    QPushButton* Button1_2 = nullptr;
    QLabel* Image1_3 = nullptr;
    QLabel* Label1_4 = nullptr;

    QCheckBox* CheckBox1_2 = nullptr;
    QCheckBox* CheckBox1_3 = nullptr;  // start at login (not a Settings.ini key)
    QPushButton* Button1_3 = nullptr;  // save

  private:
    void ChooseFolderInto(QLineEdit* edit, TShownSetting& shown, const QGroupBox* frame);

    TFolderChooser folderChooser_;
    TMessageNotice saveFailureNotice_;
    TShownSetting shownSource_;
    TShownSetting shownDestination_;
};

// Exceptions: the size limit and the extension list with its mode.
class Panel2 : public PanelFrame {
    Q_OBJECT
  public:
    explicit Panel2(QWidget* parent);

    // Fills the controls from RunSettings: RadioButton2_1 when BYEXTMODE is 1, else
    // RadioButton2_2; SpinEdit2_1 BYSIZE; Edit2_1 BYEXT. Called on every opening.
    void LoadSettings();
    // Button2_1: writes FILTERS/BYSIZE (SpinEdit2_1's Value), BYEXT (as typed), BYEXTMODE
    // ("1" or "2") into Settings.ini in that order, then ReloadSettings; a failed write as for
    // Panel1::SaveBasicSettings.
    void SaveExceptions();

    void SetSaveFailureNotice(TMessageNotice notice);

    QGroupBox* GroupBox2_1 = nullptr;  // the size exception
    QLabel* Label2_1 = nullptr;
    TSpinEdit* SpinEdit2_1 = nullptr;
    QLabel* Label2_2 = nullptr;
    QLabel* Image2_2 = nullptr;
    QLabel* Label2_3 = nullptr;

    QGroupBox* GroupBox2_2 = nullptr;  // the extension exception
    QRadioButton* RadioButton2_1 = nullptr;
    QRadioButton* RadioButton2_2 = nullptr;
    QLabel* Label2_4 = nullptr;
    QLineEdit* Edit2_1 = nullptr;
    QLabel* Image2_3 = nullptr;
    QLabel* Label2_5 = nullptr;

    QPushButton* Button2_1 = nullptr;  // save

  private:
    TMessageNotice saveFailureNotice_;
    TShownSetting shownExtensions_;
};

// A warning message box over the panel's window.
void ShowWarning(QWidget* parent, const QString& text);

struct TSettingsValue {
    const char* Key;
    std::string Value;
};
// Writes the values into one section of Settings.ini, one key at a time in the given order.
// Stops at the first write the file refuses; false then.
bool WriteSettingsValues(const char* section, const std::vector<TSettingsValue>& values);
// After a panel's values are written: the new settings come into force, watching restarts and
// the tray icon shows whether it did. A failed write changes nothing in force and shows the
// message naming Settings.ini through notice.
void FinishSave(bool written, QWidget* panel, const TMessageNotice& notice);

// Creates a push button of the panels' standard size 81 x 22 at (x, y).
QPushButton* MakeButton(QWidget* parent, const char* name, int x, int y);
// Creates a single-line edit field at its place.
QLineEdit* MakeEdit(QWidget* parent, const char* name, const QRect& geometry, bool readOnly);
// Creates a group box at its place.
QGroupBox* MakeGroupBox(QWidget* parent, const char* name, const QRect& geometry);
