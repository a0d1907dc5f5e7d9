#include "ui/MainWindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <vector>

#include "core/EventCodes.h"
#include "core/Paths.h"
#include "core/StoreWarning.h"
#include "lang/Language.h"
#include "store/DayLog.h"
#include "store/StoreThread.h"
#include "ui/AboutPanel.h"
#include "ui/ConsolePanel.h"
#include "ui/EventsPanel.h"
#include "ui/HelpViewer.h"
#include "ui/RecoveryPanel.h"
#include "ui/SettingsPanels.h"
#include "ui/SideBar.h"
#include "ui/StorePanel.h"
#include "watch/WatchCoverage.h"
#include "watch/WatchStatus.h"
#include "watch/Watcher.h"

namespace {

constexpr int kBarWidth = TOutlookBar::kWidth;
constexpr int kTrayHintLimit = 63;

// Task rows of the start page, in window coordinates: icon top, label top.
constexpr std::array<std::array<int, 2>, 5> kTaskRows = {
    {{120, 121}, {144, 145}, {170, 171}, {202, 203}, {226, 227}}};
constexpr int kTaskIconX = 144;
constexpr int kTaskLabelX = 168;
// The status line under the task links, in window coordinates.
constexpr QRect kStatusLine(144, 256, 416, 18);
constexpr int kStatusRefreshMs = 2000;

// Help pages of task rows 1 to 4 (row 5 is the home page).
const std::array<const char*, 4> kTaskPages = {"general.htm", "recovery.htm", "tips.htm",
                                               "buy.htm"};

// Sets the colour of a label's text.
void SetTextColour(QLabel* label, const QColor& colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

bool IsLeftClickInside(QObject* watched, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(watched);
    const auto* mouse = static_cast<QMouseEvent*>(event);
    return widget && mouse->button() == Qt::LeftButton &&
           widget->rect().contains(mouse->position().toPoint());
}

// Enter, Return or Space without Ctrl, Alt or Shift.
bool IsActivationKey(const QKeyEvent* key) {
    const bool plain = key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier;
    return plain && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter ||
                     key->key() == Qt::Key_Space);
}

// The status line's text for a watch state, from the language file's GUI_FORM/STATUS_ keys.
QString WatchStatusText(const TWatchStatus& state) {
    const char* key = "STATUS_STOPPED";
    std::string file;
    switch (state.Condition) {
        case TWatchCondition::Watching:
            key = state.FailedFolder.empty() ? "STATUS_WATCHING" : "STATUS_PARTLY";
            file = state.FailedFolder.empty() ? state.WatchedFolder : state.FailedFolder;
            break;
        case TWatchCondition::NoSettingsFile:
            key = "STATUS_NOSETTINGS";
            file = state.SettingsFile;
            break;
        case TWatchCondition::NoWatchedFolder:
            key = "STATUS_NOFOLDER";
            break;
        case TWatchCondition::FolderMissing:
            key = "STATUS_MISSING";
            file = state.WatchedFolder;
            break;
        case TWatchCondition::CannotWatch:
            key = "STATUS_FAILED";
            file = state.FailedFolder;
            break;
        case TWatchCondition::Stopped:
            break;
    }
    QString text = QString::fromStdString(LanguageText("GUI_FORM", key, "GUI"));
    text.replace(QStringLiteral("$FILE$"), QString::fromStdString(file), Qt::CaseInsensitive);
    text.replace(QStringLiteral("$STORE$"), QString::fromStdString(state.StoreFolder),
                 Qt::CaseInsensitive);
    text.replace(QStringLiteral("$ERROR$"), QString::fromStdString(state.ErrorText),
                 Qt::CaseInsensitive);
    return text;
}

}  // namespace

QFont WindowFont() {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    return font;
}

TGUI_Form::TGUI_Form(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("GUI_Form"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setFont(WindowFont());
    setFixedSize(kClientWidth, kClientHeight);
    move(328, 300);
    // The program's icon on this window, its task-bar entry and its dialogs and message boxes.
    QApplication::setWindowIcon(ApplicationIcon());
    for (int i = 0; i < kImageListSize; ++i) {
        imageList16_[static_cast<size_t>(i)] = ImageList16Icon(i);
    }
    pageOpener_ = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    copyImageHold_.setSingleShot(true);
    connect(&copyImageHold_, &QTimer::timeout, this, [this] { EndCopyImage(); });
    trayAreaCheck_ = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };

    BuildStartPage();
    BuildPanels();
    BuildSideBar();
    ConnectCommandClicks();
    InstallEventFilters();
    SetKeyboardOrder();
    FormCreate();
}

