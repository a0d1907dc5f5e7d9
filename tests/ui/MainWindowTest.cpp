// The window frame: side bar and panel switching, the start page's task links, the about links,
// the tray image and minimising to the tray.
#include <QCheckBox>
#include <QCursor>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTimer>
#include <algorithm>
#include <fstream>

#include "tests/ui/UiFixture.h"
#include "ui/AboutPanel.h"
#include "ui/ConsolePanel.h"
#include "ui/PanelFrame.h"
#include "ui/SideBar.h"
#include "watch/ChangeHandling.h"
#include "watch/WatchCoverage.h"

namespace {

// Panel n is shown exactly when it is Enabled and Visible; every other panel is neither.
void ExpectOnlyPanel(TGUI_Form& form, int shown) {
    for (int n = 1; n <= TGUI_Form::kPanelCount; ++n) {
        PanelFrame* panel = form.PanelAt(n);
        EXPECT_EQ(panel->isEnabled(), n == shown) << "panel " << n;
        EXPECT_EQ(panel->isVisible(), n == shown) << "panel " << n;
    }
    EXPECT_EQ(form.ShownPanel(), shown);
}

// The tray icon shows image n of ImageList16.
bool ShowsImage(const TGUI_Form& form, int n) {
    return form.TrayIcon()->icon().pixmap(16, 16).toImage() ==
           ImageList16Icon(n).pixmap(16, 16).toImage();
}

// Moves the pointer onto a point of the control as the window system would report it. The
// pointer first leaves the window, so the move is never swallowed as a move to where it already
// was (the pointer keeps its place from one test to the next).
void MovePointer(QWidget* control, QPoint point) {
    ASSERT_NE(control, nullptr);
    const QRect screen = control->screen()->geometry();
    QCursor::setPos(screen.bottomRight() - QPoint(2, 2));
    QApplication::processEvents();
    QTest::mouseMove(control, point);
}

void Click(QWidget* control) {
    ASSERT_NE(control, nullptr);
    QTest::mouseClick(control, Qt::LeftButton, {}, control->rect().center());
}

}  // namespace

class Window : public UiFixture {};

TEST_F(Window, OpensFixedSizeWithoutMaximiseOnTheStartPage) {
    InstallLanguageFile();
    TGUI_Form& form = CreateForm();
    EXPECT_EQ(form.objectName(), "GUI_Form");
    EXPECT_EQ(form.size(), QSize(568, 393));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    ExpectOnlyPanel(form, 0);
    EXPECT_TRUE(Find<QWidget>("ImageLOGO")->isVisible());
    EXPECT_EQ(Find<QWidget>("mxOutlookBar")->geometry(), QRect(0, 0, 120, 393));
    for (const char* name :
         {"OutButton1_1", "OutButton1_2", "OutButton1_3", "OutButton1_4", "OutButton1_5"}) {
        QWidget* button = Find<QWidget>(name);
        EXPECT_TRUE(button->isVisible()) << name;
        EXPECT_EQ(button->size(), QSize(112, 60)) << name;
    }
    EXPECT_FALSE(Find<QWidget>("OutButton2_1")->isVisible());
    EXPECT_FALSE(Find<QWidget>("OutButton2_2")->isVisible());
    // The program's own icon, drawn, on the window and its task-bar entry.
    const QImage icon = form.windowIcon().pixmap(32, 32).toImage();
    EXPECT_EQ(icon, ApplicationIcon().pixmap(32, 32).toImage());
    EXPECT_EQ(icon.pixelColor(16, 16).alpha(), 255);
}

