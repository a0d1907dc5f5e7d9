// The panels' controls: names, kinds, places and sizes; the size field's typing rules; the
// console's appending; the events list's columns; the header strip's texts on a dark desktop.
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextBlock>
#include <QTreeView>
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tests/ui/UiFixture.h"
#include "ui/ConsolePanel.h"
#include "ui/EventsPanel.h"
#include "ui/SpinEdit.h"

namespace {

struct Place {
    const char* name;
    const char* parent;  // the panel or group box the place is measured in
    QRect geometry;      // an empty size means: only the position is fixed
};

const std::vector<Place> kPlaces = {
    {"TopPanel1_1", "Panel1", {2, 2, 444, 63}},
    {"Image1_1", "TopPanel1_1", {7, 5, 48, 48}},
    {"MainText1_1", "TopPanel1_1", {69, 13, 0, 0}},
    {"LabelText1_1", "TopPanel1_1", {83, 28, 0, 0}},
    {"GroupBox1_1", "Panel1", {8, 72, 433, 145}},
    {"Label1_1", "GroupBox1_1", {8, 27, 0, 0}},
    {"Edit1_1", "GroupBox1_1", {48, 24, 289, 21}},
    {"Button1_1", "GroupBox1_1", {344, 24, 81, 22}},
    {"CheckBox1_1", "GroupBox1_1", {16, 56, 393, 17}},
    {"Image1_2", "GroupBox1_1", {8, 84, 20, 18}},
    {"Label1_2", "GroupBox1_1", {32, 82, 393, 55}},
    {"GroupBox1_2", "Panel1", {8, 224, 433, 113}},
    {"Label1_3", "GroupBox1_2", {8, 27, 0, 0}},
    {"Edit1_2", "GroupBox1_2", {48, 24, 289, 21}},
    {"Button1_2", "GroupBox1_2", {344, 24, 81, 22}},
    {"Image1_3", "GroupBox1_2", {8, 60, 20, 18}},
    {"Label1_4", "GroupBox1_2", {32, 58, 393, 47}},
    {"CheckBox1_2", "Panel1", {16, 340, 409, 17}},
    {"CheckBox1_3", "Panel1", {16, 362, 330, 17}},
    {"Button1_3", "Panel1", {352, 360, 81, 22}},
    {"Panel2_1", "Panel2", {2, 2, 444, 63}},
    {"GroupBox2_1", "Panel2", {8, 72, 433, 113}},
    {"Label2_1", "GroupBox2_1", {8, 27, 0, 0}},
    {"SpinEdit2_1", "GroupBox2_1", {56, 24, 121, 22}},
    {"Label2_2", "GroupBox2_1", {184, 27, 0, 0}},
    {"Image2_2", "GroupBox2_1", {8, 60, 20, 18}},
    {"Label2_3", "GroupBox2_1", {32, 58, 393, 47}},
    {"GroupBox2_2", "Panel2", {8, 192, 433, 153}},
    {"RadioButton2_1", "GroupBox2_2", {8, 24, 385, 17}},
    {"RadioButton2_2", "GroupBox2_2", {8, 42, 385, 17}},
    {"Label2_4", "GroupBox2_2", {24, 67, 0, 0}},
    {"Edit2_1", "GroupBox2_2", {96, 64, 321, 21}},
    {"Image2_3", "GroupBox2_2", {8, 100, 20, 18}},
    {"Label2_5", "GroupBox2_2", {32, 98, 393, 47}},
    {"Button2_1", "Panel2", {352, 360, 81, 22}},
    {"ComboBoxEx3_1", "Panel3", {264, 70, 177, 22}},
    {"TreeView3_1", "Panel3", {8, 98, 433, 255}},
    {"Button3_1", "Panel3", {352, 360, 81, 22}},
    {"Label4_1", "Panel4", {10, 83, 0, 0}},
    {"Edit4_1", "Panel4", {56, 80, 289, 21}},
    {"Button4_1", "Panel4", {352, 79, 81, 22}},
    {"GroupBox4_1", "Panel4", {8, 112, 433, 177}},
    {"Label4_2", "GroupBox4_1", {10, 27, 0, 0}},
    {"ComboBoxEx4_1", "GroupBox4_1", {100, 23, 321, 22}},
    {"Panel4_2", "GroupBox4_1", {14, 56, 405, 2}},
    {"Label4_3", "GroupBox4_1", {10, 75, 0, 0}},
    {"Edit4_2", "GroupBox4_1", {100, 72, 317, 21}},
    {"Label4_4", "GroupBox4_1", {10, 99, 0, 0}},
    {"Edit4_3", "GroupBox4_1", {100, 96, 317, 21}},
    {"Label4_5", "GroupBox4_1", {10, 124, 0, 0}},
    {"Edit4_4", "GroupBox4_1", {100, 120, 277, 21}},
    {"Label4_6", "GroupBox4_1", {386, 124, 0, 0}},
    {"Label4_7", "GroupBox4_1", {10, 151, 0, 0}},
    {"Edit4_5", "GroupBox4_1", {100, 148, 317, 21}},
    {"Image4_2", "Panel4", {16, 300, 20, 18}},
    {"Label4_8", "Panel4", {40, 297, 393, 56}},
    {"Button4_2", "Panel4", {264, 360, 81, 22}},
    {"Button4_3", "Panel4", {352, 360, 81, 22}},
    {"Memo5_1", "Panel5", {2, 65, 444, 326}},
    {"Image6_2", "Panel6", {8, 78, 32, 32}},
    {"Label6_1", "Panel6", {53, 78, 0, 0}},
    {"Label6_2", "Panel6", {59, 100, 0, 0}},
    {"Panel6_2", "Panel6", {46, 94, 363, 2}},
    {"Image6_3", "Panel6", {8, 142, 32, 32}},
    {"Label6_3", "Panel6", {53, 142, 0, 0}},
    {"Panel6_3", "Panel6", {46, 158, 363, 2}},
    {"Label6_4", "Panel6", {59, 164, 0, 0}},
    {"Label6_5", "Panel6", {59, 180, 0, 0}},
    {"Label6_6", "Panel6", {59, 196, 0, 0}},
    {"Label6_7", "Panel6", {59, 212, 0, 0}},
    {"Image6_4", "Panel6", {8, 246, 32, 32}},
    {"Label6_8", "Panel6", {53, 246, 0, 0}},
    {"Panel6_4", "Panel6", {46, 262, 363, 2}},
    {"Label6_9", "Panel6", {59, 268, 0, 0}},
    {"Label6_10", "Panel6", {59, 284, 0, 0}},
    {"Label6_11", "Panel6", {59, 300, 0, 0}},
    {"Image6_5", "Panel6", {184, 309, 256, 74}},
    {"Label6_12", "Panel6", {11, 372, 0, 0}},
};

}  // namespace

