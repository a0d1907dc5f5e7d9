// The start page's status line, help without a browser, and the about panel's facts.
#include <QDir>
#include <QFile>
#include <QTextBrowser>
#include <fstream>

#include "tests/ui/UiFixture.h"
#include "ui/AboutPanel.h"
#include "ui/HelpViewer.h"
#include "ui/SideBar.h"
#include "watch/WatchStatus.h"

namespace fs = std::filesystem;

class StartPage : public UiFixture {
  protected:
    void WriteSettings(const fs::path& watched, const fs::path& store) {
        std::ofstream(Program / "Settings/Settings.ini", std::ios::binary)
            << "[GENERAL]\r\nSOURCE=" << watched.string() << "\r\nSUBFOLDERS=FALSE\r\n"
            << "DESTINATION=" << store.string() << "\r\nSKIPLIKETASKS=FALSE\r\n";
    }
    // The whole status text (the line itself may give up the middle of a long one).
    QString Status() const { return Form->LabelStatus->toolTip(); }
    bool StatusBecomes(const QString& expected) {
        return WaitFor([&] { return Status() == expected; }, std::chrono::seconds(5));
    }

    void InstallHelp() {
        const fs::path from = fs::path(OSTREVAN_SOURCE_DIR) / "install/Language/HELP";
        fs::create_directories(Program / "Language/HELP");
        for (const auto& page : fs::directory_iterator(from)) {
            fs::copy_file(page.path(), Program / "Language/HELP" / page.path().filename());
        }
    }
};

// The line follows the watch state through the hook the core calls, on the window's thread.
TEST_F(StartPage, StatusLineSaysWhatIsWatchedOrWhyNothingIs) {
    InstallLanguageFile();
    TGUI_Form& form = CreateForm();
    ConnectWindowHooks(form);
    const std::string settings = SettingsFilePath();
    EXPECT_EQ(Status(), QString::fromStdString("Not watching: the settings file " + settings +
                                               " is missing"));

    const fs::path watched = Root / "documents";
    const fs::path store = Root / "store";
    WriteSettings(Root / "missing", store);
    ReloadSettings();
    EXPECT_TRUE(StatusBecomes(QString::fromStdString(
        "Not watching: the watched folder " + (Root / "missing").string() + " does not exist")))
        << Status().toStdString();

    WriteSettings("", store);
    ReloadSettings();
    EXPECT_TRUE(StatusBecomes("Not watching: no folder to watch is chosen (Basic settings)"));

    fs::create_directories(watched);
    WriteSettings(watched, store);
    ReloadSettings();
    EXPECT_TRUE(StatusBecomes(QString::fromStdString("Watching " + watched.string() +
                                                     ", snapshots go to " + store.string())));
    EXPECT_TRUE(form.LabelStatus->isVisible());

    // The watched folder goes away: the line says so by itself, then comes back.
    fs::rename(watched, Root / "moved-away");
    EXPECT_TRUE(StatusBecomes(QString::fromStdString("Not watching: the watched folder " +
                                                     watched.string() + " does not exist")));
    fs::rename(Root / "moved-away", watched);
    ReloadSettings();
    EXPECT_TRUE(StatusBecomes(QString::fromStdString("Watching " + watched.string() +
                                                     ", snapshots go to " + store.string())));

    // A folder the watcher could not watch, told from another thread.
    std::thread([&] {
        NoteUnwatchableFolder((watched / "locked").string(), "Permission denied");
        NotifyWatchStatusChanged();
    }).join();
    EXPECT_TRUE(
        StatusBecomes(QString::fromStdString("Watching, but " + (watched / "locked").string() +
                                             " could not be watched: Permission denied")));

    StopWatching();
    EXPECT_TRUE(
        StatusBecomes(QString::fromStdString("Not watching: " + (watched / "locked").string() +
                                             " could not be watched: Permission denied")));
    ClearUnwatchableFolder();
    NotifyWatchStatusChanged();
    EXPECT_TRUE(StatusBecomes("Not watching"));
}

TEST_F(StartPage, ALongStatusStaysOneLineThatFits) {
    InstallLanguageFile();
    const fs::path deep = Root / std::string(120, 'd') / std::string(120, 'e');
    fs::create_directories(deep);
    WriteSettings(deep, Root / std::string(100, 's'));
    TGUI_Form& form = CreateForm();
    ConnectWindowHooks(form);
    ReloadSettings();
    ASSERT_TRUE(WaitFor([&] { return Status().startsWith("Watching"); }));
    QLabel* line = form.LabelStatus;
    EXPECT_TRUE(line->text().contains(QChar(0x2026)));  // the middle gave way
    EXPECT_LE(line->fontMetrics().horizontalAdvance(line->text()), line->contentsRect().width());
    EXPECT_FALSE(line->wordWrap());
    EXPECT_TRUE(
        line->text().startsWith("Watching " + QString::fromStdString(Root.string()).left(8)));
    // It stands under the task links, clear of the logo.
    EXPECT_GT(line->mapTo(&form, QPoint(0, 0)).y(),
              form.LabelTask[4]->mapTo(&form, QPoint(0, 0)).y() + 16);
    EXPECT_LE(line->mapTo(&form, QPoint(0, line->height())).y(), 305);
}

