#pragma once
// The recovery panel (Panel4): a file's snapshots with their date, time, size and cause; restoring
// one into a named file; deleting them all.
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "ui/PanelFrame.h"

// A file dialog of the recovery panel. It accepts any name in an existing folder (the file
// itself need not exist, so a deleted document or a new target can be named) and remembers the
// name last chosen in it.
class TOpenDialog {
  public:
    // Shows a dialog offering a name (or a folder to open in); returns the chosen name, or
    // nullopt when cancelled.
    using Runner = std::function<std::optional<QString>(QWidget* owner, const QString& offered)>;

    explicit TOpenDialog(QWidget* owner) : owner_(owner) {}

    // Shows the dialog offering the name last chosen; true when a name was chosen, which
    // FileName then holds.
    bool Execute();
    // The same, offering the given name, or opening in the given folder when it is one.
    bool Execute(const QString& offered);
    const QString& FileName() const { return fileName_; }

    // The dialog's caption and the text of its accept button; empty keeps the dialog's own.
    void SetTexts(const QString& caption, const QString& acceptText);
    const QString& Caption() const { return caption_; }
    const QString& AcceptText() const { return acceptText_; }

    // Replaces the dialog (tests answer it this way); an empty runner restores the real one.
    void SetRunner(Runner runner) { runner_ = std::move(runner); }

  private:
    QWidget* owner_;
    QString fileName_;
    QString caption_;
    QString acceptText_;
    Runner runner_;
};

// The real dialog behind TOpenDialog: a QFileDialog for any file name, all files listed,
// resizable, that refuses names whose folder does not exist. offered is a name to preselect,
// or a folder to open in; caption and acceptText replace the dialog's own when not empty.
std::optional<QString> RunFileDialog(QWidget* owner, const QString& offered,
                                     const QString& caption = QString(),
                                     const QString& acceptText = QString());

// A name beside document for a restored snapshot n that names no existing file:
// "report (snapshot 3).odt", then "report (snapshot 3, 2).odt" and so on.
QString ProposedRestoreName(const QString& document, int n);

class Panel4 : public PanelFrame {
    Q_OBJECT
  public:
    explicit Panel4(QWidget* parent);

    // Opening the panel: Edit4_1 empty and no file chosen (the nothing-to-show item, empty
    // details, Button4_2 and Button4_3 disabled). Called on every opening.
    void LoadSettings();
    // ComboBoxEx4_1's selection: shows the details of the chosen snapshot.
    void ComboBoxEx4_1Select();
    // Button4_1: the file dialog (in the watched folder the first time, then at the last
    // choice); a chosen name goes into Edit4_1 and its snapshots are listed.
    void ChooseFile();
    // Button4_2: the restore dialog, in the document's folder, offering a new name beside it.
    // A target that exists is replaced only after the user agrees (WARNINGS/3, default No); then
    // the chosen snapshot is copied into it.
    void RestoreSnapshot();
    // Button4_3: the stop beep and a Yes/No warning question (WARNINGS/1); on Yes the file's
    // snapshots are deleted and the list refilled.
    void DeleteSnapshots();

    // Lists the snapshots of file (a full path, may be empty) with the first one selected and
    // shown; a file without snapshots gets the nothing-to-show item. Both buttons are enabled
    // only when there is a snapshot to show.
    bool ShowSNAPSHOTS(const QString& file);
    // Shows date, time, size and cause of snapshot n of the index at indexPath (may be empty).
    // Restore is enabled when the index exists and disabled again when the copy is missing.
    bool ShowSNAPSHOTSINFO(int n, const QString& indexPath);
    // Asks the store thread to copy the selected snapshot of the file in Edit4_1 to target
    // (replacing it when complete). Until it has run, the progress line says so and restore and
    // delete are disabled; then the line tells where the file went and the list is refreshed.
    bool ShowSNAPSHOTSRESCUE(const QString& target);
    // Asks the store thread to delete every snapshot of the file in Edit4_1 for good; the file is
    // listed again once that has run.
    bool ShowSNAPSHOTSDELETE();
    // True while a restore or delete asked for here has not run yet.
    bool StoreWorkPending() const;

    // Number of the snapshot the selected list item stands for; 0 for none.
    int SelectedSnapshotNumber() const;

    // Button4_1 chooses the file with this dialog.
    TOpenDialog OpenDialog{this};
    // Button4_2 chooses where to restore with this one (caption PANEL4/RESTORE_CAPTION,
    // accept button PANEL4/RESTORE_BUTTON).
    TOpenDialog RestoreDialog{this};
    // Asks the delete question; true for Yes. A warning message box unless a test replaces it.
    std::function<bool(QWidget* owner, const QString& question)> AskDelete;
    // Asks whether an existing target may be replaced; true for Yes. A question box whose
    // default is No unless a test replaces it.
    std::function<bool(QWidget* owner, const QString& question)> AskReplace;

    QLabel* Label4_1 = nullptr;
    QLineEdit* Edit4_1 = nullptr;  // read-only: the chosen file
    QPushButton* Button4_1 = nullptr;

    QGroupBox* GroupBox4_1 = nullptr;
    QLabel* Label4_2 = nullptr;
    QComboBox* ComboBoxEx4_1 = nullptr;
    QFrame* Panel4_2 = nullptr;  // separator
    QLabel* Label4_3 = nullptr;
    QLineEdit* Edit4_2 = nullptr;  // date
    QLabel* Label4_4 = nullptr;
    QLineEdit* Edit4_3 = nullptr;  // time
    QLabel* Label4_5 = nullptr;
    QLineEdit* Edit4_4 = nullptr;  // size in thousands of bytes
    QLabel* Label4_6 = nullptr;    // unit
    QLabel* Label4_7 = nullptr;
    QLineEdit* Edit4_5 = nullptr;  // operation

    QLabel* Image4_2 = nullptr;
    QLabel* Label4_8 = nullptr;  // advice
    // In place of the advice while the chosen file lies outside the watched folder: a warning
    // picture and the note PANEL4/LABEL9 that such a file has no snapshots.
    QLabel* Image4_3 = nullptr;
    QLabel* Label4_9 = nullptr;
    QPushButton* Button4_2 = nullptr;  // restore
    QPushButton* Button4_3 = nullptr;  // delete
    QLabel* Label4_10 = nullptr;       // progress line of a restore or delete

  private:
    void RestoreFinished(bool restored, const QString& target);
    void DeleteFinished();
    void BeginStoreWork(const std::string& progress);
    void EndStoreWork(const std::string& outcome);
    void ApplyPendingWork();
    void ShowProgressLine(const QString& text);
    void RefreshKeepingSelection();
    void ShowNothing();
    void ClearDetails();
    void ShowOutsideNote(bool shown);

    int storeWorkPending_ = 0;
    QIcon snapshotIcon_;
    QIcon nothingIcon_;
};
