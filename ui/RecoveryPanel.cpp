#include "ui/RecoveryPanel.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <algorithm>
#include <string>
#include <vector>

#include "core/EventCodes.h"
#include "core/RunSettings.h"
#include "core/SharedState.h"
#include "lang/Language.h"
#include "store/DayLog.h"
#include "store/FileOperation.h"
#include "store/PathText.h"
#include "store/SnapshotIndex.h"
#include "ui/Pictures.h"
#include "ui/SettingsPanels.h"
#include "ui/TextTables.h"
#include "ui/WindowThread.h"

namespace {

constexpr qint64 kBytesPerUnit = 1000;  // sizes show in thousands of bytes, not 1024s

// A path as the file system takes it, and back.
std::string FsPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}
QString PathOf(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}
QString ShownText(const std::string& text) {
    return QString::fromStdString(text);
}

// Index of the file's per-file folder; empty when the file has none.
QString IndexPathOf(const QString& file) {
    const std::string folder = SnapshotFolder(FsPath(file));
    return folder.empty() ? QString() : PathOf(folder + "/snapshot.ini");
}

// True when file lies below the watched folder (compared by name, as the store does).
bool LiesInWatchedFolder(const QString& file) {
    if (RunSettings.SOURCE.empty()) {
        return false;
    }
    const QString base = QDir::cleanPath(PathOf(RunSettings.SOURCE));
    const QString prefix = base.endsWith('/') ? base : base + '/';
    const QString path = QDir::cleanPath(file);
    return path.size() > prefix.size() && path.startsWith(prefix);
}

// The cause of a snapshot: its operation name for codes 1 to 4, else the code itself.
QString OperationText(int code) {
    if (code >= 1 && code <= 4) {
        return ShownText(ActionNames[static_cast<size_t>(code)]);
    }
    return QString::number(code);
}

// Size of a copy in whole thousands of bytes; 0 when it cannot be opened.
qint64 SizeInThousands(const QString& copyPath) {
    QFile copy(copyPath);
    if (!copy.open(QIODevice::ReadOnly)) {
        return 0;
    }
    return copy.size() / kBytesPerUnit;
}

bool AskWithWarningBox(QWidget* owner, const QString& question) {
    return QMessageBox::warning(owner, QGuiApplication::applicationDisplayName(), question,
                                QMessageBox::Yes | QMessageBox::No,
                                QMessageBox::No) == QMessageBox::Yes;
}

