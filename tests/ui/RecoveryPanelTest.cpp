// The recovery panel on a real store: listing a file's snapshots, their details, restoring one
// into a file and deleting them all. Dialogs are answered through the panel's seams.
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <deque>
#include <fstream>
#include <functional>
#include <optional>
#include <thread>

#include "store/FileOperation.h"
#include "store/SnapshotIndex.h"
#include "tests/ui/UiFixture.h"
#include "ui/RecoveryPanel.h"
#include "watch/ChangeHandling.h"

namespace fs = std::filesystem;

namespace {

void WriteBytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool SameImage(const QIcon& a, const QIcon& b) {
    return a.pixmap(16, 16).toImage() == b.pixmap(16, 16).toImage();
}

}  // namespace

class Recovery : public UiFixture {
  protected:
    fs::path Watched;
    fs::path Store;
    Panel4* Panel = nullptr;
    std::deque<std::optional<QString>> DialogAnswers;
    std::vector<QString> DialogOffers;
    std::vector<QString> Questions;
    bool DeleteAnswer = false;
    std::vector<QString> ReplaceQuestions;
    bool ReplaceAnswer = false;
    std::function<bool(QWidget*, const QString&)> RealAskReplace;

    void SetUp() override {
        UiFixture::SetUp();
        Watched = Root / "watched";
        Store = Root / "store";
        fs::create_directories(Watched);
        fs::create_directories(Store);
        RunSettings.SOURCE = Watched.string();
        RunSettings.DESTINATION = Store.string();
        RunSettings.BYEXTMODE = 2;  // nothing left out by extension
        InstallLanguageFile();
        Panel = CreateForm().panel4();
        const auto answerDialog = [this](QWidget*, const QString& offered) {
            DialogOffers.push_back(offered);
            EXPECT_FALSE(DialogAnswers.empty()) << "unexpected dialog";
            std::optional<QString> answer;
            if (!DialogAnswers.empty()) {
                answer = DialogAnswers.front();
                DialogAnswers.pop_front();
            }
            return answer;
        };
        Panel->OpenDialog.SetRunner(answerDialog);
        Panel->RestoreDialog.SetRunner(answerDialog);
        RealAskReplace = Panel->AskReplace;
        Panel->AskReplace = [this](QWidget*, const QString& question) {
            ReplaceQuestions.push_back(question);
            return ReplaceAnswer;
        };
        Panel->AskDelete = [this](QWidget*, const QString& question) {
            Questions.push_back(question);
            return DeleteAnswer;
        };
    }

    QString Doc(const std::string& name) const {
        return QString::fromStdString((Watched / name).string());
    }
    fs::path FolderOf(const std::string& name) const { return Store / name; }

    // An index of the given DATES values (keys 1, 2, ...), written as the store writes it.
    void WriteIndex(const std::string& name, const std::vector<std::string>& dates) {
        fs::create_directories(FolderOf(name));
        std::string text =
            "[GENERAL]\r\nNO=" + std::to_string(dates.size()) + "\r\n \r\n[DATES]\r\n";
        for (size_t n = 1; n <= dates.size(); ++n) {
            text += std::to_string(n) + "=" + dates[n - 1] + "\r\n";
        }
        WriteBytes(FolderOf(name) / "snapshot.ini", text);
    }
    void WriteCopy(const std::string& name, int n, const std::string& bytes) {
        WriteBytes(FolderOf(name) / ("SnapShot." + std::to_string(n)), bytes);
    }
    // A snapshot made as the worker makes one: NewSnapshot, then the copy.
    void TakeSnapshot(const std::string& name, const std::string& bytes, int code = 3) {
        WriteBytes(NewSnapshot(StoreFolderOf(name), code), bytes);
    }