TGUI_Form::~TGUI_Form() = default;

void TGUI_Form::BuildSideBar() {
    mxOutlookBar = new TOutlookBar(this);
    mxOutlookBar->setGeometry(0, 0, kBarWidth, kClientHeight);
    const int group1 = mxOutlookBar->AddGroup(QStringLiteral("Header1"));
    OutButton1_1 = mxOutlookBar->AddButton(group1, QStringLiteral("OutButton1_1"), 0);
    OutButton1_2 = mxOutlookBar->AddButton(group1, QStringLiteral("OutButton1_2"), 1);
    OutButton1_3 = mxOutlookBar->AddButton(group1, QStringLiteral("OutButton1_3"), 2);
    OutButton1_4 = mxOutlookBar->AddButton(group1, QStringLiteral("OutButton1_4"), 3);
    OutButton1_5 = mxOutlookBar->AddButton(group1, QStringLiteral("OutButton1_5"), 4);
    const int group2 = mxOutlookBar->AddGroup(QStringLiteral("Header2"));
    OutButton2_1 = mxOutlookBar->AddButton(group2, QStringLiteral("OutButton2_1"), 5);
    OutButton2_2 = mxOutlookBar->AddButton(group2, QStringLiteral("OutButton2_2"), 7);
    OutButton2_3 = mxOutlookBar->AddButton(group2, QStringLiteral("OutButton2_3"), -1);
    OutButton2_3->setIcon(QIcon(RenderPicture(QStringLiteral("bar-store"), 32, 32)));
    mxOutlookBar->SetActiveGroup(group1);
    OutButton2_2->setCheckable(false);  // opens the help, never a panel
    for (QToolButton* button : {OutButton1_1, OutButton1_2, OutButton1_3, OutButton1_4,
                                OutButton1_5, OutButton2_1, OutButton2_2, OutButton2_3}) {
        connect(button, &QToolButton::clicked, this, [this, button] { OutCommandClick(button); });
    }
}

void TGUI_Form::BuildStartPage() {
    ImageLOGO = new QLabel(this);
    ImageLOGO->setObjectName(QStringLiteral("ImageLOGO"));
    ImageLOGO->setGeometry(kBarWidth, 0, kClientWidth - kBarWidth, kClientHeight);
    ImageLOGO->setAlignment(Qt::AlignCenter);
    ImageLOGO->setPixmap(RenderPicture(QStringLiteral("start-page"), 450, 395));
    ImageLOGO->setMouseTracking(true);

    LabelText_LOGO = MakeLabel(ImageLOGO, "LabelText_LOGO", 168 - kBarWidth, 11);
    QFont titleFont = LabelText_LOGO->font();
    titleFont.setBold(true);
    LabelText_LOGO->setFont(titleFont);
    SetTextColour(LabelText_LOGO, Qt::white);

    LabelTask_MAIN = MakeLabel(ImageLOGO, "LabelTask_MAIN", 140 - kBarWidth, 75);
    QFont headingFont(QStringLiteral("Arial"));
    headingFont.setStyleHint(QFont::SansSerif);
    headingFont.setPixelSize(27);
    headingFont.setBold(true);
    LabelTask_MAIN->setFont(headingFont);
    SetTextColour(LabelTask_MAIN, QColor(0xf4, 0xf6, 0xf9));

    for (int k = 0; k < 5; ++k) {
        const QString stem = k < 3 ? QStringLiteral("task-green") : QStringLiteral("task-red");
        const QString row = QString::number(k + 1);
        QLabel* icon = MakePicture(ImageLOGO, "", stem,
                                   QRect(kTaskIconX - kBarWidth, kTaskRows[k][0], 16, 16));
        icon->setObjectName(QStringLiteral("ImageTask_") + row);
        QLabel* label = MakeLabel(ImageLOGO, "", kTaskLabelX - kBarWidth, kTaskRows[k][1]);
        label->setObjectName(QStringLiteral("LabelTask_") + row);
        label->setFont(titleFont);
        SetTextColour(label, Qt::white);
        for (QLabel* control : {icon, label}) {
            control->setCursor(Qt::PointingHandCursor);
            control->setMouseTracking(true);
        }
        label->setFocusPolicy(Qt::StrongFocus);  // a link the keyboard reaches too
        ImageTask[static_cast<size_t>(k)] = icon;
        LabelTask[static_cast<size_t>(k)] = label;
    }

    LabelStatus = new QLabel(ImageLOGO);
    LabelStatus->setObjectName(QStringLiteral("LabelStatus"));
    LabelStatus->setTextFormat(Qt::PlainText);
    LabelStatus->setGeometry(kStatusLine.translated(-kBarWidth, 0));
    // White on a darkened band of the picture, readable whatever the desktop's colours.
    LabelStatus->setStyleSheet(QStringLiteral(
        "QLabel { color: white; background: rgba(16, 28, 44, 150); border-radius: 3px;"
        " padding: 0px 4px; }"));
    // A folder that goes away shows without waiting for the next event of the watcher.
    statusRefresh_ = new QTimer(this);
    statusRefresh_->setInterval(kStatusRefreshMs);
    connect(statusRefresh_, &QTimer::timeout, this, [this] {
        if (ImageLOGO->isVisible() && isVisible()) {
            ShowWatchStatus();
        }
    });
    statusRefresh_->start();
}