bool AskWithQuestionBox(QWidget* owner, const QString& question) {
    return QMessageBox::question(owner, QGuiApplication::applicationDisplayName(), question,
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

// The question before replacing target: WARNINGS/3 with the target in place of $FILE$; a text
// without that place gets the target on a line of its own, so the question always names it.
QString ReplaceQuestion(const QString& target) {
    const std::string text = LanguageText("WARNINGS", "3", "GUI");
    const std::string filled = SubstituteFile(text, FsPath(target));
    return ShownText(filled != text ? filled : text + "\n" + FsPath(target));
}

// A file dialog that takes any name, but only in a folder that exists.
class TAnyFileDialog : public QFileDialog {
  public:
    using QFileDialog::QFileDialog;

  protected:
    void accept() override {
        const QStringList chosen = selectedFiles();
        if (chosen.isEmpty() || !QFileInfo(QFileInfo(chosen.first()).absolutePath()).isDir()) {
            QApplication::beep();
            return;
        }
        QFileDialog::accept();
    }
};

}  // namespace

namespace {

// The snapshots of file that can be restored: an index entry whose copy is gone is not offered.
std::vector<TSnapshotListItem> RestorableSnapshots(const QString& file) {
    std::vector<TSnapshotListItem> snapshots;
    const std::string folder = file.isEmpty() ? std::string() : SnapshotFolder(FsPath(file));
    if (folder.empty()) {
        return snapshots;
    }
    for (TSnapshotListItem& item : ReadSnapshotList(FsPath(file))) {
        if (IsExistingFile(SnapshotCopyPath(folder, item.Number))) {
            snapshots.push_back(std::move(item));
        }
    }
    return snapshots;
}

}  // namespace

std::optional<QString> RunFileDialog(QWidget* owner, const QString& offered, const QString& caption,
                                     const QString& acceptText) {
    TAnyFileDialog dialog(owner);
    dialog.setObjectName(QStringLiteral("OpenDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);  // the folder check above needs our own
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);  // an existing target is not questioned
    dialog.setNameFilter(QStringLiteral("*.* (*)"));
    dialog.setSizeGripEnabled(true);
    if (!caption.isEmpty()) {
        dialog.setWindowTitle(caption);
    }
    if (!acceptText.isEmpty()) {
        dialog.setLabelText(QFileDialog::Accept, acceptText);
    }
    if (!offered.isEmpty() && QFileInfo(offered).isDir()) {
        dialog.setDirectory(offered);
    } else if (!offered.isEmpty()) {
        dialog.setDirectory(QFileInfo(offered).absolutePath());
        dialog.selectFile(offered);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedFiles().first();
}

bool TOpenDialog::Execute() {
    return Execute(fileName_);
}

bool TOpenDialog::Execute(const QString& offered) {
    const std::optional<QString> chosen =
        runner_ ? runner_(owner_, offered) : RunFileDialog(owner_, offered, caption_, acceptText_);
    if (!chosen || chosen->isEmpty()) {
        return false;
    }
    fileName_ = *chosen;
    return true;
}

void TOpenDialog::SetTexts(const QString& caption, const QString& acceptText) {
    caption_ = caption;
    acceptText_ = acceptText;
}

QString ProposedRestoreName(const QString& document, int n) {
    const QFileInfo info(document);
    const QString folder = ChooserStartFolder(info.absolutePath());
    // A name that is all extension (".profile") keeps it whole as its stem.
    const bool hasStem = !info.completeBaseName().isEmpty() && !info.suffix().isEmpty();
    const QString stem = hasStem ? info.completeBaseName() : info.fileName();
    const QString extension = hasStem ? QStringLiteral(".") + info.suffix() : QString();
    for (int attempt = 1;; ++attempt) {
        const QString mark = attempt == 1
                                 ? QStringLiteral(" (snapshot %1)").arg(n)
                                 : QStringLiteral(" (snapshot %1, %2)").arg(n).arg(attempt);
        const QString candidate = folder + QLatin1Char('/') + stem + mark + extension;
        if (!QFileInfo::exists(candidate) && !QFileInfo(candidate).isSymLink()) {
            return candidate;
        }
    }
}

Panel4::Panel4(QWidget* parent)
    : PanelFrame(4, QStringLiteral("Panel4_1"), QStringLiteral("bar-lifebuoy"), parent),
      AskDelete(AskWithWarningBox),
      AskReplace(AskWithQuestionBox),
      snapshotIcon_(ImageList16Icon(kImageSnapshot)),
      nothingIcon_(ImageList16Icon(kImageError)) {
    Label4_1 = MakeLabel(this, "Label4_1", 10, 83);
    Edit4_1 = MakeEdit(this, "Edit4_1", QRect(56, 80, 289, 21), true);
    Button4_1 = MakeButton(this, "Button4_1", 352, 79);

    GroupBox4_1 = MakeGroupBox(this, "GroupBox4_1", QRect(8, 112, 433, 177));
    Label4_2 = MakeLabel(GroupBox4_1, "Label4_2", 10, 27);
    ComboBoxEx4_1 = new QComboBox(GroupBox4_1);
    ComboBoxEx4_1->setObjectName(QStringLiteral("ComboBoxEx4_1"));
    ComboBoxEx4_1->setGeometry(100, 23, 321, 22);
    ComboBoxEx4_1->setEditable(false);
    ComboBoxEx4_1->setMaxVisibleItems(8);
    ComboBoxEx4_1->setIconSize(QSize(16, 16));
    Panel4_2 = MakeSeparator(GroupBox4_1, "Panel4_2", QRect(14, 56, 405, 2));
    Label4_3 = MakeLabel(GroupBox4_1, "Label4_3", 10, 75);
    Edit4_2 = MakeEdit(GroupBox4_1, "Edit4_2", QRect(100, 72, 317, 21), true);
    Label4_4 = MakeLabel(GroupBox4_1, "Label4_4", 10, 99);
    Edit4_3 = MakeEdit(GroupBox4_1, "Edit4_3", QRect(100, 96, 317, 21), true);
    Label4_5 = MakeLabel(GroupBox4_1, "Label4_5", 10, 124);
    Edit4_4 = MakeEdit(GroupBox4_1, "Edit4_4", QRect(100, 120, 277, 21), true);
    Label4_6 = MakeLabel(GroupBox4_1, "Label4_6", 386, 124);
    Label4_7 = MakeLabel(GroupBox4_1, "Label4_7", 10, 151);
    Edit4_5 = MakeEdit(GroupBox4_1, "Edit4_5", QRect(100, 148, 317, 21), true);

    Image4_2 = MakePicture(this, "Image4_2", QStringLiteral("info"), QRect(16, 300, 20, 18));
    Label4_8 = MakeWrappedLabel(this, "Label4_8", QRect(40, 297, 393, 56));
    Image4_3 =
        MakePicture(this, "Image4_3", QStringLiteral("small-warning"), QRect(18, 300, 16, 16));
    Label4_9 = MakeWrappedLabel(this, "Label4_9", QRect(40, 297, 393, 56));
    Image4_3->hide();
    Label4_9->hide();
    Button4_2 = MakeButton(this, "Button4_2", 264, 360);
    Button4_3 = MakeButton(this, "Button4_3", 352, 360);
    Button4_2->setEnabled(false);
    Button4_3->setEnabled(false);
    Label4_10 = MakeLabel(this, "Label4_10", 10, 364);
    Label4_10->setFixedWidth(248);

    connect(ComboBoxEx4_1, QOverload<int>::of(&QComboBox::activated), this,
            [this](int) { ComboBoxEx4_1Select(); });
}

void Panel4::LoadSettings() {
    Edit4_1->clear();
    if (!StoreWorkPending()) {
        Label4_10->clear();
    }
    ShowSNAPSHOTS(QString());
}

void Panel4::ComboBoxEx4_1Select() {
    const int n = SelectedSnapshotNumber();
    if (n == 0) {  // the nothing-to-show item
        ShowSNAPSHOTSINFO(1, QString());
        return;
    }
    ShowSNAPSHOTSINFO(n, IndexPathOf(Edit4_1->text()));
}

void Panel4::ChooseFile() {
    // The first time, the dialog opens in the watched folder; then at the last choice.
    const QString offered = OpenDialog.FileName().isEmpty()
                                ? ChooserStartFolder(PathOf(RunSettings.SOURCE))
                                : OpenDialog.FileName();
    if (!OpenDialog.Execute(offered)) {
        return;
    }
    Edit4_1->setText(OpenDialog.FileName());
    ShowSNAPSHOTS(Edit4_1->text());
}

void Panel4::RestoreSnapshot() {
    const QString offered = ProposedRestoreName(Edit4_1->text(), SelectedSnapshotNumber());
    if (!RestoreDialog.Execute(offered)) {
        return;
    }
    const QString target = RestoreDialog.FileName();
    if (QFileInfo::exists(target) && !(AskReplace && AskReplace(this, ReplaceQuestion(target)))) {
        return;  // an existing file stays untouched unless the user agreed
    }
    ShowSNAPSHOTSRESCUE(target);
}

void Panel4::DeleteSnapshots() {
    QApplication::beep();
    const QString question = ShownText(LanguageText("WARNINGS", "1", "GUI"));
    if (AskDelete && AskDelete(this, question)) {
        ShowSNAPSHOTSDELETE();
    }
}

bool Panel4::ShowSNAPSHOTS(const QString& file) {
    Button4_2->setEnabled(false);
    Button4_3->setEnabled(false);
    ShowOutsideNote(!file.isEmpty() && !LiesInWatchedFolder(file));
    const std::vector<TSnapshotListItem> snapshots = RestorableSnapshots(file);
    if (snapshots.empty()) {
        ShowNothing();
        return true;
    }
    ComboBoxEx4_1->clear();
    for (const TSnapshotListItem& snapshot : snapshots) {
        const QString caption =
            QStringLiteral("%1, %2, %3")
                .arg(snapshot.Number)
                .arg(ShownText(snapshot.DateText), ShownText(snapshot.TimeText));
        ComboBoxEx4_1->addItem(snapshotIcon_, caption, snapshot.Number);
    }
    Button4_2->setEnabled(true);
    Button4_3->setEnabled(true);
    ComboBoxEx4_1->setCurrentIndex(0);
    ShowSNAPSHOTSINFO(snapshots.front().Number, IndexPathOf(file));
    ApplyPendingWork();
    return true;
}

bool Panel4::ShowSNAPSHOTSINFO(int n, const QString& indexPath) {
    ClearDetails();
    const std::optional<TSnapshotEntry> entry =
        indexPath.isEmpty() ? std::nullopt : ReadSnapshotEntry(FsPath(indexPath), n);
    if (!entry) {
        return true;
    }
    Button4_2->setEnabled(storeWorkPending_ == 0);
    if (!entry->CopyExists) {
        Button4_2->setEnabled(false);
        return true;
    }
    Edit4_2->setText(ShownText(entry->DateText));
    Edit4_3->setText(ShownText(entry->TimeText));
    Edit4_4->setText(QString::number(SizeInThousands(PathOf(entry->CopyPath))));
    Edit4_5->setText(OperationText(entry->ActionCode));
    ApplyPendingWork();
    return true;
}

bool Panel4::ShowSNAPSHOTSRESCUE(const QString& target) {
    const int n = SelectedSnapshotNumber();
    const std::string folder = SnapshotFolder(FsPath(Edit4_1->text()));
    if (n == 0 || folder.empty() || target.isEmpty()) {
        return true;
    }
    const std::string source = SnapshotCopyPath(folder, n);
    const std::string targetPath = FsPath(target);
    BeginStoreWork(LanguageText("PANEL4", "RESTORING", "GUI"));
    // The copy runs on the store thread in its turn; its outcome also goes to the day log, and a
    // failed copy leaves the target as it was.
    const QPointer<Panel4> panel(this);
    QueueRequest([panel, source, targetPath, target] {
        const bool restored = TransferFile(source, targetPath, kTransferCopy, true);
        PostToWindow(
            panel, [restored, target](Panel4& shown) { shown.RestoreFinished(restored, target); });
    });
    return true;
}

bool Panel4::ShowSNAPSHOTSDELETE() {
    const std::string folder = SnapshotFolder(FsPath(Edit4_1->text()));
    BeginStoreWork(LanguageText("PANEL4", "DELETING", "GUI"));
    const QPointer<Panel4> panel(this);
    QueueRequest([panel, folder] {
        if (IsExistingFolder(folder)) {
            TransferFile(folder, "", kTransferDelete, true);
        }
        PostToWindow(panel, [](Panel4& shown) { shown.DeleteFinished(); });
    });
    return true;
}

void Panel4::RestoreFinished(bool restored, const QString& target) {
    const std::string key = restored ? "RESTORED" : "RESTOREFAILED";
    EndStoreWork(SubstituteFile(LanguageText("PANEL4", key, "GUI"), FsPath(target)));
    RefreshKeepingSelection();
}

void Panel4::DeleteFinished() {
    EndStoreWork(LanguageText("PANEL4", "DELETED", "GUI"));
    ShowSNAPSHOTS(Edit4_1->text());
}

bool Panel4::StoreWorkPending() const {
    return storeWorkPending_ > 0;
}

void Panel4::BeginStoreWork(const std::string& progress) {
    ++storeWorkPending_;
    ShowProgressLine(PathOf(progress));
    ApplyPendingWork();
}

void Panel4::EndStoreWork(const std::string& outcome) {
    storeWorkPending_ = std::max(0, storeWorkPending_ - 1);
    ShowProgressLine(PathOf(outcome));
}

// A long path is shortened in its middle to fit the line; the whole text is its tool tip.
void Panel4::ShowProgressLine(const QString& text) {
    Label4_10->setText(
        Label4_10->fontMetrics().elidedText(text, Qt::ElideMiddle, Label4_10->width()));
    Label4_10->setToolTip(text);
}

void Panel4::ApplyPendingWork() {
    if (storeWorkPending_ > 0) {
        Button4_2->setEnabled(false);
        Button4_3->setEnabled(false);
    }
}

// Lists the file again (a restore into the watched folder may have added a snapshot) and selects
// the snapshot that was selected before, when it is still there.
void Panel4::RefreshKeepingSelection() {
    const int selected = SelectedSnapshotNumber();
    ShowSNAPSHOTS(Edit4_1->text());
    const int index = ComboBoxEx4_1->findData(selected);
    if (selected != 0 && index > 0) {
        ComboBoxEx4_1->setCurrentIndex(index);
        ComboBoxEx4_1Select();
    }
}

int Panel4::SelectedSnapshotNumber() const {
    return ComboBoxEx4_1->currentData().toInt();  // the nothing-to-show item holds none: 0
}

void Panel4::ShowNothing() {
    ComboBoxEx4_1->clear();
    ComboBoxEx4_1->addItem(nothingIcon_, ShownText(TextTables.NoInfoText));
    ComboBoxEx4_1->setCurrentIndex(0);
    ShowSNAPSHOTSINFO(1, QString());
}

void Panel4::ClearDetails() {
    for (QLineEdit* field : {Edit4_2, Edit4_3, Edit4_4, Edit4_5}) {
        field->clear();
    }
}

void Panel4::ShowOutsideNote(bool shown) {
    if (shown) {
        Label4_9->setText(ShownText(LanguageText("PANEL4", "LABEL9", "GUI")));
    }
    Image4_2->setVisible(!shown);
    Label4_8->setVisible(!shown);
    Image4_3->setVisible(shown);
    Label4_9->setVisible(shown);
}