    void Click(const char* name) {
        QWidget* control = Find<QWidget>(name);
        ASSERT_NE(control, nullptr);
        QTest::mouseClick(control, Qt::LeftButton, {}, control->rect().center());
    }
    // Clicks restore or delete and waits until the store thread has run what was asked.
    void ClickAndWaitForStore(const char* name) {
        Click(name);
        EXPECT_TRUE(WaitFor([this] { return !Panel->StoreWorkPending(); }));
    }
    void OpenPanel() {
        if (Form->ShownPanel() != 4) {
            Click("OutButton1_4");
        }
        ASSERT_EQ(Form->ShownPanel(), 4);
    }
    void ChooseFile(const QString& path) {
        OpenPanel();
        DialogAnswers.push_back(path);
        Click("Button4_1");
    }
    // Selects list item i with the keyboard, as a user would.
    void SelectItem(int i) {
        QComboBox* list = Panel->ComboBoxEx4_1;
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Home);
        for (int k = 0; k < i; ++k) {
            QTest::keyClick(list, Qt::Key_Down);
        }
        ASSERT_EQ(list->currentIndex(), i);
    }

    std::vector<QString> Items() const {
        std::vector<QString> items;
        for (int i = 0; i < Panel->ComboBoxEx4_1->count(); ++i) {
            items.push_back(Panel->ComboBoxEx4_1->itemText(i));
        }
        return items;
    }
    std::vector<QString> Details() const {
        return {Panel->Edit4_2->text(), Panel->Edit4_3->text(), Panel->Edit4_4->text(),
                Panel->Edit4_5->text()};
    }
    void ExpectNothingToShow() {
        EXPECT_EQ(Items(), std::vector<QString>{"No snapshots"});
        EXPECT_EQ(Panel->ComboBoxEx4_1->currentIndex(), 0);
        EXPECT_TRUE(SameImage(Panel->ComboBoxEx4_1->itemIcon(0), ImageList16Icon(5)));
        EXPECT_EQ(Details(), std::vector<QString>(4));
        EXPECT_FALSE(Panel->Button4_2->isEnabled());
        EXPECT_FALSE(Panel->Button4_3->isEnabled());
    }
};

TEST_F(Recovery, OpeningResetsThePanelAndCancellingTheDialogChangesNothing) {
    TakeSnapshot("a.txt", "one");
    OpenPanel();
    EXPECT_EQ(Panel->Edit4_1->text(), "");
    ExpectNothingToShow();

    ChooseFile(Doc("a.txt"));
    EXPECT_EQ(DialogOffers.back(), QString::fromStdString(Watched.string()));  // the first time
    ASSERT_EQ(Items().size(), 1u);
    const std::vector<QString> shown = Details();
    DialogAnswers.push_back(std::nullopt);
    Click("Button4_1");
    EXPECT_EQ(Panel->Edit4_1->text(), Doc("a.txt"));
    EXPECT_EQ(Items().size(), 1u);
    EXPECT_EQ(Details(), shown);
    EXPECT_TRUE(Panel->Button4_2->isEnabled());
    EXPECT_EQ(DialogOffers.back(), Doc("a.txt"));  // the last choice is offered again

    Click("OutButton1_3");
    Click("OutButton1_4");
    EXPECT_EQ(Panel->Edit4_1->text(), "");
    ExpectNothingToShow();
}