TEST_F(Window, SideBarButtonsOpenSwitchAndClosePanels) {
    InstallLanguageFile();
    TGUI_Form& form = CreateForm();

    Click(Find<QWidget>("OutButton1_1"));
    ExpectOnlyPanel(form, 1);
    Click(Find<QWidget>("OutButton1_1"));
    ExpectOnlyPanel(form, 0);

    Click(Find<QWidget>("OutButton1_1"));
    Click(Find<QWidget>("OutButton1_2"));
    ExpectOnlyPanel(form, 2);
    Click(Find<QWidget>("OutButton1_3"));
    ExpectOnlyPanel(form, 3);
    Click(Find<QWidget>("OutButton1_4"));
    ExpectOnlyPanel(form, 4);
    Click(Find<QWidget>("OutButton1_5"));
    ExpectOnlyPanel(form, 5);

    // The second group: its header shows its buttons and hides the first group's.
    Click(Find<QWidget>("Header2"));
    EXPECT_TRUE(Find<QWidget>("OutButton2_1")->isVisible());
    EXPECT_TRUE(Find<QWidget>("OutButton2_2")->isVisible());
    EXPECT_FALSE(Find<QWidget>("OutButton1_1")->isVisible());
    Click(Find<QWidget>("OutButton2_1"));
    ExpectOnlyPanel(form, 6);

    // Help opens the index page and leaves the panel as it is.
    Click(Find<QWidget>("OutButton2_2"));
    ASSERT_EQ(Opened.size(), 1u);
    EXPECT_EQ(Opened[0].toString(), HelpUrl("index.htm"));
    ExpectOnlyPanel(form, 6);
    Click(Find<QWidget>("OutButton2_1"));
    ExpectOnlyPanel(form, 0);

    Click(Find<QWidget>("Header1"));
    EXPECT_TRUE(Find<QWidget>("OutButton1_1")->isVisible());
    EXPECT_FALSE(Find<QWidget>("OutButton2_1")->isVisible());
}

TEST_F(Window, LoadPanelOutsideTheRangeShowsTheStartPage) {
    InstallLanguageFile();
    TGUI_Form& form = CreateForm();
    form.LoadPanel(3);
    ExpectOnlyPanel(form, 3);
    form.LoadPanel(TGUI_Form::kPanelCount + 1);
    ExpectOnlyPanel(form, 0);
    form.LoadPanel(0);
    ExpectOnlyPanel(form, 0);
}

TEST_F(Window, ConsoleKeepsItsLinesWhenThePanelIsReopened) {
    InstallLanguageFile();
    TGUI_Form& form = CreateForm();
    form.panel5()->AppendLine("Added:  > a.txt");
    Click(Find<QWidget>("OutButton1_5"));
    Click(Find<QWidget>("OutButton1_1"));
    form.panel5()->AppendLine("Modified:  > a.txt");
    Click(Find<QWidget>("OutButton1_5"));
    EXPECT_EQ(Find<QPlainTextEdit>("Memo5_1")->toPlainText(),
              "Added:  > a.txt\nModified:  > a.txt");
}

TEST_F(Window, HoveringATaskUnderlinesItsLabelAndTheBackgroundClearsIt) {
    InstallLanguageFile();
    TGUI_Form& form = CreateForm();
    auto underlined = [&form] {
        std::vector<bool> rows;
        for (QLabel* label : form.LabelTask) {
            EXPECT_TRUE(label->font().bold());
            rows.push_back(label->font().underline());
        }
        return rows;
    };
    const std::vector<bool> none(5, false);
    EXPECT_EQ(underlined(), none);

    MovePointer(Find<QWidget>("ImageTask_2"), QPoint(8, 8));
    EXPECT_TRUE(WaitFor([&]() -> bool { return underlined()[1]; }));
    EXPECT_EQ(underlined(), std::vector<bool>({false, true, false, false, false}));

    // From the icon onto the background.
    QTest::mouseMove(Find<QWidget>("ImageLOGO"), QPoint(300, 300));
    EXPECT_TRUE(WaitFor([&] { return underlined() == none; }));

    MovePointer(Find<QWidget>("LabelTask_4"), QPoint(4, 4));
    EXPECT_TRUE(WaitFor([&]() -> bool { return underlined()[3]; }));
    EXPECT_EQ(underlined(), std::vector<bool>({false, false, false, true, false}));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(Find<QWidget>("LabelTask_4"), &leave);
    EXPECT_EQ(underlined(), none);

    // Hovering one label leaves an earlier underline alone.
    form.TasksMouseMove(form.ImageTask[0]);
    form.TasksMouseMove(form.LabelTask[4]);
    EXPECT_EQ(underlined(), std::vector<bool>({true, false, false, false, true}));
}

