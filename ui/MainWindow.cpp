#include "ui/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QTimer>

#include "core/EventCodes.h"
#include "core/Paths.h"
#include "core/StoreWarning.h"
#include "store/DayLog.h"
#include "store/StoreThread.h"
#include "ui/AboutPanel.h"
#include "ui/ConsolePanel.h"
#include "ui/EventsPanel.h"
#include "ui/RecoveryPanel.h"
#include "ui/SettingsPanels.h"
#include "ui/SideBar.h"
#include "ui/StorePanel.h"
#include "watch/Watcher.h"

namespace {

constexpr int kBarWidth = TOutlookBar::kWidth;
constexpr int kTrayHintLimit = 63;

// Task rows of the start page, in window coordinates: icon top, label top.
constexpr std::array<std::array<int, 2>, 5> kTaskRows = {
    {{120, 121}, {144, 145}, {170, 171}, {202, 203}, {226, 227}}};
constexpr int kTaskIconX = 144;
constexpr int kTaskLabelX = 168;

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
    pageOpener_ = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    copyImageHold_.setSingleShot(true);
    connect(&copyImageHold_, &QTimer::timeout, this, [this] { EndCopyImage(); });
    trayAreaCheck_ = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };

    BuildStartPage();
    BuildPanels();
    BuildSideBar();
    ConnectCommandClicks();
    InstallEventFilters();
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
        ImageTask[static_cast<size_t>(k)] = icon;
        LabelTask[static_cast<size_t>(k)] = label;
    }
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
        link->installEventFilter(this);
    }
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
    const std::array<QToolButton*, kPanelCount> panelButtons = {
        OutButton1_1, OutButton1_2, OutButton1_3, OutButton1_4,
        OutButton1_5, OutButton2_1, OutButton2_3};
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
        OpenPage(MakerHomePage());
    }
    if (sender == panel6_->Label6_10) {
        OpenPage(ContactMailLink());
    }
    if (sender == panel6_->Label6_11) {
        OpenPage(SupportMailLink());
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

void TGUI_Form::OpenPage(const QUrl& url) {
    if (pageOpener_) {
        pageOpener_(url);  // the result is ignored: a page that cannot open changes nothing
    }
}

QUrl TGUI_Form::HelpPage(const QString& page) {
    return QUrl::fromLocalFile(QString::fromStdString(LanguageDir) + QStringLiteral("/HELP/") +
                               page);
}

void TGUI_Form::SetPageOpener(std::function<void(const QUrl&)> opener) {
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
        index = StoreShortOfSpace() ? kImageWarning : kImageWatching;
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
