// The events panel on real day files: the day list newest first, the records of the
// chosen day, odd lines, deleting a day, a vanished day, and the list's columns and selection.
#include <QComboBox>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeView>
#include <filesystem>
#include <fstream>

#include "tests/ui/UiFixture.h"
#include "ui/EventsPanel.h"

namespace fs = std::filesystem;

namespace {

bool ShowsImage(const QIcon& icon, int n) {
    return !icon.isNull() &&
           icon.pixmap(16, 16).toImage() == ImageList16Icon(n).pixmap(16, 16).toImage();
}

// Width the time column's contents need (the tree view hides this measure).
int TimeColumnHint(const QAbstractItemView* tree) {
    return tree->sizeHintForColumn(0);
}

void Click(QWidget* control) {
    ASSERT_NE(control, nullptr);
    QTest::mouseClick(control, Qt::LeftButton, {}, control->rect().center());
}

}  // namespace

class EventsPanel : public UiFixture {
  protected:
    // A window with the shipped texts, and a Logs folder holding only what the test writes (the
    // window's creation has written today's start record).
    TGUI_Form& CreateFormWithEmptyLogs() {
        InstallLanguageFile();
        TGUI_Form& form = CreateForm();
        fs::remove_all(LogsDir);
        fs::create_directories(LogsDir);
        return form;
    }

    static void WriteDay(const std::string& day, const std::string& content) {
        std::ofstream(DayLogPath(day), std::ios::binary) << content;
    }

    QStringList DayItems() {
        QComboBox* combo = Find<QComboBox>("ComboBoxEx3_1");
        QStringList items;
        for (int i = 0; i < combo->count(); ++i) {
            items << combo->itemText(i);
        }
        return items;
    }

    // The shown rows as "time|event|image".
    QStringList ShownRows() {
        QAbstractItemModel* model = Find<QTreeView>("TreeView3_1")->model();
        QStringList rows;
        for (int r = 0; r < model->rowCount(); ++r) {
            int image = -1;
            for (int n = 0; n < kImageListSize; ++n) {
                if (ShowsImage(model->index(r, 0).data(Qt::DecorationRole).value<QIcon>(), n)) {
                    image = n;
                }
            }
            rows << model->index(r, 0).data().toString() + "|" +
                        model->index(r, 1).data().toString() + "|" + QString::number(image);
        }
        return rows;
    }

    void OpenPanel() { Click(Find<QWidget>("OutButton1_3")); }
};

// Days are listed by their files' modification times, newest first, whatever their names say
// and whatever order the folder lists them in.
TEST_F(EventsPanel, ListsDaysNewestFirstShowsTheFirstAndTheChosenOne) {
    CreateFormWithEmptyLogs();
    WriteDay("2.1.2026", "8:00:00;1;3;\r\n8:00:01;2;3;\r\n");
    WriteDay("1.1.2026", "9:00:00;3;4;\r\n");
    WriteDay("3.1.2026", "7:00:00;13;5;\r\n");
    const auto now = fs::file_time_type::clock::now();
    fs::last_write_time(DayLogPath("1.1.2026"), now - std::chrono::hours(1));
    fs::last_write_time(DayLogPath("2.1.2026"), now - std::chrono::hours(30));
    fs::last_write_time(DayLogPath("3.1.2026"), now - std::chrono::hours(60));
    OpenPanel();

    EXPECT_EQ(DayItems(), (QStringList{"1.1.2026", "2.1.2026", "3.1.2026"}));
    QComboBox* combo = Find<QComboBox>("ComboBoxEx3_1");
    EXPECT_EQ(combo->currentIndex(), 0);
    EXPECT_TRUE(ShowsImage(combo->itemIcon(0), 6));
    EXPECT_TRUE(ShowsImage(combo->itemIcon(1), 6));
    EXPECT_TRUE(Find<QPushButton>("Button3_1")->isEnabled());
    EXPECT_EQ(ShownRows(), QStringList{"9:00:00|Watching stopped.|4"});
    QTest::keyClick(combo, Qt::Key_Down);  // the user chooses the second day
    EXPECT_EQ(combo->currentIndex(), 1);
    EXPECT_EQ(ShownRows(),
              (QStringList{"8:00:00|Ostrevan started.|3", "8:00:01|Watching started.|3"}));

    // A day written to again moves to the top at the next opening.
    fs::last_write_time(DayLogPath("3.1.2026"), now);
    OpenPanel();
    OpenPanel();
    EXPECT_EQ(DayItems(), (QStringList{"3.1.2026", "1.1.2026", "2.1.2026"}));
}