void TGUI_Form::BuildPanels() {
    panel1_ = new Panel1(this);
    panel2_ = new Panel2(this);
    panel3_ = new Panel3(this);
    panel4_ = new Panel4(this);
    panel5_ = new Panel5(this);
    panel6_ = new Panel6(this);
    panel7_ = new Panel7(this);
    for (int n = 1; n <= kPanelCount; ++n) {
        PanelFrame* panel = PanelAt(n);
        panel->move(kBarWidth, 0);
        panel->setEnabled(false);
        panel->setVisible(false);
    }
}

// The start page's pointer moves and clicks, and the about panel's links, go through
// eventFilter; installed once every control it compares with exists.
void TGUI_Form::InstallEventFilters() {
    ImageLOGO->installEventFilter(this);
    for (int k = 0; k < 5; ++k) {
        ImageTask[static_cast<size_t>(k)]->installEventFilter(this);
        LabelTask[static_cast<size_t>(k)]->installEventFilter(this);
    }
    for (QLabel* link : {panel6_->Label6_9, panel6_->Label6_10, panel6_->Label6_11}) {
        link->setFocusPolicy(Qt::StrongFocus);
        link->installEventFilter(this);
    }
    // Enter works on every button as Space does.
    for (QAbstractButton* button : findChildren<QAbstractButton*>()) {
        button->installEventFilter(this);
    }
}

// Tab goes through the side bar first, then the start page's links or the shown panel.
void TGUI_Form::SetKeyboardOrder() {
    std::vector<QWidget*> chain = {mxOutlookBar->Header(0),
                                   OutButton1_1,
                                   OutButton1_2,
                                   OutButton1_3,
                                   OutButton1_4,
                                   OutButton1_5,
                                   mxOutlookBar->Header(1),
                                   OutButton2_1,
                                   OutButton2_2};
    chain.insert(chain.end(), LabelTask.begin(), LabelTask.end());
    for (size_t i = 0; i + 1 < chain.size(); ++i) {
        QWidget::setTabOrder(chain[i], chain[i + 1]);
    }
    OutButton1_1->setFocus();  // where the keyboard starts when the window is shown
}

void TGUI_Form::ConnectCommandClicks() {
    for (QPushButton* button :
         {panel1_->Button1_1, panel1_->Button1_2, panel1_->Button1_3, panel2_->Button2_1,
          panel3_->Button3_1, panel4_->Button4_1, panel4_->Button4_2, panel4_->Button4_3,
          panel7_->Button7_1, panel7_->Button7_2}) {
        connect(button, &QPushButton::clicked, this, [this, button] { CommandClick(button); });
    }
}

void TGUI_Form::FormCreate() {
    iconHolder_ = QIcon();
    LoadStrings();
    trayIcon_ = new QSystemTrayIcon(imageList16_[1], this);
    connect(trayIcon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick) {
                    TrayIconOnClick();
                }
            });
    trayIcon_->setVisible(true);
    trayIcon_->setToolTip(windowTitle().left(kTrayHintLimit));
    TrayIconGetIcon(false);
}

// No new batch is taken in, queued work is dropped and a copy under way is abandoned, so the two
// closing records are the last lines of the day's log and the program ends at once.
void TGUI_Form::FormClose() {
    EndWatchingQuietly();
    StopStoreThread();
    WriteLogLine(kLogWatchingStopped, kImageWarning, "");
    WriteLogLine(kLogProgramClosed, kImageError, "");
}