// When no program takes a help page, the built-in viewer shows it and follows its links.
TEST_F(StartPage, HelpOpensInTheViewerWhenTheBrowserCannotStart) {
    InstallLanguageFile();
    InstallHelp();
    TGUI_Form& form = CreateForm();
    form.SetPageOpener([this](const QUrl& url) {
        Opened.push_back(url);
        return false;  // no browser
    });
    QTest::mouseClick(form.LabelTask[0], Qt::LeftButton, {}, QPoint(4, 4));
    ASSERT_EQ(Opened.size(), 1u);
    THelpViewer* viewer = form.HelpViewer();
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(viewer->isVisible());
    QTextBrowser* browser = viewer->Browser;
    EXPECT_EQ(browser->source().toString(), HelpUrl("general.htm"));
    EXPECT_FALSE(browser->toPlainText().trimmed().isEmpty());
    EXPECT_FALSE(viewer->windowTitle().isEmpty());

    // A link to another page, reached and followed with the keyboard.
    browser->setFocus();
    for (int i = 0; i < 30 && browser->textCursor().charFormat().anchorHref() != "recovery.htm";
         ++i) {
        QTest::keyClick(browser, Qt::Key_Tab);
    }
    ASSERT_EQ(browser->textCursor().charFormat().anchorHref(), "recovery.htm");
    QTest::keyClick(browser, Qt::Key_Return);
    EXPECT_EQ(browser->source().toString(), HelpUrl("recovery.htm"));

    // The help button reuses the one viewer.
    QTest::mouseClick(form.mxOutlookBar->Header(1), Qt::LeftButton);
    QTest::mouseClick(form.OutButton2_2, Qt::LeftButton);
    EXPECT_EQ(form.HelpViewer(), viewer);
    EXPECT_EQ(browser->source().toString(), HelpUrl("index.htm"));
}

TEST_F(StartPage, ABrowserThatStartsOrAMissingPageOpensNoViewer) {
    InstallLanguageFile();
    TGUI_Form& form = CreateForm();
    QTest::mouseClick(form.LabelTask[0], Qt::LeftButton, {}, QPoint(4, 4));  // a browser took it
    EXPECT_EQ(form.HelpViewer(), nullptr);
    form.SetPageOpener([](const QUrl&) { return false; });
    QTest::mouseClick(form.LabelTask[1], Qt::LeftButton, {}, QPoint(4, 4));  // no page, no browser
    QTest::mouseClick(form.LabelTask[4], Qt::LeftButton, {}, QPoint(4, 4));  // a web address
    EXPECT_EQ(form.HelpViewer(), nullptr);
}

TEST_F(StartPage, AboutPanelNamesVersionLicenceSourceAndHelp) {
    InstallLanguageFile();
    TGUI_Form& form = CreateForm();
    form.LoadPanel(6);
    Panel6* about = form.panel6();
    EXPECT_EQ(about->Label6_2->text(), "Version " + ProgramVersion() + " for Linux");
    QString licence;
    for (QLabel* line : {about->Label6_4, about->Label6_5, about->Label6_6, about->Label6_7}) {
        licence += line->text() + " ";
    }
    EXPECT_TRUE(licence.contains("GPL-3.0-or-later")) << licence.toStdString();
    EXPECT_FALSE(licence.contains("example", Qt::CaseInsensitive));
    EXPECT_TRUE(about->Label6_9->text().contains(SourceAddress().toString()));
    EXPECT_TRUE(about->Label6_10->text().contains("HELP"))
        << about->Label6_10->text().toStdString();
    for (QLabel* line : about->findChildren<QLabel*>()) {
        EXPECT_LE(line->geometry().right(), about->width()) << line->objectName().toStdString();
    }

    // The licence's full text is in the repository.
    QFile text(QStringLiteral(OSTREVAN_SOURCE_DIR "/LICENSE"));
    ASSERT_TRUE(text.open(QIODevice::ReadOnly));
    const QString head = QString::fromUtf8(text.read(200));
    EXPECT_TRUE(head.contains("GNU GENERAL PUBLIC LICENSE"));
    EXPECT_TRUE(head.contains("Version 3"));
}