TEST_F(EventsPanel, RecordsShowTheirTextsWithTheFileAndOddLinesShowWhatCouldBeRead) {
    CreateFormWithEmptyLogs();
    WriteDay("6.12.2026",
             "9:05:07;1;3;\r\n"
             "\r\n"
             "9:06:00;12;7;/home/u/Documents/plan.odt\r\n"
             "9:06:30;5;4;a;b;;c.doc\r\n"
             "9:07:00;12;7;$FILE$ and more.txt\n"
             "9:08:00;99;3;x.txt\r\n"
             "9:08:30;13;5;\r\n"
             "just some words\r\n"
             "9:09:00;x;4;file.txt\r\n"
             "9:10:00;12;7\r\n"
             "9:11:00;12;42;far.txt");
    OpenPanel();
    EXPECT_EQ(ShownRows(), (QStringList{
                               "9:05:07|Ostrevan started.|3",
                               "9:06:00|Copied: /home/u/Documents/plan.odt|7",
                               "9:06:30|Left out by the extension list: a;b;;c.doc|4",
                               "9:07:00|Copied: $FILE$ and more.txt|7",
                               "9:08:00|code 99: x.txt|3",
                               "9:08:30|Ostrevan closed.|5",
                               "just some words|code ?|4",
                               "9:09:00|code ?: file.txt|4",
                               "9:10:00|Copied: |4",
                               "9:11:00|Copied: far.txt|-1",
                           }));
}

TEST_F(EventsPanel, CodesBeyondTheLoadedTextsShowTheirNumber) {
    WriteLanguageFile({"[VALUES]", "VALUES_LOGS_NO=", "VALUES_LOGS_1=Started $file$ ($FILE$)",
                       "VALUES_LOGS_2=Watching", "VALUES_LOGS_3=Stopped"});
    CreateForm();
    fs::remove_all(LogsDir);
    fs::create_directories(LogsDir);
    WriteDay("d", "1:00:00;1;3;\r\n2:00:00;1;3;x\r\n3:00:00;3;4;y\r\n4:00:00;12;7;/w/a.txt\r\n");
    OpenPanel();
    EXPECT_EQ(ShownRows(), (QStringList{"1:00:00|Started  ()|3", "2:00:00|Started x (x)|3",
                                        "3:00:00|Stopped|4", "4:00:00|code 12: /w/a.txt|7"}));
}

TEST_F(EventsPanel, DeletingDaysWithoutAQuestionUntilTheNoLogItemRemains) {
    CreateFormWithEmptyLogs();
    WriteDay("1.1.2026", "9:00:00;2;3;\r\n");
    WriteDay("2.1.2026", "10:00:00;3;4;\r\n");
    OpenPanel();
    const QStringList listed = DayItems();
    ASSERT_EQ(listed.size(), 2);

    Click(Find<QPushButton>("Button3_1"));
    EXPECT_FALSE(fs::exists(DayLogPath(listed[0].toStdString())));
    EXPECT_EQ(DayItems(), QStringList{listed[1]});
    EXPECT_EQ(ShownRows().size(), 1);
    EXPECT_TRUE(Find<QPushButton>("Button3_1")->isEnabled());

    Click(Find<QPushButton>("Button3_1"));
    EXPECT_TRUE(ListFiles(LogsDir, "*.log").empty());
    QComboBox* combo = Find<QComboBox>("ComboBoxEx3_1");
    EXPECT_EQ(DayItems(), QStringList{"No log yet"});
    EXPECT_EQ(combo->currentIndex(), 0);
    EXPECT_TRUE(ShowsImage(combo->itemIcon(0), 5));
    EXPECT_TRUE(ShownRows().isEmpty());
    EXPECT_FALSE(Find<QPushButton>("Button3_1")->isEnabled());

    // A disabled button does nothing; a direct call with the no-log item deletes nothing.
    WriteDay("No log yet", "1:00:00;1;3;\r\n");
    Form->panel3()->DeleteChosenDay();
    EXPECT_TRUE(fs::exists(DayLogPath("No log yet")));
}

TEST_F(EventsPanel, NoLogsFolderAndAFileOfEmptyLines) {
    CreateFormWithEmptyLogs();
    fs::remove_all(LogsDir);
    OpenPanel();
    EXPECT_EQ(DayItems(), QStringList{"No log yet"});
    EXPECT_FALSE(Find<QPushButton>("Button3_1")->isEnabled());

    Click(Find<QWidget>("OutButton1_3"));  // closes the panel
    fs::create_directories(LogsDir);
    WriteDay("7.1.2026", "\r\n\r\n\n\r\n");
    OpenPanel();
    EXPECT_EQ(DayItems(), QStringList{"7.1.2026"});
    EXPECT_TRUE(ShownRows().isEmpty());
    EXPECT_TRUE(Find<QPushButton>("Button3_1")->isEnabled());
}

TEST_F(EventsPanel, ADayWhoseFileVanishedKeepsTheRowsShown) {
    CreateFormWithEmptyLogs();
    WriteDay("1.1.2026", "9:00:00;2;3;\r\n");
    WriteDay("2.1.2026", "10:00:00;3;4;\r\n");
    OpenPanel();
    const QStringList listed = DayItems();
    ASSERT_EQ(listed.size(), 2);
    const QStringList shown = ShownRows();
    ASSERT_EQ(shown.size(), 1);

    fs::remove(DayLogPath(listed[1].toStdString()));
    QTest::keyClick(Find<QComboBox>("ComboBoxEx3_1"), Qt::Key_Down);
    EXPECT_EQ(ShownRows(), shown);
    EXPECT_FALSE(Form->panel3()->ShowLOG(listed[1].toStdString()));
    EXPECT_TRUE(Form->panel3()->ShowLOG(listed[0].toStdString()));
}