TEST_F(Recovery, ListsEverySnapshotWithItsDateTimeSizeAndCause) {
    WriteIndex("sub/r.doc", {"6.12.2026;15:42:23;3", "7.12.2026;08:01:02;4", "8.12.2026;23:59:59;3",
                             "9.12.2026;10:00:00;9", "9.12.2026;10:00:01;x"});
    WriteCopy("sub/r.doc", 1, std::string(999, 'a'));
    WriteCopy("sub/r.doc", 2, std::string(1999, 'b'));
    WriteCopy("sub/r.doc", 3, std::string(1000000, 'c'));
    WriteCopy("sub/r.doc", 4, "");
    WriteCopy("sub/r.doc", 5, "");
    ChooseFile(Doc("sub/r.doc"));

    EXPECT_EQ(Panel->Edit4_1->text(), Doc("sub/r.doc"));
    EXPECT_EQ(Items(), (std::vector<QString>{"1, 6.12.2026, 15:42:23", "2, 7.12.2026, 08:01:02",
                                             "3, 8.12.2026, 23:59:59", "4, 9.12.2026, 10:00:00",
                                             "5, 9.12.2026, 10:00:01"}));
    EXPECT_TRUE(SameImage(Panel->ComboBoxEx4_1->itemIcon(2), ImageList16Icon(7)));
    EXPECT_EQ(Panel->ComboBoxEx4_1->currentIndex(), 0);
    EXPECT_EQ(Details(), (std::vector<QString>{"6.12.2026", "15:42:23", "0", "Modified"}));
    EXPECT_TRUE(Panel->Button4_2->isEnabled());
    EXPECT_TRUE(Panel->Button4_3->isEnabled());

    SelectItem(1);
    EXPECT_EQ(Details(), (std::vector<QString>{"7.12.2026", "08:01:02", "1", "Renamed"}));
    SelectItem(2);
    EXPECT_EQ(Panel->Edit4_4->text(), "1000");
    SelectItem(3);
    EXPECT_EQ(Panel->Edit4_5->text(), "9");  // a code without a name shows as the number
    SelectItem(4);
    EXPECT_EQ(Panel->Edit4_5->text(), "0");  // not a number at all
    EXPECT_EQ(Panel->Edit4_2->text(), "9.12.2026");

    // An empty entry in the middle gets no item; the items after it keep their own numbers.
    WriteIndex("gap.txt", {"1.1.2026;10:00:00;3", "", "3.1.2026;12:00:00;4"});
    WriteCopy("gap.txt", 1, "one");
    WriteCopy("gap.txt", 3, "three");
    ChooseFile(Doc("gap.txt"));
    EXPECT_EQ(Items(), (std::vector<QString>{"1, 1.1.2026, 10:00:00", "3, 3.1.2026, 12:00:00"}));
    SelectItem(1);
    EXPECT_EQ(Details(), (std::vector<QString>{"3.1.2026", "12:00:00", "0", "Renamed"}));
    fs::create_directories(Root / "out");
    DialogAnswers.push_back(QString::fromStdString((Root / "out/gap.txt").string()));
    ClickAndWaitForStore("Button4_2");
    EXPECT_EQ(ReadBytes(Root / "out/gap.txt"), "three");
}

TEST_F(Recovery, AMissingCopyEmptiesTheDetailsAndDisablesOnlyRestore) {
    WriteIndex("a.txt", {"1.1.2026;10:00:00;3", "2.1.2026;11:00:00;3"});
    WriteCopy("a.txt", 1, "first");
    ChooseFile(Doc("a.txt"));
    EXPECT_TRUE(Panel->Button4_2->isEnabled());

    SelectItem(1);
    EXPECT_EQ(Details(), std::vector<QString>(4));
    EXPECT_FALSE(Panel->Button4_2->isEnabled());
    EXPECT_TRUE(Panel->Button4_3->isEnabled());

    SelectItem(0);
    EXPECT_EQ(Panel->Edit4_2->text(), "1.1.2026");
    EXPECT_TRUE(Panel->Button4_2->isEnabled());

    fs::remove(FolderOf("a.txt") / "SnapShot.1");
    ChooseFile(Doc("a.txt"));  // the first snapshot selected, its copy gone
    EXPECT_EQ(Items().size(), 2u);
    EXPECT_FALSE(Panel->Button4_2->isEnabled());
    EXPECT_TRUE(Panel->Button4_3->isEnabled());
}