class Layout : public UiFixture {};

TEST_F(Layout, EveryControlStandsAtItsPlaceInsideItsPanel) {
    InstallLanguageFile();
    TGUI_Form& form = CreateForm();
    for (int n = 1; n <= TGUI_Form::kPanelCount; ++n) {
        const std::string name = "Panel" + std::to_string(n);
        EXPECT_EQ(Find<QWidget>(name.c_str())->geometry(), QRect(120, 0, 448, 393)) << name;
    }
    for (const Place& place : kPlaces) {
        QWidget* control = Find<QWidget>(place.name);
        ASSERT_NE(control, nullptr) << place.name;
        EXPECT_EQ(control->parentWidget()->objectName(), place.parent) << place.name;
        EXPECT_EQ(control->pos(), place.geometry.topLeft()) << place.name;
        if (!place.geometry.size().isEmpty()) {
            EXPECT_EQ(control->size(), place.geometry.size()) << place.name;
        }
        // Every text fits inside its panel.
        const QRect inPanel(control->mapTo(control->window(), QPoint(0, 0)), control->size());
        EXPECT_LE(inPanel.right(), 567) << place.name;
        EXPECT_LE(inPanel.bottom(), 392) << place.name;
    }
    // Label3_1 is right-aligned with its right edge at 257.
    QLabel* dayCaption = Find<QLabel>("Label3_1");
    EXPECT_EQ(dayCaption->geometry().right() + 1, 257);
    EXPECT_TRUE(dayCaption->alignment() & Qt::AlignRight);
    EXPECT_TRUE(Find<QLineEdit>("Edit1_1")->isReadOnly());
    EXPECT_TRUE(Find<QLineEdit>("Edit4_1")->isReadOnly());
    EXPECT_FALSE(Find<QLineEdit>("Edit2_1")->isReadOnly());
    EXPECT_FALSE(Find<QComboBox>("ComboBoxEx3_1")->isEditable());
    EXPECT_EQ(Find<QComboBox>("ComboBoxEx4_1")->maxVisibleItems(), 8);
    EXPECT_EQ(Find<QLabel>("Label6_9")->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(Find<QLabel>("LabelTask_1")->cursor().shape(), Qt::PointingHandCursor);
    (void)form;
}

TEST_F(Layout, StartPageRowsStandAtTheirPlaces) {
    InstallLanguageFile();
    TGUI_Form& form = CreateForm();
    const int iconTops[] = {120, 144, 170, 202, 226};
    for (int k = 0; k < 5; ++k) {
        const QPoint icon = form.ImageTask[static_cast<size_t>(k)]->mapTo(&form, QPoint(0, 0));
        const QPoint label = form.LabelTask[static_cast<size_t>(k)]->mapTo(&form, QPoint(0, 0));
        EXPECT_EQ(icon, QPoint(144, iconTops[k]));
        EXPECT_EQ(label, QPoint(168, iconTops[k] + 1));
        EXPECT_EQ(form.ImageTask[static_cast<size_t>(k)]->size(), QSize(16, 16));
    }
    EXPECT_EQ(form.LabelText_LOGO->mapTo(&form, QPoint(0, 0)), QPoint(168, 11));
    EXPECT_EQ(form.LabelTask_MAIN->mapTo(&form, QPoint(0, 0)), QPoint(140, 75));
    EXPECT_EQ(form.LabelTask_MAIN->font().pixelSize(), 27);
}

TEST_F(Layout, SizeFieldTakesDigitsAndSignsAndReadsAWholeNumberOrZero) {
    InstallLanguageFile();
    CreateForm();
    QTest::mouseClick(Find<QWidget>("OutButton1_2"), Qt::LeftButton);
    TSpinEdit* field = Find<TSpinEdit>("SpinEdit2_1");
    field->SetText("");
    field->setFocus();
    QTest::keyClicks(field, "-12a+x3");
    EXPECT_EQ(field->text(), "-12+3");
    EXPECT_EQ(field->Value(), 0);  // not a whole number

    const std::vector<std::pair<QString, int32_t>> cases = {
        {"1032", 1032},    {"-7", -7},
        {"+15", 15},       {"", 0},
        {"-", 0},          {"1.5", 0},
        {"1,5", 0},        {"2147483647", 2147483647},
        {"2147483648", 0}, {"-2147483648", INT32_MIN},
        {"007", 7}};
    for (const auto& [text, value] : cases) {
        field->SetText(text);
        EXPECT_EQ(field->Value(), value) << text.toStdString();
    }
    field->SetValue(41);
    field->stepBy(1);
    EXPECT_EQ(field->Value(), 42);
    QTest::keyClick(field, Qt::Key_Down);
    EXPECT_EQ(field->Value(), 41);
    field->SetValue(INT32_MAX);
    field->stepBy(1);
    EXPECT_EQ(field->Value(), INT32_MAX);
}

TEST_F(Layout, ConsoleAppendsAHundredThousandLinesQuicklyAndKeepsThemAll) {
    InstallLanguageFile();
    TGUI_Form& form = CreateForm();
    QTest::mouseClick(Find<QWidget>("OutButton1_5"), Qt::LeftButton);
    QPlainTextEdit* memo = Find<QPlainTextEdit>("Memo5_1");
    EXPECT_EQ(memo->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_FALSE(memo->isReadOnly());
    EXPECT_EQ(memo->frameShape(), QFrame::NoFrame);

    form.panel5()->AppendLine("");  // an empty first line still counts as a line
    // Appending must not grow with what is already there: the last ten thousand lines take about
    // as long as the first ten thousand (rewriting the text each time would make them ~19 times
    // slower).
    constexpr int kLines = 100000;
    constexpr int kChunk = 10000;
    QElapsedTimer timer;
    qint64 firstChunk = 0;
    timer.start();
    for (int i = 1; i < kLines; ++i) {
        if (i == kChunk) {
            firstChunk = timer.restart();
        } else if (i == kLines - kChunk) {
            timer.restart();
        }
        form.panel5()->AppendLine(QStringLiteral("Modified:  > folder/file%1.txt").arg(i));
    }
    const qint64 lastChunk = timer.elapsed();
    QApplication::processEvents();
    EXPECT_LT(lastChunk, 4 * std::max<qint64>(firstChunk, 50))
        << "first " << firstChunk << " ms, last " << lastChunk << " ms";
    ASSERT_EQ(memo->document()->blockCount(), kLines);
    EXPECT_EQ(memo->document()->firstBlock().text(), "");
    EXPECT_EQ(memo->document()->findBlockByNumber(1).text(), "Modified:  > folder/file1.txt");
    EXPECT_EQ(memo->document()->lastBlock().text(), "Modified:  > folder/file99999.txt");
}

TEST_F(Layout, EventsListHasTwoColumnsAndSelectsWholeRows) {
    InstallLanguageFile();
    TGUI_Form& form = CreateForm();
    QTreeView* tree = Find<QTreeView>("TreeView3_1");
    EXPECT_FALSE(tree->isHeaderHidden());
    EXPECT_EQ(tree->model()->columnCount(), 2);
    EXPECT_EQ(tree->header()->sectionSize(0), 80);
    EXPECT_EQ(tree->header()->sectionSize(1), 330);
    EXPECT_EQ(tree->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_FALSE(tree->rootIsDecorated());

    TLogRowModel* rows = form.panel3()->Rows();
    std::filesystem::create_directories(LogsDir);
    std::ofstream(DayLogPath("layout"), std::ios::binary)
        << "9:05:07;2;3;\r\n9:06:00;12;7;/w/a;b.txt\r\n";
    ASSERT_TRUE(form.panel3()->ShowLOG("layout"));
    ASSERT_EQ(rows->rowCount(), 2);
    EXPECT_EQ(rows->index(1, 0).data().toString(), "9:06:00");
    EXPECT_TRUE(rows->index(1, 1).data().toString().endsWith("/w/a;b.txt"));
    EXPECT_FALSE(rows->index(1, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_FALSE(rows->index(1, 1).data(Qt::DecorationRole).isValid());
    rows->Clear();
    EXPECT_EQ(rows->rowCount(), 0);
}

TEST_F(Layout, PanelTitlesStayReadableOnTheirWhiteStripUnderADarkDesktop) {
    InstallLanguageFile();
    const QPalette saved = QApplication::palette();
    QPalette dark = saved;
    dark.setColor(QPalette::Window, QColor(0x30, 0x30, 0x30));
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    QApplication::setPalette(dark);
    TGUI_Form& form = CreateForm();
    form.LoadPanel(1);
    QApplication::processEvents();
    for (const char* name : {"MainText1_1", "LabelText1_1"}) {
        QLabel* label = Find<QLabel>(name);
        const QImage strip = label->parentWidget()->grab(label->geometry()).toImage();
        int darkest = 255;
        for (int x = 0; x < strip.width(); ++x) {
            for (int y = 0; y < strip.height(); ++y) {
                darkest = std::min(darkest, qGray(strip.pixel(x, y)));
            }
        }
        EXPECT_LT(darkest, 100) << name << ": its text is dark on the white strip";
    }
    QApplication::setPalette(saved);
}