TEST_F(Window, TaskLinksAndAboutLinksOpenTheirPages) {
    InstallLanguageFile();
    CreateForm();
    const std::vector<QString> expected = {HelpUrl("general.htm"), HelpUrl("recovery.htm"),
                                           HelpUrl("tips.htm"), HelpUrl("buy.htm"),
                                           "https://ostrevan.example.org/"};
    for (int row = 1; row <= 5; ++row) {
        for (const char* kind : {"LabelTask_", "ImageTask_"}) {
            Opened.clear();
            const std::string name = kind + std::to_string(row);
            Click(Find<QWidget>(name.c_str()));
            ASSERT_EQ(Opened.size(), 1u) << name;
            EXPECT_EQ(Opened[0].toString(), expected[static_cast<size_t>(row - 1)]) << name;
        }
    }

    Click(Find<QWidget>("Header2"));
    Click(Find<QWidget>("OutButton2_1"));
    Opened.clear();
    Click(Find<QWidget>("Label6_9"));
    Click(Find<QWidget>("Label6_10"));
    Click(Find<QWidget>("Label6_11"));
    ASSERT_EQ(Opened.size(), 3u);
    EXPECT_EQ(Opened[0], SourceAddress());
    EXPECT_EQ(Opened[1].toString(), HelpUrl("index.htm"));
    EXPECT_EQ(Opened[2].toString(), "https://www.gnu.org/licenses/gpl-3.0.html");
}

TEST_F(Window, TrayImageShowsBusyWarningWatchingAndStopped) {
    InstallLanguageFile();
    TGUI_Form& form = CreateForm();
    EXPECT_EQ(form.TrayImageIndex(), 1);  // not watching yet
    ASSERT_NE(form.TrayIcon(), nullptr);
    EXPECT_TRUE(form.TrayIcon()->isVisible());
    EXPECT_EQ(form.property("trayImageIndex").toInt(), 1);

    form.TrayIconGetIcon(true);
    EXPECT_EQ(form.TrayImageIndex(), 2);
    EXPECT_TRUE(ShowsImage(form, 2));

    // Starting to watch refreshes the tray through the window hooks.
    ConnectWindowHooks(form);
    const std::filesystem::path watched = Root / "watched";
    std::filesystem::create_directories(watched);
    RunSettings.SOURCE = watched.string();
    RunSettings.DESTINATION = (Root / "store").string();
    ASSERT_TRUE(StartWatching());
    EXPECT_TRUE(WaitFor([&] { return form.TrayImageIndex() == 0; }));
    EXPECT_TRUE(ShowsImage(form, 0));
    form.TrayIconGetIcon(true);
    EXPECT_EQ(form.TrayImageIndex(), 2);
    form.TrayIconGetIcon(false);
    EXPECT_EQ(form.TrayImageIndex(), 0);

    // A folder without a watch shows the warning while watching; a copy still shows busy.
    NoteFolderUnwatched((watched / "deep").string());
    EXPECT_TRUE(WaitFor([&] { return form.TrayImageIndex() == 4; }));
    EXPECT_TRUE(ShowsImage(form, 4));
    EXPECT_TRUE(WaitFor([&] {
        return form.LabelStatus->toolTip().startsWith(QString::fromStdString(
            "Watching, but " + (watched / "deep").string() + " could not be watched: "));
    })) << form.LabelStatus->toolTip().toStdString();
    form.TrayIconGetIcon(true);
    EXPECT_EQ(form.TrayImageIndex(), 2);
    form.TrayIconGetIcon(false);
    EXPECT_EQ(form.TrayImageIndex(), 4);
    NoteFolderWatchedAgain((watched / "deep").string());
    EXPECT_TRUE(WaitFor([&] { return form.TrayImageIndex() == 0; }));
    EXPECT_TRUE(WaitFor([&] { return form.LabelStatus->toolTip().startsWith("Watching /"); }));

    StopWatching();
    form.TrayIconGetIcon(false);
    EXPECT_EQ(form.TrayImageIndex(), 1);
    EXPECT_TRUE(ShowsImage(form, 1));
}

