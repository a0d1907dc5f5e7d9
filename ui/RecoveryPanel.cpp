#include "ui/RecoveryPanel.h"

#include "ui/SettingsPanels.h"

Panel4::Panel4(QWidget* parent)
    : PanelFrame(4, QStringLiteral("Panel4_1"), QStringLiteral("bar-lifebuoy"), parent) {
    Label4_1 = MakeLabel(this, "Label4_1", 10, 83);
    Edit4_1 = MakeEdit(this, "Edit4_1", QRect(56, 80, 289, 21), true);
    Button4_1 = MakeButton(this, "Button4_1", 352, 79);

    GroupBox4_1 = MakeGroupBox(this, "GroupBox4_1", QRect(8, 112, 433, 177));
    Label4_2 = MakeLabel(GroupBox4_1, "Label4_2", 10, 27);
    ComboBoxEx4_1 = new QComboBox(GroupBox4_1);
    ComboBoxEx4_1->setObjectName(QStringLiteral("ComboBoxEx4_1"));
    ComboBoxEx4_1->setGeometry(100, 23, 321, 22);
    ComboBoxEx4_1->setEditable(false);
    ComboBoxEx4_1->setMaxVisibleItems(8);
    ComboBoxEx4_1->setIconSize(QSize(16, 16));
    Panel4_2 = MakeSeparator(GroupBox4_1, "Panel4_2", QRect(14, 56, 405, 2));
    Label4_3 = MakeLabel(GroupBox4_1, "Label4_3", 10, 75);
    Edit4_2 = MakeEdit(GroupBox4_1, "Edit4_2", QRect(100, 72, 317, 21), true);
    Label4_4 = MakeLabel(GroupBox4_1, "Label4_4", 10, 99);
    Edit4_3 = MakeEdit(GroupBox4_1, "Edit4_3", QRect(100, 96, 317, 21), true);
    Label4_5 = MakeLabel(GroupBox4_1, "Label4_5", 10, 124);
    Edit4_4 = MakeEdit(GroupBox4_1, "Edit4_4", QRect(100, 120, 277, 21), true);
    Label4_6 = MakeLabel(GroupBox4_1, "Label4_6", 386, 124);
    Label4_7 = MakeLabel(GroupBox4_1, "Label4_7", 10, 151);
    Edit4_5 = MakeEdit(GroupBox4_1, "Edit4_5", QRect(100, 148, 317, 21), true);

    Image4_2 = MakePicture(this, "Image4_2", QStringLiteral("info"), QRect(16, 300, 20, 18));
    Label4_8 = MakeWrappedLabel(this, "Label4_8", QRect(40, 297, 393, 56));
    Button4_2 = MakeButton(this, "Button4_2", 264, 360);
    Button4_3 = MakeButton(this, "Button4_3", 352, 360);
    Button4_2->setEnabled(false);
    Button4_3->setEnabled(false);

    connect(ComboBoxEx4_1, QOverload<int>::of(&QComboBox::activated), this,
            [this](int) { ComboBoxEx4_1Select(); });
}

void Panel4::LoadSettings() {}

void Panel4::ComboBoxEx4_1Select() {}

void Panel4::ChooseFile() {}

void Panel4::RestoreSnapshot() {}

void Panel4::DeleteSnapshots() {}