TEST_F(Recovery, AFileWithoutSnapshotsOrOutsideTheWatchedFolderShowsNothing) {
    fs::create_directories(Root / "watched-other");
    TakeSnapshot("a.txt", "one");
    // A file of watched-other shares the watched folder's name as a prefix: it must not be taken
    // for a file "-other/a.txt" of the watched folder.
    WriteIndex("-other/a.txt", {"1.1.2026;10:00:00;3"});
    WriteCopy("-other/a.txt", 1, "trap");
    OpenPanel();
    for (const fs::path& outside : {Root / "watched-other/a.txt", Root / "elsewhere.txt"}) {
        ChooseFile(QString::fromStdString(outside.string()));
        ExpectNothingToShow();
        EXPECT_TRUE(Panel->Label4_9->isVisible());
        EXPECT_FALSE(Panel->Label4_8->isVisible());
        EXPECT_EQ(Panel->Label4_9->text(),
                  QString::fromStdString(LanguageText("PANEL4", "LABEL9", "GUI")));
        EXPECT_FALSE(Panel->Label4_9->text().contains("PARROR"));
    }

    ChooseFile(Doc("never.txt"));  // inside, but never snapshotted: no note
    ExpectNothingToShow();
    EXPECT_FALSE(Panel->Label4_9->isVisible());
    EXPECT_TRUE(Panel->Label4_8->isVisible());
    ChooseFile(Doc("a.txt"));
    EXPECT_EQ(Items().size(), 1u);
}

TEST_F(Recovery, RestoreOffersANewNameBesideTheDocumentAndAsksBeforeReplacingAFile) {
    WriteBytes(Watched / "a.txt", "current text");
    TakeSnapshot("a.txt", "first version");
    TakeSnapshot("a.txt", "second version");
    WriteBytes(Watched / "a (snapshot 1).txt", "restored earlier");
    ChooseFile(Doc("a.txt"));

    // The offer names no existing file: snapshot 1's own name is taken, so the next one is.
    DialogAnswers.push_back(std::nullopt);
    Click("Button4_2");
    EXPECT_EQ(DialogOffers.back(), Doc("a (snapshot 1, 2).txt"));
    SelectItem(1);
    DialogAnswers.push_back(std::nullopt);  // accepting the offer as it stands
    Click("Button4_2");
    EXPECT_EQ(DialogOffers.back(), Doc("a (snapshot 2).txt"));
    DialogAnswers.push_back(DialogOffers.back());
    ClickAndWaitForStore("Button4_2");
    EXPECT_TRUE(ReplaceQuestions.empty());  // a new file needs no question
    EXPECT_EQ(ReadBytes(Watched / "a (snapshot 2).txt"), "second version");
    EXPECT_EQ(Panel->Label4_10->toolTip(), "Restored to " + Doc("a (snapshot 2).txt"));
    EXPECT_EQ(Panel->SelectedSnapshotNumber(), 2) << "the list is refreshed, the choice kept";
    EXPECT_EQ(ReadBytes(Watched / "a.txt"), "current text");

    // An existing target: the question names it; No keeps it byte for byte, Yes replaces it.
    DialogAnswers.push_back(Doc("a.txt"));
    ClickAndWaitForStore("Button4_2");
    ASSERT_EQ(ReplaceQuestions.size(), 1u);
    EXPECT_TRUE(ReplaceQuestions[0].contains(Doc("a.txt"))) << ReplaceQuestions[0].toStdString();
    EXPECT_FALSE(ReplaceQuestions[0].contains("PARROR"));
    EXPECT_EQ(ReadBytes(Watched / "a.txt"), "current text");
    ReplaceAnswer = true;
    DialogAnswers.push_back(Doc("a.txt"));
    ClickAndWaitForStore("Button4_2");
    EXPECT_EQ(ReplaceQuestions.size(), 2u);
    EXPECT_EQ(ReadBytes(Watched / "a.txt"), "second version");

    DialogAnswers.push_back(std::nullopt);
    Click("Button4_2");
    // The index is untouched and each copy was logged as one; the chooser kept its own choice.
    EXPECT_EQ(ReadSnapshotList(Doc("a.txt").toStdString()).size(), 2u);
    const std::vector<int> codes = LogCodes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 12), 2);
    DialogAnswers.push_back(std::nullopt);
    Click("Button4_1");
    EXPECT_EQ(DialogOffers.back(), Doc("a.txt"));
}

