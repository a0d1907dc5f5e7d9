// TGUI_Form::LoadStrings: every caption of the window from the language file, in the order of
// the catalogue, and the text tables the panels read later.
#include <QApplication>
#include <QHeaderView>
#include <initializer_list>
#include <string>

#include "core/EventCodes.h"
#include "core/SharedState.h"
#include "lang/Language.h"
#include "store/DayLog.h"
#include "ui/AboutPanel.h"
#include "ui/ConsolePanel.h"
#include "ui/EventsPanel.h"
#include "ui/MainWindow.h"
#include "ui/RecoveryPanel.h"
#include "ui/SettingsPanels.h"
#include "ui/SideBar.h"
#include "ui/StorePanel.h"
#include "ui/TextTables.h"

namespace {

struct CaptionRow {
    const char* key;
    QWidget* control;
};

QString Text(const std::string& section, const std::string& key) {
    return QString::fromStdString(LanguageText(section, key, "GUI"));
}

// Looks up each key of a section in the given order and sets it as the control's caption.
void SetCaptions(const char* section, std::initializer_list<CaptionRow> rows) {
    for (const CaptionRow& row : rows) {
        SetCaption(row.control, Text(section, row.key));
    }
}

void LoadLogMessages() {
    const int count = LogMessageCount(LanguageText("VALUES", "VALUES_LOGS_NO", "GUI"));
    TextTables.LogMessages.clear();
    for (int n = 1; n <= count; ++n) {
        TextTables.LogMessages.push_back(
            LanguageText("VALUES", "VALUES_LOGS_" + std::to_string(n), "GUI"));
    }
}

void LoadActionNames() {
    ActionNames[0].clear();
    for (int action = 1; action <= 4; ++action) {
        ActionNames[static_cast<size_t>(action)] =
            LanguageText("OPERATIONS", std::to_string(action), "GUI");
    }
}

}  // namespace

bool TGUI_Form::LoadStrings() {
    WriteLogLine(kLogProgramStarted, kImageInformation, "");

    const QString title = Text("GUI_FORM", "TITLE");
    setWindowTitle(title);
    QGuiApplication::setApplicationDisplayName(title);
    SetCaption(LabelText_LOGO, title);
    SetCaptions("GUI_FORM", {{"TASKMAIN", LabelTask_MAIN},
                             {"TASK_1", LabelTask[0]},
                             {"TASK_2", LabelTask[1]},
                             {"TASK_3", LabelTask[2]},
                             {"TASK_4", LabelTask[3]},
                             {"TASK_5", LabelTask[4]},
                             {"HEADER1", mxOutlookBar->Header(0)},
                             {"HEADER2", mxOutlookBar->Header(1)},
                             {"BUTTON1_1", OutButton1_1},
                             {"BUTTON1_2", OutButton1_2},
                             {"BUTTON1_3", OutButton1_3},
                             {"BUTTON1_4", OutButton1_4},
                             {"BUTTON1_5", OutButton1_5},
                             {"BUTTON2_1", OutButton2_1},
                             {"BUTTON2_2", OutButton2_2},
                             {"BUTTON2_3", OutButton2_3}});

    Panel1* p1 = panel1();
    SetCaptions("PANEL1", {{"MAINTEXT", p1->MainText},
                           {"LABELTEXT", p1->LabelText},
                           {"GROUPBOX1", p1->GroupBox1_1},
                           {"GROUPBOX2", p1->GroupBox1_2},
                           {"LABEL1", p1->Label1_1},
                           {"LABEL2", p1->Label1_2},
                           {"LABEL3", p1->Label1_3},
                           {"LABEL4", p1->Label1_4},
                           {"BUTTON1", p1->Button1_1},
                           {"BUTTON2", p1->Button1_2},
                           {"BUTTON3", p1->Button1_3},
                           {"CHECKBOX1", p1->CheckBox1_1},
                           {"CHECKBOX2", p1->CheckBox1_2},
                           {"CHECKBOX3", p1->CheckBox1_3}});
    Panel2* p2 = panel2();
    SetCaptions("PANEL2", {{"MAINTEXT", p2->MainText},
                           {"LABELTEXT", p2->LabelText},
                           {"GROUPBOX1", p2->GroupBox2_1},
                           {"GROUPBOX2", p2->GroupBox2_2},
                           {"LABEL1", p2->Label2_1},
                           {"LABEL2", p2->Label2_2},
                           {"LABEL3", p2->Label2_3},
                           {"LABEL4", p2->Label2_4},
                           {"LABEL5", p2->Label2_5},
                           {"RADIOBUTTON1", p2->RadioButton2_1},
                           {"RADIOBUTTON2", p2->RadioButton2_2},
                           {"BUTTON1", p2->Button2_1}});
    Panel3* p3 = panel3();
    SetCaptions(
        "PANEL3",
        {{"MAINTEXT", p3->MainText}, {"LABELTEXT", p3->LabelText}, {"LABEL1", p3->Label3_1}});
    QAbstractItemModel* columns = p3->TreeView3_1->model();
    columns->setHeaderData(0, Qt::Horizontal, Text("PANEL3", "COLUMN1"));
    columns->setHeaderData(1, Qt::Horizontal, Text("PANEL3", "COLUMN2"));
    SetCaptions("PANEL3", {{"BUTTON1", p3->Button3_1}});

    TextTables.NoLogText = LanguageText("VALUES", "VALUE_NOLOG", "GUI");
    LoadLogMessages();

    Panel4* p4 = panel4();
    SetCaptions("PANEL4", {{"MAINTEXT", p4->MainText},
                           {"LABELTEXT", p4->LabelText},
                           {"LABEL1", p4->Label4_1},
                           {"LABEL2", p4->Label4_2},
                           {"LABEL3", p4->Label4_3},
                           {"LABEL4", p4->Label4_4},
                           {"LABEL5", p4->Label4_5},
                           {"LABEL6", p4->Label4_6},
                           {"LABEL7", p4->Label4_7},
                           {"LABEL8", p4->Label4_8},
                           {"GROUPBOX1", p4->GroupBox4_1},
                           {"BUTTON1", p4->Button4_1},
                           {"BUTTON2", p4->Button4_2},
                           {"BUTTON3", p4->Button4_3}});
    p4->RestoreDialog.SetTexts(Text("PANEL4", "RESTORE_CAPTION"), Text("PANEL4", "RESTORE_BUTTON"));

    TextTables.NoInfoText = LanguageText("VALUES", "VALUE_NOINFO", "GUI");
    LoadActionNames();

    SetCaptions("PANEL5", {{"MAINTEXT", panel5()->MainText}, {"LABELTEXT", panel5()->LabelText}});
    Panel6* p6 = panel6();
    SetCaptions("PANEL6", {{"MAINTEXT", p6->MainText},
                           {"LABELTEXT", p6->LabelText},
                           {"LABEL2", p6->Label6_3},
                           {"LABEL3", p6->Label6_8}});
    Panel7* p7 = panel7();
    SetCaptions("PANEL7", {{"MAINTEXT", p7->MainText},
                           {"LABELTEXT", p7->LabelText},
                           {"GROUPBOX1", p7->GroupBox7_1},
                           {"GROUPBOX2", p7->GroupBox7_2},
                           {"LABEL1", p7->Label7_1},
                           {"LABEL2", p7->Label7_2},
                           {"LABEL3", p7->Label7_3},
                           {"LABEL4", p7->Label7_4},
                           {"LABEL5", p7->Label7_5},
                           {"LABEL6", p7->Label7_6},
                           {"LABEL7", p7->Label7_7},
                           {"LABEL8", p7->Label7_8},
                           {"LABEL9", p7->Label7_9},
                           {"LABEL10", p7->Label7_10},
                           {"LABEL11", p7->Label7_11},
                           {"LABEL12", p7->Label7_12},
                           {"BUTTON1", p7->Button7_1},
                           {"BUTTON2", p7->Button7_2}});
    p6->ShowVersion(Text("PANEL6", "LABEL1"));
    NameFieldsForAccessibility();
    ShowWatchStatus();
    return true;
}

