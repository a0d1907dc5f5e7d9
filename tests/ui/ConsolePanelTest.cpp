// The console: lines from the change handling reach it while it is hidden, are kept, and the
// view follows the end only when it was there.
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <filesystem>

#include "tests/ui/UiFixture.h"
#include "ui/ConsolePanel.h"
#include "watch/ChangeHandling.h"

class ConsolePanel : public UiFixture {};

TEST_F(ConsolePanel, ARenameWhileHiddenShowsOneLineWithBothNames) {
    InstallLanguageFile();
    TGUI_Form& form = CreateForm();
    ConnectWindowHooks(form);
    const std::filesystem::path watched = Root / "watched";
    std::filesystem::create_directories(watched);
    RunSettings.SOURCE = watched.string();
    RunSettings.DESTINATION = (Root / "store").string();
    RunSettings.BYEXTMODE = 1;  // include mode with an empty list: the rename is left out
    ASSERT_FALSE(form.panel5()->isVisible());

    DispatchNotifications({{4, "sub/old name.txt"}, {5, "sub/new;name.txt"}});

    QTest::mouseClick(Find<QWidget>("OutButton1_5"), Qt::LeftButton);
    ASSERT_TRUE(form.panel5()->isVisible());
    QPlainTextEdit* memo = Find<QPlainTextEdit>("Memo5_1");
    const QString expected = "Renamed: sub/old name.txt > sub/new;name.txt";
    EXPECT_TRUE(WaitFor([&] { return memo->toPlainText() == expected; }))
        << memo->toPlainText().toStdString();
}

TEST_F(ConsolePanel, TheViewFollowsTheEndUnlessTheUserScrolledAway) {
    InstallLanguageFile();
    TGUI_Form& form = CreateForm();
    QTest::mouseClick(Find<QWidget>("OutButton1_5"), Qt::LeftButton);
    QPlainTextEdit* memo = Find<QPlainTextEdit>("Memo5_1");
    QScrollBar* bar = memo->verticalScrollBar();
    for (int i = 0; i < 200; ++i) {
        form.panel5()->AppendLine(QStringLiteral("Added: f%1 > f%1").arg(i));
    }
    QApplication::processEvents();  // the lines of one turn of the event loop go in together
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    memo->setTextCursor(QTextCursor(memo->document()->findBlockByNumber(3)));
    bar->setValue(10);
    form.panel5()->AppendLine("Removed: g > g");
    QApplication::processEvents();
    EXPECT_EQ(bar->value(), 10);
    EXPECT_EQ(memo->textCursor().blockNumber(), 3);
    EXPECT_EQ(memo->document()->lastBlock().text(), "Removed: g > g");
    EXPECT_EQ(memo->document()->blockCount(), 201);
}
