#pragma once
// The side bar: groups with a header button and large-image buttons; clicking a group's header
// shows that group's buttons under it and moves the other headers to the bottom.
#include <QFrame>
#include <QPushButton>
#include <QToolButton>
#include <vector>

class TOutlookBar : public QFrame {
    Q_OBJECT
  public:
    static constexpr int kWidth = 120;
    static constexpr int kHeaderHeight = 22;
    static constexpr int kButtonWidth = 112;
    static constexpr int kButtonHeight = 60;

    explicit TOutlookBar(QWidget* parent);

    // Adds a group with its header button; returns the group's index.
    int AddGroup(const QString& headerName);
    // Adds a large-image button (image from ImageList) to a group.
    QToolButton* AddButton(int group, const QString& name, int imageIndex);

    QPushButton* Header(int group) const;
    const std::vector<QToolButton*>& Buttons(int group) const;
    int ActiveGroup() const { return active_; }
    void SetActiveGroup(int group);

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    struct Group {
        QPushButton* header = nullptr;
        std::vector<QToolButton*> buttons;
    };
    void ArrangeGroups();

    std::vector<Group> groups_;
    int active_ = 0;
};