void TGUI_Form::closeEvent(QCloseEvent* event) {
    if (!closed_) {
        closed_ = true;
        FormClose();
    }
    event->accept();
    emit Closed();
}

PanelFrame* TGUI_Form::PanelAt(int n) const {
    switch (n) {
        case 1:
            return panel1_;
        case 2:
            return panel2_;
        case 3:
            return panel3_;
        case 4:
            return panel4_;
        case 5:
            return panel5_;
        case 6:
            return panel6_;
        case 7:
            return panel7_;
        default:
            return nullptr;
    }
}

std::array<QToolButton*, TGUI_Form::kPanelCount> TGUI_Form::PanelButtons() const {
    return {OutButton1_1, OutButton1_2, OutButton1_3, OutButton1_4,
            OutButton1_5, OutButton2_1, OutButton2_3};
}

int TGUI_Form::ShownPanel() const {
    for (int n = 1; n <= kPanelCount; ++n) {
        if (PanelAt(n)->isEnabled()) {
            return n;
        }
    }
    return 0;
}

bool TGUI_Form::UnLoadPanels() {
    for (int n = 1; n <= kPanelCount; ++n) {
        PanelAt(n)->setEnabled(false);
        PanelAt(n)->setVisible(false);
    }
    // The start page shows again; hidden behind a panel, its links took no keyboard focus.
    ImageLOGO->setVisible(true);
    ShowWatchStatus();
    ShowSelectedSideBarButton();
    KeepKeyboardFocus();
    return true;
}

bool TGUI_Form::LoadPanel(int n) {
    UnLoadPanels();
    PanelFrame* panel = PanelAt(n);
    if (!panel) {
        return true;
    }
    panel->setEnabled(true);
    panel->setVisible(true);
    panel->raise();
    ImageLOGO->setVisible(false);
    ShowSelectedSideBarButton();
    KeepKeyboardFocus();
    if (n != 5) {
        LoadSettings(n);  // the console keeps its lines
    }
    return true;
}

bool TGUI_Form::LoadSettings(int n) {
    switch (n) {
        case 1:
            panel1_->LoadSettings();
            break;
        case 2:
            panel2_->LoadSettings();
            break;
        case 3:
            panel3_->LoadSettings();
            break;
        case 4:
            panel4_->LoadSettings();
            break;
        case 7:
            panel7_->LoadSettings();
            break;
        default:
            break;
    }
    return true;
}

void TGUI_Form::OutCommandClick(QObject* sender) {
    const std::array<QToolButton*, kPanelCount> panelButtons = PanelButtons();
    for (int n = 1; n <= kPanelCount; ++n) {
        if (sender == panelButtons[static_cast<size_t>(n - 1)]) {
            if (PanelAt(n)->isEnabled()) {
                UnLoadPanels();
            } else {
                LoadPanel(n);
            }
        }
    }
    if (sender == OutButton2_2) {
        OpenPage(HelpPage(QStringLiteral("index.htm")));
    }
}

void TGUI_Form::CommandClick(QObject* sender) {
    if (sender == panel1_->Button1_1) {
        panel1_->ChooseWatchedFolder();
    }
    if (sender == panel1_->Button1_2) {
        panel1_->ChooseStoreFolder();
    }
    if (sender == panel1_->Button1_3) {
        panel1_->SaveBasicSettings();
    }
    if (sender == panel2_->Button2_1) {
        panel2_->SaveExceptions();
    }
    if (sender == panel3_->Button3_1) {
        panel3_->DeleteChosenDay();
    }
    if (sender == panel4_->Button4_1) {
        panel4_->ChooseFile();
    }
    if (sender == panel4_->Button4_2) {
        panel4_->RestoreSnapshot();
    }
    if (sender == panel4_->Button4_3) {
        panel4_->DeleteSnapshots();
    }
    if (sender == panel7_->Button7_1) {
        panel7_->CleanUpNow();
    }
    if (sender == panel7_->Button7_2) {
        panel7_->SaveRules();
    }
    if (sender == panel6_->Label6_9) {
        OpenPage(SourceAddress());
    }
    if (sender == panel6_->Label6_10) {
        OpenPage(HelpPage(QStringLiteral("index.htm")));
    }
    if (sender == panel6_->Label6_11) {
        OpenPage(LicenceAddress());
    }
}

int TGUI_Form::TaskRowOf(QObject* sender) const {
    for (int k = 0; k < 5; ++k) {
        if (sender == LabelTask[static_cast<size_t>(k)] ||
            sender == ImageTask[static_cast<size_t>(k)]) {
            return k + 1;
        }
    }
    return 0;
}