// Fields carry the caption of the label or frame that names them, so a screen reader can tell
// them apart; "Path:" is named by its frame, since two fields share it.
void TGUI_Form::NameFieldsForAccessibility() {
    const auto name = [](QWidget* field, const QString& caption) {
        QString text = caption.trimmed();
        if (text.endsWith(QLatin1Char(':'))) {
            text.chop(1);
        }
        field->setAccessibleName(text);
    };
    Panel1* p1 = panel1();
    name(p1->Edit1_1, p1->GroupBox1_1->title());
    name(p1->Edit1_2, p1->GroupBox1_2->title());
    Panel2* p2 = panel2();
    name(p2->SpinEdit2_1, p2->Label2_1->text());
    name(p2->Edit2_1, p2->Label2_4->text());
    Panel3* p3 = panel3();
    name(p3->ComboBoxEx3_1, p3->Label3_1->text());
    name(p3->TreeView3_1, p3->MainText->text());
    Panel4* p4 = panel4();
    name(p4->Edit4_1, p4->Label4_1->text());
    name(p4->ComboBoxEx4_1, p4->Label4_2->text());
    name(p4->Edit4_2, p4->Label4_3->text());
    name(p4->Edit4_3, p4->Label4_4->text());
    name(p4->Edit4_4, p4->Label4_5->text());
    name(p4->Edit4_5, p4->Label4_7->text());
    name(panel5()->Memo5_1, panel5()->MainText->text());
    Panel7* p7 = panel7();
    name(p7->Edit7_1, p7->Label7_1->text());
    name(p7->Edit7_2, p7->Label7_2->text());
    name(p7->Edit7_3, p7->Label7_3->text());
    name(p7->Edit7_4, p7->Label7_4->text());
    name(p7->Edit7_5, p7->Label7_5->text());
    name(p7->SpinEdit7_1, p7->Label7_6->text());
    name(p7->SpinEdit7_2, p7->Label7_8->text());
    name(p7->SpinEdit7_3, p7->Label7_10->text());
}