TEST_F(Window, MinimisingHidesToTheTrayOnlyWhenThereIsATrayArea) {
    InstallLanguageFile();
    TGUI_Form& form = CreateForm();
    form.SetMinimizeHandler([&form] { form.ApplMinimalize(); });

    // No notification area: the window stays minimised, so the user can get it back.
    form.SetTrayAreaCheck([] { return false; });
    form.showMinimized();
    QTest::qWait(50);
    EXPECT_TRUE(form.isMinimized());
    EXPECT_TRUE(form.AppVisible());

    form.showNormal();
    form.SetTrayAreaCheck([] { return true; });
    form.showMinimized();
    EXPECT_TRUE(WaitFor([&form] { return !form.AppVisible(); }));

    // A double click on the icon brings it back in front, a second one hides it again.
    form.TrayIconOnClick();
    EXPECT_TRUE(form.AppVisible());
    EXPECT_FALSE(form.isMinimized());
    form.TrayIconOnClick();
    EXPECT_FALSE(form.AppVisible());
    emit form.TrayIcon()->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(form.AppVisible());
    emit form.TrayIcon()->activated(QSystemTrayIcon::Trigger);  // a single click does nothing
    EXPECT_TRUE(form.AppVisible());
}

TEST_F(Window, ChangesReachTheConsoleThroughTheEventLoopAndTheStoreThroughItsThread) {
    InstallLanguageFile();
    TGUI_Form& form = CreateForm();
    ConnectWindowHooks(form);
    const std::filesystem::path watched = Root / "watched";
    std::filesystem::create_directories(watched);
    RunSettings.SOURCE = watched.string();
    RunSettings.DESTINATION = (Root / "store").string();
    RunSettings.BYEXTMODE = 2;  // exclude mode with an empty list: every file passes
    ASSERT_TRUE(StartWatching());
    std::ofstream(watched / "letter.txt") << "hello";

    QPlainTextEdit* memo = Find<QPlainTextEdit>("Memo5_1");
    EXPECT_TRUE(WaitFor([&] { return memo->toPlainText().contains("letter.txt"); }));
    EXPECT_TRUE(memo->toPlainText().startsWith("Added"));
    EXPECT_TRUE(WaitFor([&] {
        std::ifstream copy(Root / "store" / "letter.txt" / "SnapShot.1");
        std::string text;
        return std::getline(copy, text) && text == "hello";
    }));
    EndWatchingQuietly();
}

// A 200 MB document moved into the watched folder is copied by the store thread: meanwhile the
// window's event loop keeps running (a timer never waits more than 100 ms) and the tray icon shows
// the copy image, then the watching image again.
TEST_F(Window, TheWindowKeepsAnsweringWhileALargeSnapshotIsTakenAndTheTrayShowsTheCopy) {
    InstallLanguageFile();
    TGUI_Form& form = CreateForm();
    ConnectWindowHooks(form);
    const std::filesystem::path watched = Root / "watched";
    std::filesystem::create_directories(watched);
    RunSettings.SOURCE = watched.string();
    RunSettings.DESTINATION = (Root / "store").string();
    RunSettings.BYSIZE = 1000000;
    RunSettings.BYEXTMODE = 2;
    constexpr std::uintmax_t kSize = 200u << 20;
    {
        std::ofstream out(Root / "large.bin", std::ios::binary);
        const std::string block(1 << 20, 'L');
        for (std::uintmax_t written = 0; written < kSize; written += block.size()) {
            out << block;
        }
    }
    ASSERT_TRUE(StartWatching());

    qint64 longestPause = 0;
    bool copyImageSeen = false;
    QElapsedTimer sinceTick;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestPause = std::max(longestPause, sinceTick.restart());
        copyImageSeen = copyImageSeen || form.TrayImageIndex() == 2;
    });
    sinceTick.start();
    ticker.start(10);
    std::filesystem::rename(Root / "large.bin", watched / "large.bin");
    const std::filesystem::path copy = Root / "store/large.bin/SnapShot.1";
    EXPECT_TRUE(WaitFor(
        [&] {
            std::error_code error;
            return std::filesystem::file_size(copy, error) == kSize;
        },
        std::chrono::seconds(60)));
    EXPECT_TRUE(WaitFor([&] { return form.TrayImageIndex() == 0; }));
    ticker.stop();
    EndWatchingQuietly();

    EXPECT_TRUE(copyImageSeen);
    EXPECT_LT(longestPause, 100) << "the event loop waited " << longestPause << " ms";
}