TEST_F(EventsPanel, RowsAreSelectedWholeByEitherButtonAndColumnsResizeOnTheDivider) {
    CreateFormWithEmptyLogs();
    WriteDay("d",
             "9:00:00;2;3;\r\n9:00:01;12;7;/a/very/long/path/to/a/document/somewhere/"
             "deep/inside/the/watched/folder/with/a/long/name.odt\r\n"
             "a time text far wider than its column;1;3;\r\n");
    OpenPanel();
    QTreeView* tree = Find<QTreeView>("TreeView3_1");
    ASSERT_EQ(tree->model()->rowCount(), 3);
    QHeaderView* header = tree->header();
    EXPECT_EQ(header->sectionResizeMode(0), QHeaderView::Interactive);
    EXPECT_EQ(header->sectionResizeMode(1), QHeaderView::Interactive);

    const QRect cell = tree->visualRect(tree->model()->index(1, 1));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_TRUE(tree->selectionModel()->isRowSelected(1, {}));
    const QRect other = tree->visualRect(tree->model()->index(0, 0));
    QTest::mouseClick(tree->viewport(), Qt::RightButton, {}, other.center());
    EXPECT_TRUE(tree->selectionModel()->isRowSelected(0, {}));
    EXPECT_FALSE(tree->selectionModel()->isRowSelected(1, {}));

    // The odd line's long time widens the time column only up to its limit; a double click on
    // the divider fits it whole.
    const int timeWidth = header->sectionSize(0);
    const int eventWidth = header->sectionSize(1);
    ASSERT_LT(timeWidth, TimeColumnHint(tree));
    const QPoint divider(header->sectionViewportPosition(0) + timeWidth - 1, header->height() / 2);
    QTest::mouseDClick(header->viewport(), Qt::LeftButton, {}, divider);
    EXPECT_EQ(header->sectionSize(0), TimeColumnHint(tree));
    EXPECT_EQ(header->sectionSize(1), eventWidth);
}

// Each day starts from the columns' own widths: after an odd day the time column is 80 again,
// and each day shown starts at its first record.
TEST_F(EventsPanel, EveryDayShownStartsFromTheOwnWidthsAndItsFirstRecord) {
    CreateFormWithEmptyLogs();
    std::string many;
    for (int i = 0; i < 300; ++i) {
        many += "9:00:" + std::to_string(i % 60) + ";2;3;\r\n";
    }
    WriteDay("1.1.2026", many);
    WriteDay("2.1.2026", "9:00:00 AM;2;3;\r\n" + many);
    WriteDay("3.1.2026", many);
    OpenPanel();
    Panel3* panel = Form->panel3();
    QTreeView* tree = Find<QTreeView>("TreeView3_1");
    QHeaderView* header = tree->header();

    ASSERT_TRUE(panel->ShowLOG("2.1.2026"));
    EXPECT_GT(header->sectionSize(0), 80);
    tree->scrollToBottom();
    ASSERT_GT(tree->verticalScrollBar()->value(), 0);

    ASSERT_TRUE(panel->ShowLOG("3.1.2026"));
    EXPECT_EQ(header->sectionSize(0), 80);
    EXPECT_EQ(header->sectionSize(1), 330);
    EXPECT_EQ(tree->verticalScrollBar()->value(), 0);
    EXPECT_EQ(tree->indexAt(QPoint(5, 5)).row(), 0);

    // Chosen by the user with the keyboard, the same holds.
    tree->scrollToBottom();
    QComboBox* combo = Find<QComboBox>("ComboBoxEx3_1");
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Down);
    EXPECT_EQ(tree->verticalScrollBar()->value(), 0);
    EXPECT_EQ(header->sectionSize(0) + header->sectionSize(1), 410);
}

TEST_F(EventsPanel, TimesOfATwelveHourClockShowWholeInAWiderTimeColumn) {
    CreateFormWithEmptyLogs();
    WriteDay("1.1.2026", "9:00:00;2;3;\r\n23:59:59;3;4;\r\n");
    OpenPanel();
    QHeaderView* header = Find<QTreeView>("TreeView3_1")->header();
    EXPECT_EQ(header->sectionSize(0), 80);
    EXPECT_EQ(header->sectionSize(1), 330);

    WriteDay("2.1.2026", "9:00:00 AM;2;3;\r\n11:59:59 PM;3;4;\r\n");
    OpenPanel();
    OpenPanel();
    Form->panel3()->ShowLOG("2.1.2026");
    EXPECT_GT(header->sectionSize(0), 80);
    EXPECT_GE(header->sectionSize(0), TimeColumnHint(Find<QTreeView>("TreeView3_1")));
    EXPECT_EQ(header->sectionSize(0) + header->sectionSize(1), 410);
}
