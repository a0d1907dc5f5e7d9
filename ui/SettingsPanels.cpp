#include "ui/SettingsPanels.h"

namespace {
const QString kInfoPicture = QStringLiteral("info");
}

QPushButton* MakeButton(QWidget* parent, const char* name, int x, int y) {
    auto* button = new QPushButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(x, y, 81, 22);
    return button;
}

QLineEdit* MakeEdit(QWidget* parent, const char* name, const QRect& geometry, bool readOnly) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    edit->setGeometry(geometry);
    edit->setReadOnly(readOnly);
    return edit;
}

QGroupBox* MakeGroupBox(QWidget* parent, const char* name, const QRect& geometry) {
    auto* group = new QGroupBox(parent);
    group->setObjectName(QString::fromLatin1(name));
    group->setGeometry(geometry);
    return group;
}

Panel1::Panel1(QWidget* parent)
    : PanelFrame(1, QStringLiteral("TopPanel1_1"), QStringLiteral("bar-tools"), parent) {
    GroupBox1_1 = MakeGroupBox(this, "GroupBox1_1", QRect(8, 72, 433, 145));
    Label1_1 = MakeLabel(GroupBox1_1, "Label1_1", 8, 27);
    Edit1_1 = MakeEdit(GroupBox1_1, "Edit1_1", QRect(48, 24, 289, 21), true);
    Button1_1 = MakeButton(GroupBox1_1, "Button1_1", 344, 24);
    CheckBox1_1 = new QCheckBox(GroupBox1_1);
    CheckBox1_1->setObjectName(QStringLiteral("CheckBox1_1"));
    CheckBox1_1->setGeometry(16, 56, 393, 17);
    Image1_2 = MakePicture(GroupBox1_1, "Image1_2", kInfoPicture, QRect(8, 84, 20, 18));
    Label1_2 = MakeWrappedLabel(GroupBox1_1, "Label1_2", QRect(32, 82, 393, 55));

    GroupBox1_2 = MakeGroupBox(this, "GroupBox1_2", QRect(8, 224, 433, 113));
    Label1_3 = MakeLabel(GroupBox1_2, "Label1_3", 8, 27);
    Edit1_2 = MakeEdit(GroupBox1_2, "Edit1_2", QRect(48, 24, 289, 21), true);
    Button1_2 = MakeButton(GroupBox1_2, "Button1_2", 344, 24);
    Image1_3 = MakePicture(GroupBox1_2, "Image1_3", kInfoPicture, QRect(8, 60, 20, 18));
    Label1_4 = MakeWrappedLabel(GroupBox1_2, "Label1_4", QRect(32, 58, 393, 47));

    CheckBox1_2 = new QCheckBox(this);
    CheckBox1_2->setObjectName(QStringLiteral("CheckBox1_2"));
    CheckBox1_2->setGeometry(16, 340, 409, 17);
    Button1_3 = MakeButton(this, "Button1_3", 352, 360);
}

void Panel1::LoadSettings() {}

void Panel1::ChooseWatchedFolder() {}

void Panel1::ChooseStoreFolder() {}

void Panel1::SaveBasicSettings() {}

Panel2::Panel2(QWidget* parent)
    : PanelFrame(2, QStringLiteral("Panel2_1"), QStringLiteral("bar-pen"), parent) {
    GroupBox2_1 = MakeGroupBox(this, "GroupBox2_1", QRect(8, 72, 433, 113));
    Label2_1 = MakeLabel(GroupBox2_1, "Label2_1", 8, 27);
    SpinEdit2_1 = new TSpinEdit(GroupBox2_1);
    SpinEdit2_1->setObjectName(QStringLiteral("SpinEdit2_1"));
    SpinEdit2_1->setGeometry(56, 24, 121, 22);
    Label2_2 = MakeLabel(GroupBox2_1, "Label2_2", 184, 27);
    Image2_2 = MakePicture(GroupBox2_1, "Image2_2", kInfoPicture, QRect(8, 60, 20, 18));
    Label2_3 = MakeWrappedLabel(GroupBox2_1, "Label2_3", QRect(32, 58, 393, 47));

    GroupBox2_2 = MakeGroupBox(this, "GroupBox2_2", QRect(8, 192, 433, 153));
    RadioButton2_1 = new QRadioButton(GroupBox2_2);
    RadioButton2_1->setObjectName(QStringLiteral("RadioButton2_1"));
    RadioButton2_1->setGeometry(8, 24, 385, 17);
    RadioButton2_2 = new QRadioButton(GroupBox2_2);
    RadioButton2_2->setObjectName(QStringLiteral("RadioButton2_2"));
    RadioButton2_2->setGeometry(8, 42, 385, 17);
    RadioButton2_1->setChecked(true);
    Label2_4 = MakeLabel(GroupBox2_2, "Label2_4", 24, 67);
    Edit2_1 = MakeEdit(GroupBox2_2, "Edit2_1", QRect(96, 64, 321, 21), false);
    Image2_3 = MakePicture(GroupBox2_2, "Image2_3", kInfoPicture, QRect(8, 100, 20, 18));
    Label2_5 = MakeWrappedLabel(GroupBox2_2, "Label2_5", QRect(32, 98, 393, 47));

    Button2_1 = MakeButton(this, "Button2_1", 352, 360);
}

void Panel2::LoadSettings() {}

void Panel2::SaveExceptions() {}
