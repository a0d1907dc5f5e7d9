#pragma once
// The program's one window: the side bar, the start page with its task links, the six panels and
// the notification-area icon.
#include <QElapsedTimer>
#include <QIcon>
#include <QLabel>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QWidget>
#include <array>
#include <functional>

#include "ui/Pictures.h"

class TOutlookBar;
class THelpViewer;
class PanelFrame;
class Panel1;
class Panel2;
class Panel3;
class Panel4;
class Panel5;
class Panel6;
class Panel7;

class QKeyEvent;

class TGUI_Form : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int trayImageIndex READ TrayImageIndex)
  public:
    static constexpr int kClientWidth = 568;
    static constexpr int kClientHeight = 393;

    // Builds the window and runs FormCreate: texts, start record in the day log, tray icon.
    explicit TGUI_Form(QWidget* parent = nullptr);
    ~TGUI_Form() override;

    // Window creation: icon holder, LoadStrings, tray icon (double click, visible, hint = caption
    // cut to 63 characters, TrayIconGetIcon(false)).
    void FormCreate();
    // Window close: log code 3 with image 4, then code 13 with image 5.
    void FormClose();
    // Sets every caption from the language file and fills the text tables; writes log code 1
    // first. Defined in LoadStrings.cpp.
    bool LoadStrings();

    static constexpr int kPanelCount = 7;

    // Shows panel n (1 to 7) alone and fills it; another n leaves every panel hidden.
    bool LoadPanel(int n);
    // Hides every panel: the start page shows.
    bool UnLoadPanels();
    // Fills panel n from the settings or its data (1 to 4, 7); nothing for the others.
    bool LoadSettings(int n);

    // A side-bar button was clicked: open or close its panel, or open the help index.
    void OutCommandClick(QObject* sender);
    // A push button of a panel or a link of the about panel was clicked.
    void CommandClick(QObject* sender);

    // Start page: the pointer moves over a task label or icon (underlines its label), leaves a
    // task label, or moves over the background (both set every task label back to bold).
    void TasksMouseMove(QObject* sender);
    void TasksMouseLeave(QObject* sender);
    void ImageLOGOMouseMove(QObject* sender);
    // A task label or icon was clicked: opens its help page or the home page.
    void TasksClick(QObject* sender);

    // Double click on the tray icon: hides a shown window, or restores a hidden one in front.
    void TrayIconOnClick();
    // The window was minimised: hide it to the tray (it stays minimised with no tray area).
    void ApplMinimalize();
    // Tray image: 2 when busy, else while watching 4 when some folder is unwatched or the store's
    // disk refused a snapshot, or 0, else 1.
    bool TrayIconGetIcon(bool busy);
    // The core's tray refresh: a copy began (true), or a copy ended or the watching state changed
    // (false). The copy image stays for at least kCopyImageMinimum so that even a short copy can
    // be seen; then the image of the watching state follows.
    void ShowCopyState(bool busy);
    static constexpr int kCopyImageMinimum = 300;  // milliseconds

    // Index of the ImageList16 image the tray icon shows (-1 before the first call).
    int TrayImageIndex() const { return trayImageIndex_; }
    QSystemTrayIcon* TrayIcon() const { return trayIcon_; }
    // Whether the window counts as shown (the tray's AppVisible).
    bool AppVisible() const { return isVisible(); }

    // Opens pages through this function (QDesktopServices::openUrl unless replaced, e.g. by a
    // test that records the address instead of starting a browser); it tells whether a program
    // took the page. A help page that no program took opens in the built-in help viewer.
    void SetPageOpener(std::function<bool(const QUrl&)> opener);
    // The built-in help viewer; nullptr until a help page needed it.
    THelpViewer* HelpViewer() const { return helpViewer_; }

    // Shows the watch state in the start page's status line (watching which folder into which
    // store, or why not). Runs on the window's thread.
    void ShowWatchStatus();
    // Called when the window becomes minimised; empty until start-up hooks ApplMinimalize.
    void SetMinimizeHandler(std::function<void()> handler);
    // Tells whether a notification area exists (QSystemTrayIcon::isSystemTrayAvailable unless
    // replaced by a test).
    void SetTrayAreaCheck(std::function<bool()> check);
    // The file: URL of a help page: LanguageDir + "/HELP/" + page.
    static QUrl HelpPage(const QString& page);

    Panel1* panel1() const { return panel1_; }
    Panel2* panel2() const { return panel2_; }
    Panel3* panel3() const { return panel3_; }
    Panel4* panel4() const { return panel4_; }
    Panel5* panel5() const { return panel5_; }
    Panel6* panel6() const { return panel6_; }
    Panel7* panel7() const { return panel7_; }
    // Panel n (1 to 7), or nullptr.
    PanelFrame* PanelAt(int n) const;
    // Number of the shown panel (the one that is Enabled), 0 for the start page.
    int ShownPanel() const;
    // The side-bar buttons of panels 1 to 6, in that order.
    std::array<QToolButton*, kPanelCount> PanelButtons() const;

    TOutlookBar* mxOutlookBar = nullptr;
    QToolButton* OutButton1_1 = nullptr;
    QToolButton* OutButton1_2 = nullptr;
    QToolButton* OutButton1_3 = nullptr;
    QToolButton* OutButton1_4 = nullptr;
    QToolButton* OutButton1_5 = nullptr;
    QToolButton* OutButton2_1 = nullptr;
    QToolButton* OutButton2_2 = nullptr;
    QToolButton* OutButton2_3 = nullptr;  // the store panel

    QLabel* ImageLOGO = nullptr;
    QLabel* LabelText_LOGO = nullptr;
    QLabel* LabelTask_MAIN = nullptr;
    std::array<QLabel*, 5> ImageTask{};  // ImageTask_1 .. ImageTask_5
    std::array<QLabel*, 5> LabelTask{};  // LabelTask_1 .. LabelTask_5
    QLabel* LabelStatus = nullptr;       // one line under the task links: the watch state

  signals:
    // The window was closed (after FormClose); start-up ends the program on it.
    void Closed();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildSideBar();
    void BuildStartPage();
    void BuildPanels();
    void ConnectCommandClicks();
    void InstallEventFilters();
    void OpenPage(const QUrl& url);
    void ShowHelpInViewer(const QUrl& page);
    void SetKeyboardOrder();
    void ShowSelectedSideBarButton();
    void KeepKeyboardFocus();
    void NameFieldsForAccessibility();
    bool HandleKey(QObject* watched, QKeyEvent* event);
    void ShowLinkFocus(QObject* watched, bool focused);
    void SetTaskUnderline(int row, bool underlined);
    int TaskRowOf(QObject* sender) const;
    void EndCopyImage();

    Panel1* panel1_ = nullptr;
    Panel2* panel2_ = nullptr;
    Panel3* panel3_ = nullptr;
    Panel4* panel4_ = nullptr;
    Panel5* panel5_ = nullptr;
    Panel6* panel6_ = nullptr;
    Panel7* panel7_ = nullptr;

    std::array<QIcon, kImageListSize> imageList16_{};
    QIcon iconHolder_;
    QSystemTrayIcon* trayIcon_ = nullptr;
    int trayImageIndex_ = -1;
    bool copyImageShown_ = false;
    QElapsedTimer copyImageSince_;
    QTimer copyImageHold_;
    bool closed_ = false;
    std::function<bool(const QUrl&)> pageOpener_;
    QTimer* statusRefresh_ = nullptr;  // looks at the watch state again while the start page shows
    THelpViewer* helpViewer_ = nullptr;
    std::function<void()> minimizeHandler_;
    std::function<bool()> trayAreaCheck_;
};

// The window's font: a sans serif of 11 pixels, so every text fits the fixed control sizes.
QFont WindowFont();