TEST_F(Recovery, ProposedNamesKeepTheExtensionAndAvoidEveryExistingName) {
    fs::create_directories(Watched / "sub");
    const QString folder = QString::fromStdString(Watched.string());
    EXPECT_EQ(ProposedRestoreName(folder + "/report.odt", 3), folder + "/report (snapshot 3).odt");
    EXPECT_EQ(ProposedRestoreName(folder + "/a.tar.gz", 1), folder + "/a.tar (snapshot 1).gz");
    EXPECT_EQ(ProposedRestoreName(folder + "/Makefile", 2), folder + "/Makefile (snapshot 2)");
    EXPECT_EQ(ProposedRestoreName(folder + "/.profile", 2), folder + "/.profile (snapshot 2)");
    // Taken names, a dangling link among them, are skipped.
    WriteBytes(Watched / "sub/r (snapshot 1).txt", "");
    fs::create_directories(Watched / "sub/r (snapshot 1, 2).txt");
    fs::create_symlink(Root / "nowhere", Watched / "sub/r (snapshot 1, 3).txt");
    EXPECT_EQ(ProposedRestoreName(folder + "/sub/r.txt", 1), folder + "/sub/r (snapshot 1, 4).txt");
    // A document whose folder has gone: beside it in the nearest folder that still exists.
    EXPECT_EQ(ProposedRestoreName(folder + "/gone/deeper/x.txt", 1),
              folder + "/x (snapshot 1).txt");
}

// The real dialogs, driven by keys only: the restore dialog opens in the document's folder with
// its own caption, button and a new name; Enter on the document's own name asks first, and Enter
// on the question (No by default) leaves the document as it was.
TEST_F(Recovery, EnterOnTheDocumentInTheRealDialogAsksAndNoLeavesItAlone) {
    const std::string content = std::string("current\r\ntext\0with a zero", 25);
    WriteBytes(Watched / "doc.txt", content);
    TakeSnapshot("doc.txt", "old text");
    ChooseFile(Doc("doc.txt"));
    Panel->RestoreDialog.SetRunner({});
    Panel->AskReplace = RealAskReplace;

    QString caption, button, folder, offered, question;
    bool questionDefaultIsNo = false;
    QTimer poke;
    poke.setInterval(20);
    QObject::connect(&poke, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<QFileDialog*>(modal); dialog && caption.isEmpty()) {
            caption = dialog->windowTitle();
            auto* buttons = dialog->findChild<QDialogButtonBox*>();
            button = buttons ? buttons->button(QDialogButtonBox::Open)->text() : QString();
            folder = dialog->directory().absolutePath();
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            offered = name->text();
            name->setFocus();
            QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(name, "doc.txt");
            QTest::keyClick(name, Qt::Key_Return);
        } else if (auto* box = qobject_cast<QMessageBox*>(modal); box && question.isEmpty()) {
            question = box->text();
            questionDefaultIsNo = box->defaultButton() == box->button(QMessageBox::No);
            QTest::keyClick(box, Qt::Key_Return);
        }
    });
    poke.start();
    OpenPanel();
    QWidget* restore = Find<QWidget>("Button4_2");
    restore->setFocus();
    QTest::keyClick(restore, Qt::Key_Return);
    poke.stop();

    EXPECT_EQ(caption, "Restore snapshot to");
    EXPECT_EQ(button, "Restore");
    EXPECT_EQ(folder, QString::fromStdString(Watched.string()));
    EXPECT_EQ(offered, "doc (snapshot 1).txt");
    EXPECT_FALSE(fs::exists(Watched / "doc (snapshot 1).txt"));
    EXPECT_TRUE(question.contains(Doc("doc.txt"))) << question.toStdString();
    EXPECT_TRUE(questionDefaultIsNo);
    EXPECT_EQ(ReadBytes(Watched / "doc.txt"), content);
    const std::vector<int> codes = LogCodes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), 12), 0);
}

