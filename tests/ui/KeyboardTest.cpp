// The window driven by keys alone: Tab reaches every side-bar button, task link and control;
// Enter and Space use them; the open panel's button shows as selected; every control has a name
// a screen reader can say.
#include <QAbstractButton>
#include <QAccessible>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QToolButton>
#include <QTreeView>
#include <set>

#include "tests/ui/UiFixture.h"
#include "ui/PanelFrame.h"
#include "ui/RecoveryPanel.h"
#include "ui/SettingsPanels.h"
#include "ui/SpinEdit.h"

namespace {

QString FocusName() {
    QWidget* focus = QApplication::focusWidget();
    return focus ? focus->objectName() : QString();
}

void Press(Qt::Key key) {
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    QTest::keyClick(focus, key);
}

// Presses Tab until the named control has the focus; false when a whole round did not reach it.
bool TabTo(const QString& name) {
    for (int i = 0; i < 80 && FocusName() != name; ++i) {
        Press(Qt::Key_Tab);
    }
    return FocusName() == name;
}

// Controls a user works with: buttons, fields, lists and text areas.
bool IsControl(const QWidget* widget) {
    return qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QLineEdit*>(widget) ||
           qobject_cast<const QComboBox*>(widget) ||
           qobject_cast<const QAbstractSpinBox*>(widget) ||
           qobject_cast<const QTreeView*>(widget) || qobject_cast<const QPlainTextEdit*>(widget);
}

QString AccessibleName(QWidget* widget) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    return face ? face->text(QAccessible::Name) : QString();
}

}  // namespace

class Keyboard : public UiFixture {
  protected:
    TGUI_Form& StartWindow() {
        InstallLanguageFile();
        TGUI_Form& form = CreateForm();
        form.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
        return form;
    }

    std::vector<int> CheckedButtons() const {
        std::vector<int> checked;
        const auto buttons = Form->PanelButtons();
        for (size_t n = 0; n < buttons.size(); ++n) {
            if (buttons[n]->isChecked()) {
                checked.push_back(static_cast<int>(n) + 1);
            }
        }
        return checked;
    }
};

TEST_F(Keyboard, TabReachesEverySideBarButtonAndTaskLinkAndEnterOrSpaceUsesThem) {
    TGUI_Form& form = StartWindow();
    EXPECT_EQ(FocusName(), "OutButton1_1");  // the keyboard starts in the side bar

    // Round and round with Tab; the second group opens with Space on its header.
    std::set<QString> reached;
    bool opened = false;
    for (int i = 0; i < 60; ++i) {
        reached.insert(FocusName());
        if (FocusName() == "Header2" && !opened) {
            Press(Qt::Key_Space);
            opened = true;
        }
        Press(Qt::Key_Tab);
    }
    for (const char* name :
         {"Header1", "OutButton1_1", "OutButton1_2", "OutButton1_3", "OutButton1_4", "OutButton1_5",
          "Header2", "OutButton2_1", "OutButton2_2", "LabelTask_1", "LabelTask_2", "LabelTask_3",
          "LabelTask_4", "LabelTask_5"}) {
        EXPECT_TRUE(reached.count(name)) << name;
    }

    // Enter on the about button opens its panel and shows the button selected; Space closes it.
    ASSERT_TRUE(TabTo("OutButton2_1"));
    Press(Qt::Key_Return);
    EXPECT_EQ(form.ShownPanel(), 6);
    EXPECT_EQ(CheckedButtons(), std::vector<int>{6});
    Press(Qt::Key_Space);
    EXPECT_EQ(form.ShownPanel(), 0);
    EXPECT_TRUE(CheckedButtons().empty());

    // The first group again, and a panel switched to another: only the open one is selected.
    ASSERT_TRUE(TabTo("Header1"));
    Press(Qt::Key_Enter);
    ASSERT_TRUE(TabTo("OutButton1_2"));
    Press(Qt::Key_Space);
    ASSERT_TRUE(TabTo("OutButton1_4"));
    Press(Qt::Key_Return);
    EXPECT_EQ(form.ShownPanel(), 4);
    EXPECT_EQ(CheckedButtons(), std::vector<int>{4});
    Press(Qt::Key_Return);
    EXPECT_EQ(form.ShownPanel(), 0);

    // Task links open their pages with Enter or Space, and show which one has the focus.
    Opened.clear();
    ASSERT_TRUE(TabTo("LabelTask_2"));
    EXPECT_TRUE(form.LabelTask[1]->font().underline());
    Press(Qt::Key_Return);
    ASSERT_TRUE(TabTo("LabelTask_3"));
    EXPECT_FALSE(form.LabelTask[1]->font().underline());
    Press(Qt::Key_Space);
    ASSERT_EQ(Opened.size(), 2u);
    EXPECT_EQ(Opened[0].toString(), HelpUrl("recovery.htm"));
    EXPECT_EQ(Opened[1].toString(), HelpUrl("tips.htm"));
}

// On each panel, Tab reaches every control that can be used (and the start page's links, hidden
// behind the panel, are not reached); the about panel's links open with Enter.
TEST_F(Keyboard, TabReachesEveryControlOfEachPanel) {
    TGUI_Form& form = StartWindow();
    for (int n = 1; n <= TGUI_Form::kPanelCount; ++n) {
        form.LoadPanel(n);
        PanelFrame* panel = form.PanelAt(n);
        std::set<QString> reached;
        for (int i = 0; i < 60; ++i) {
            reached.insert(FocusName());
            Press(Qt::Key_Tab);
        }
        for (QWidget* widget : panel->findChildren<QWidget*>()) {
            const auto* radio = qobject_cast<QRadioButton*>(widget);
            if (!widget->isVisible() || !widget->isEnabled() || widget->objectName().isEmpty() ||
                widget->objectName().startsWith("qt_") || (radio && !radio->isChecked())) {
                continue;  // inner parts, and radio buttons that the arrows choose among
            }
            if (IsControl(widget)) {
                EXPECT_TRUE(reached.count(widget->objectName()))
                    << "panel " << n << ": " << widget->objectName().toStdString();
            }
        }
        EXPECT_FALSE(reached.count("LabelTask_1")) << "panel " << n;
    }
    form.LoadPanel(6);
    for (const char* link : {"Label6_9", "Label6_10", "Label6_11"}) {
        Opened.clear();
        ASSERT_TRUE(TabTo(link));
        Press(Qt::Key_Return);
        EXPECT_EQ(Opened.size(), 1u) << link;
    }
}

TEST_F(Keyboard, EveryControlAndCaptionHasAnAccessibleName) {
    TGUI_Form& form = StartWindow();
    for (int n = 0; n <= 6; ++n) {
        form.LoadPanel(n);
        for (QWidget* widget : form.findChildren<QWidget*>()) {
            if (!widget->isVisible() || widget->objectName().isEmpty() ||
                widget->objectName().startsWith("qt_")) {
                continue;
            }
            const auto* label = qobject_cast<QLabel*>(widget);
            const bool caption = label && !label->text().isEmpty();
            if (IsControl(widget) || caption) {
                EXPECT_FALSE(AccessibleName(widget).trimmed().isEmpty())
                    << "panel " << n << ": " << widget->objectName().toStdString();
            }
        }
    }
    EXPECT_EQ(AccessibleName(form.OutButton1_4), "Recovery");
    EXPECT_EQ(AccessibleName(form.panel4()->Edit4_1), "File");
    EXPECT_EQ(AccessibleName(form.panel1()->Edit1_2), "Snapshot store");
}