void TGUI_Form::SetTaskUnderline(int row, bool underlined) {
    QLabel* label = LabelTask[static_cast<size_t>(row - 1)];
    QFont font = label->font();
    font.setBold(true);
    font.setUnderline(underlined);
    label->setFont(font);
}

void TGUI_Form::TasksMouseMove(QObject* sender) {
    for (int k = 1; k <= 5; ++k) {
        if (sender == LabelTask[static_cast<size_t>(k - 1)] ||
            sender == ImageTask[static_cast<size_t>(k - 1)]) {
            SetTaskUnderline(k, true);
        }
    }
}

void TGUI_Form::TasksMouseLeave(QObject*) {
    for (int k = 1; k <= 5; ++k) {
        SetTaskUnderline(k, false);
    }
}

void TGUI_Form::ImageLOGOMouseMove(QObject* sender) {
    TasksMouseLeave(sender);
}

void TGUI_Form::TasksClick(QObject* sender) {
    const int row = TaskRowOf(sender);
    if (row >= 1 && row <= 4) {
        OpenPage(HelpPage(QString::fromLatin1(kTaskPages[static_cast<size_t>(row - 1)])));
    } else if (row == 5) {
        OpenPage(ProductHomePage());
    }
}

bool TGUI_Form::eventFilter(QObject* watched, QEvent* event) {
    const int row = TaskRowOf(watched);
    const bool isLink = watched == panel6_->Label6_9 || watched == panel6_->Label6_10 ||
                        watched == panel6_->Label6_11;
    switch (event->type()) {
        case QEvent::KeyPress:
            if (HandleKey(watched, static_cast<QKeyEvent*>(event))) {
                return true;
            }
            break;
        case QEvent::FocusIn:
        case QEvent::FocusOut:
            ShowLinkFocus(watched, event->type() == QEvent::FocusIn);
            break;
        case QEvent::MouseMove:
            if (row > 0) {
                TasksMouseMove(watched);
                return true;  // not the background's move as well
            }
            if (watched == ImageLOGO) {
                ImageLOGOMouseMove(watched);
            }
            break;
        case QEvent::Leave:
            if (row > 0 && watched == LabelTask[static_cast<size_t>(row - 1)]) {
                TasksMouseLeave(watched);
            }
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
            if (row > 0 || isLink) {
                return true;
            }
            break;
        case QEvent::MouseButtonRelease:
            if ((row > 0 || isLink) && IsLeftClickInside(watched, event)) {
                if (row > 0) {
                    TasksClick(watched);
                } else {
                    CommandClick(watched);
                }
                return true;
            }
            break;
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

// A page no program took: a help page opens in the built-in viewer; anything else (a web or mail
// address) changes nothing.
void TGUI_Form::OpenPage(const QUrl& url) {
    const bool opened = pageOpener_ && pageOpener_(url);
    if (!opened && url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile()) {
        ShowHelpInViewer(url);
    }
}

void TGUI_Form::ShowHelpInViewer(const QUrl& page) {
    if (!helpViewer_) {
        helpViewer_ = new THelpViewer(this);
    }
    helpViewer_->ShowPage(page);
}

void TGUI_Form::ShowWatchStatus() {
    if (!LabelStatus) {
        return;
    }
    const QString text = WatchStatusText(CurrentWatchStatus());
    LabelStatus->setToolTip(text);
    LabelStatus->setAccessibleName(text);
    // One line: a long path gives up its middle.
    const int room = LabelStatus->width() - 10;
    LabelStatus->setText(LabelStatus->fontMetrics().elidedText(text, Qt::ElideMiddle, room));
}

// A control that had the keyboard focus and went away with its page hands it to the side bar.
void TGUI_Form::KeepKeyboardFocus() {
    QWidget* focus = focusWidget();
    if (focus && focus->isVisibleTo(this)) {
        return;
    }
    const std::array<QToolButton*, kPanelCount> panelButtons = PanelButtons();
    const int shown = ShownPanel();
    QToolButton* button = shown > 0 ? panelButtons[static_cast<size_t>(shown - 1)] : OutButton1_1;
    if (button->isVisibleTo(this)) {
        button->setFocus();
    } else {
        mxOutlookBar->Header(mxOutlookBar->ActiveGroup())->setFocus();
    }
}

void TGUI_Form::ShowSelectedSideBarButton() {
    const std::array<QToolButton*, kPanelCount> panelButtons = PanelButtons();
    const int shown = ShownPanel();
    for (int n = 1; n <= kPanelCount; ++n) {
        panelButtons[static_cast<size_t>(n - 1)]->setChecked(n == shown);
    }
}

// Enter or Space on a focused link opens it; Enter on a button clicks it as Space does.
bool TGUI_Form::HandleKey(QObject* watched, QKeyEvent* event) {
    if (!IsActivationKey(event)) {
        return false;
    }
    if (TaskRowOf(watched) > 0) {
        TasksClick(watched);
        return true;
    }
    if (watched == panel6_->Label6_9 || watched == panel6_->Label6_10 ||
        watched == panel6_->Label6_11) {
        CommandClick(watched);
        return true;
    }
    auto* button = qobject_cast<QAbstractButton*>(watched);
    if (button && event->key() != Qt::Key_Space && button->isEnabled()) {
        button->click();
        return true;
    }
    return false;
}

// A link with the keyboard focus is underlined (task links) or drawn in the selection colours
// (the about panel's links, which are always underlined).
void TGUI_Form::ShowLinkFocus(QObject* watched, bool focused) {
    const int row = TaskRowOf(watched);
    if (row > 0) {
        SetTaskUnderline(row, focused);
        return;
    }
    auto* link = qobject_cast<QLabel*>(watched);
    if (!link ||
        (link != panel6_->Label6_9 && link != panel6_->Label6_10 && link != panel6_->Label6_11)) {
        return;
    }
    QPalette colours = link->palette();
    colours.setColor(QPalette::Window, palette().color(QPalette::Highlight));
    link->setAutoFillBackground(focused);
    if (focused) {
        link->setProperty("linkColour", colours.color(QPalette::WindowText));
        colours.setColor(QPalette::WindowText, palette().color(QPalette::HighlightedText));
    } else if (link->property("linkColour").isValid()) {
        colours.setColor(QPalette::WindowText, link->property("linkColour").value<QColor>());
    }
    link->setPalette(colours);
}

QUrl TGUI_Form::HelpPage(const QString& page) {
    return QUrl::fromLocalFile(QString::fromStdString(LanguageDir) + QStringLiteral("/HELP/") +
                               page);
}

void TGUI_Form::SetPageOpener(std::function<bool(const QUrl&)> opener) {
    pageOpener_ = std::move(opener);
}

void TGUI_Form::SetMinimizeHandler(std::function<void()> handler) {
    minimizeHandler_ = std::move(handler);
}

void TGUI_Form::SetTrayAreaCheck(std::function<bool()> check) {
    trayAreaCheck_ = std::move(check);
}

bool TGUI_Form::TrayIconGetIcon(bool busy) {
    int index = kImageStopped;
    if (busy) {
        index = kImageCopying;
    } else if (IsWatching()) {
        index = SomeFoldersUnwatched() || StoreShortOfSpace() ? kImageWarning : kImageWatching;
    }
    iconHolder_ = imageList16_[static_cast<size_t>(index)];
    trayImageIndex_ = index;
    if (trayIcon_) {
        trayIcon_->setIcon(iconHolder_);
    }
    return true;
}

void TGUI_Form::ShowCopyState(bool busy) {
    if (busy) {
        copyImageHold_.stop();
        if (!copyImageShown_) {
            copyImageShown_ = true;
            copyImageSince_.start();
            TrayIconGetIcon(true);
        }
        return;
    }
    // Not busy: the image of the watching state, once the copy image has been seen long enough.
    const qint64 left = copyImageShown_ ? kCopyImageMinimum - copyImageSince_.elapsed() : 0;
    if (left > 0) {
        copyImageHold_.start(static_cast<int>(left));
    } else {
        EndCopyImage();
    }
}

void TGUI_Form::EndCopyImage() {
    copyImageShown_ = false;
    TrayIconGetIcon(false);
}

void TGUI_Form::ApplMinimalize() {
    if (!trayIcon_) {
        return;
    }
    if (trayAreaCheck_ && !trayAreaCheck_()) {
        return;  // no notification area: stay minimised so the window can be got back
    }
    hide();
}

void TGUI_Form::TrayIconOnClick() {
    if (AppVisible()) {
        hide();
        return;
    }
    showNormal();
    raise();
    activateWindow();
}

void TGUI_Form::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && isMinimized() && minimizeHandler_) {
        // Hiding while the window system is still minimising confuses some window managers.
        QTimer::singleShot(0, this, [this] {
            if (isMinimized() && minimizeHandler_) {
                minimizeHandler_();
            }
        });
    }
}