TEST_F(Recovery, DeleteAsksFirstAndYesRemovesTheFilesSnapshotsForGood) {
    TakeSnapshot("a.txt", "one");
    TakeSnapshot("a.txt", "two");
    TakeSnapshot("b.txt", "other file");
    ChooseFile(Doc("a.txt"));

    DeleteAnswer = false;
    Click("Button4_3");
    ASSERT_EQ(Questions.size(), 1u);
    EXPECT_EQ(Questions[0], "Delete all snapshots of the chosen file? This cannot be undone.");
    EXPECT_TRUE(fs::exists(FolderOf("a.txt") / "SnapShot.2"));
    EXPECT_EQ(Items().size(), 2u);
    EXPECT_TRUE(Panel->Button4_3->isEnabled());

    DeleteAnswer = true;
    ClickAndWaitForStore("Button4_3");
    EXPECT_FALSE(fs::exists(FolderOf("a.txt")));
    EXPECT_EQ(Panel->Label4_10->text(), "The snapshots were deleted.");
    EXPECT_TRUE(fs::exists(FolderOf("b.txt") / "SnapShot.1"));
    EXPECT_EQ(Panel->Edit4_1->text(), Doc("a.txt"));
    ExpectNothingToShow();

    TakeSnapshot("a.txt", "three");  // numbering starts again
    ChooseFile(Doc("a.txt"));
    EXPECT_TRUE(Items().at(0).startsWith("1, "));
    EXPECT_EQ(Items().size(), 1u);
}

TEST_F(Recovery, RestoringOntoTheWatchedDocumentIsSnapshottedAsAChange) {
    ConnectWindowHooks(*Form);
    WriteBytes(Watched / "doc.txt", "old text");
    TakeSnapshot("doc.txt", "old text");
    ASSERT_TRUE(StartWatching());

    const auto newest = [this] {
        const auto list = ReadSnapshotList(Doc("doc.txt").toStdString());
        return list.empty() ? 0 : list.back().Number;
    };
    WriteBytes(Watched / "doc.txt", "new text");
    EXPECT_TRUE(WaitFor([&] { return newest() >= 2; }));

    ChooseFile(Doc("doc.txt"));
    const int before = newest();
    ReplaceAnswer = true;
    DialogAnswers.push_back(Doc("doc.txt"));
    ClickAndWaitForStore("Button4_2");
    EXPECT_EQ(ReadBytes(Watched / "doc.txt"), "old text");
    EXPECT_TRUE(WaitFor([&] {
        const int n = newest();
        return n > before &&
               ReadBytes(FolderOf("doc.txt") / ("SnapShot." + std::to_string(n))) == "old text";
    }));
    EndWatchingQuietly();
}

// The real dialog: any name in an existing folder, the offered name preselected, a name in a
// missing folder refused.
TEST_F(Recovery, FileDialogTakesNewNamesOnlyInExistingFolders) {
    struct Step {
        QString typed;
        bool accept;
    };
    std::deque<Step> steps;
    QStringList preselected;
    QTimer poke;
    poke.setInterval(20);
    QObject::connect(&poke, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr || steps.empty()) {
            return;
        }
        if (preselected.isEmpty()) {
            preselected = dialog->selectedFiles();
        }
        const Step step = steps.front();
        steps.pop_front();
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(step.typed);
        if (step.accept) {
            static_cast<QDialog*>(dialog)->accept();  // as the Open button does
        } else {
            dialog->reject();
        }
    });
    poke.start();

    const QString fresh = QString::fromStdString((Root / "new-file.txt").string());
    steps = {{fresh, true}};
    EXPECT_EQ(RunFileDialog(Panel, Doc("a.txt")), std::optional<QString>(fresh));
    EXPECT_EQ(preselected, QStringList{Doc("a.txt")});

    const QString inMissingFolder = QString::fromStdString((Root / "missing/x.txt").string());
    steps = {{inMissingFolder, true}, {inMissingFolder, false}};
    EXPECT_EQ(RunFileDialog(Panel, QString()), std::nullopt);
    EXPECT_TRUE(steps.empty());  // the first accept left the dialog open
}

