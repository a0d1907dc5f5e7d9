#include "ui/SideBar.h"

#include "ui/Pictures.h"

namespace {
constexpr int kButtonGap = 4;
}

TOutlookBar::TOutlookBar(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("mxOutlookBar"));
    setFrameShape(QFrame::Box);
    setLineWidth(1);
    setAutoFillBackground(true);
    setStyleSheet(QStringLiteral(
        "TOutlookBar { background: #5d6f86; border: 1px solid #3f4b59; }"
        "QToolButton { color: white; border: 1px solid transparent; border-radius: 3px;"
        " padding-top: 4px; }"
        "QToolButton:hover { border-color: #c9d6e5; background: rgba(255,255,255,28); }"
        "QToolButton:pressed { border-color: #2f3a46; background: rgba(0,0,0,40); }"
        "QToolButton:checked { border-color: #e8eef5; background: rgba(16,28,44,90); }"
        "QToolButton:focus { border: 1px dotted white; }"
        "QPushButton { border: 1px solid #3f4b59; border-top-color: #ffffff;"
        " border-left-color: #ffffff; background: #dfe4ea; color: #1c2633; font-weight: bold; }"
        "QPushButton:hover { background: #eef2f6; }"
        "QPushButton:focus { background: #c3d4e6; border: 1px dotted #1c2633; }"));
}

int TOutlookBar::AddGroup(const QString& headerName) {
    Group group;
    group.header = new QPushButton(this);
    group.header->setObjectName(headerName);
    group.header->setFocusPolicy(Qt::StrongFocus);
    const int index = static_cast<int>(groups_.size());
    connect(group.header, &QPushButton::clicked, this, [this, index] { SetActiveGroup(index); });
    groups_.push_back(group);
    ArrangeGroups();
    return index;
}

QToolButton* TOutlookBar::AddButton(int group, const QString& name, int imageIndex) {
    auto* button = new QToolButton(this);
    button->setObjectName(name);
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setIcon(QIcon(ImageListPixmap(imageIndex, 32)));
    button->setIconSize(QSize(32, 32));
    button->setFixedSize(kButtonWidth, kButtonHeight);
    button->setAutoRaise(true);
    button->setCheckable(true);  // the open panel's button shows as selected
    button->setFocusPolicy(Qt::StrongFocus);
    groups_[static_cast<size_t>(group)].buttons.push_back(button);
    ArrangeGroups();
    return button;
}

QPushButton* TOutlookBar::Header(int group) const {
    return groups_[static_cast<size_t>(group)].header;
}

const std::vector<QToolButton*>& TOutlookBar::Buttons(int group) const {
    return groups_[static_cast<size_t>(group)].buttons;
}

void TOutlookBar::SetActiveGroup(int group) {
    if (group < 0 || group >= static_cast<int>(groups_.size())) {
        return;
    }
    active_ = group;
    ArrangeGroups();
}

void TOutlookBar::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    ArrangeGroups();
}

// Headers up to the active one stand at the top, the rest at the bottom; the active group's
// buttons fill the space between, centred across the bar.
void TOutlookBar::ArrangeGroups() {
    const int inner = 1;
    const int width = kWidth - 2 * inner;
    const int count = static_cast<int>(groups_.size());
    const int bottom = height() - inner;
    for (int i = 0; i < count; ++i) {
        const Group& group = groups_[static_cast<size_t>(i)];
        const int top =
            i <= active_ ? inner + i * kHeaderHeight : bottom - (count - i) * kHeaderHeight;
        group.header->setGeometry(inner, top, width, kHeaderHeight);
        const bool open = i == active_;
        int y = top + kHeaderHeight + kButtonGap;
        for (QToolButton* button : group.buttons) {
            button->move((kWidth - kButtonWidth) / 2, y);
            button->setVisible(open);
            y += kButtonHeight + kButtonGap;
        }
    }
}