// While the store thread is busy with a burst of new files, a restore and a delete asked for in
// the panel wait their turn: the buttons stay disabled and a progress line shows until each has
// run, the window keeps answering, and each runs after the snapshots queued before it and lands
// whole. A request that holds the store thread keeps the burst queued meanwhile.
TEST_F(Recovery, RestoreAndDeleteAskedForDuringABurstWaitTheirTurnAndLandWhole) {
    ConnectWindowHooks(*Form);
    TakeSnapshot("doc.txt", "the first version");
    TakeSnapshot("doc.txt", "the second version");
    ASSERT_TRUE(StartWatching());
    std::atomic<bool> held{true};
    const auto holdTheStore = [&held] {
        QueueRequest([&held] {
            while (held.load()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
    };
    const auto burst = [this](int from, int to) {
        for (int i = from; i < to; ++i) {
            WriteBytes(Watched / ("burst" + std::to_string(i)), std::string(20000, 'b'));
        }
        return WaitFor([from, to] { return QueueCount() > (to - from) / 2; },
                       std::chrono::seconds(20));
    };
    const auto copyLines = [this] {
        std::vector<std::string> files;
        for (const TLogRecord& record : LogRecords()) {
            if (record.Code == 12) {
                files.push_back(record.FileText);
            }
        }
        return files;
    };

    holdTheStore();
    ASSERT_TRUE(burst(0, 200));
    ChooseFile(Doc("doc.txt"));
    fs::create_directories(Root / "out");
    const fs::path target = Root / "out/doc.txt";
    DialogAnswers.push_back(QString::fromStdString(target.string()));
    Click("Button4_2");
    EXPECT_TRUE(Panel->StoreWorkPending());
    EXPECT_FALSE(Panel->Button4_2->isEnabled());
    EXPECT_FALSE(Panel->Button4_3->isEnabled());
    EXPECT_EQ(Panel->Label4_10->text(), "Restoring the snapshot...");
    QTest::qWait(100);  // the window answers while the store is held
    EXPECT_TRUE(Panel->StoreWorkPending());
    EXPECT_FALSE(fs::exists(target));
    held = false;
    ASSERT_TRUE(WaitFor([this] { return !Panel->StoreWorkPending(); }, std::chrono::seconds(60)));
    EXPECT_EQ(ReadBytes(target), "the first version");
    EXPECT_EQ(Panel->Label4_10->toolTip(),
              "Restored to " + QString::fromStdString(target.string()));
    EXPECT_TRUE(Panel->Button4_2->isEnabled());
    std::vector<std::string> copied = copyLines();
    const auto restoreLine =
        std::find(copied.begin(), copied.end(), (FolderOf("doc.txt") / "SnapShot.1").string());
    ASSERT_NE(restoreLine, copied.end());
    EXPECT_GE(restoreLine - copied.begin(), 100) << "the restore ran after the queued burst";

    held = true;
    holdTheStore();
    ASSERT_TRUE(burst(200, 400));
    DeleteAnswer = true;
    Click("Button4_3");
    EXPECT_EQ(Panel->Label4_10->text(), "Deleting the snapshots...");
    QTest::qWait(100);
    EXPECT_TRUE(fs::exists(FolderOf("doc.txt")));
    held = false;
    ASSERT_TRUE(WaitFor([this] { return !Panel->StoreWorkPending(); }, std::chrono::seconds(60)));
    EXPECT_FALSE(fs::exists(FolderOf("doc.txt")));
    ExpectNothingToShow();

    // The next save of the document starts its history again at 1.
    WriteBytes(Watched / "doc.txt", "after the delete");
    EXPECT_TRUE(WaitFor(
        [this] { return ReadBytes(FolderOf("doc.txt") / "SnapShot.1") == "after the delete"; },
        std::chrono::seconds(60)));
    EXPECT_FALSE(fs::exists(FolderOf("doc.txt") / "SnapShot.2"));
    EndWatchingQuietly();
}
