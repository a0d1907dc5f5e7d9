// Event views under load, in a temporary program folder on the offscreen platform:
// - a day of 100,000 records opened in the events panel, beside reading the same file alone
//   (the list's own share) and a day of 1,000 records (how opening grows with the day);
// - 100,000 console lines appended while the console is hidden, beside the same lines written one
//   edit each, and a thousand lines that arrive one per turn of the event loop into an empty
//   console and into one that holds 100,000 lines (appending must not slow down as it fills).
#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>
#include <QToolButton>
#include <QTreeView>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/Paths.h"
#include "platform/DateTimeText.h"
#include "store/DayLog.h"
#include "ui/ConsolePanel.h"
#include "ui/EventsPanel.h"
#include "ui/MainWindow.h"

namespace fs = std::filesystem;

namespace {

constexpr int kBigDay = 100000;
constexpr int kSmallDay = 1000;
constexpr int kConsoleLines = 100000;
constexpr int kConsoleSample = 1000;
constexpr int kUnbatchedLines = 10000;  // line by line is too slow for the full count

void WriteLanguageFile(const fs::path& program) {
    std::ofstream out(program / "Language/GUI.ini", std::ios::binary);
    out << "[PANEL3]\r\nCOLUMN1=Time\r\nCOLUMN2=Event\r\n"
           "[VALUES]\r\nVALUE_NOLOG=No log yet\r\nVALUES_LOGS_NO=13\r\n";
    for (int n = 1; n <= 13; ++n) {
        out << "VALUES_LOGS_" << n << "=Event " << n << ": $FILE$\r\n";
    }
    out << "[OPERATIONS]\r\n1=Added\r\n2=Removed\r\n3=Modified\r\n4=Renamed\r\n";
}

// A day's file of `records` lines, mostly copies with a path, some exceptions and starts.
void WriteDay(const std::string& day, int records) {
    std::string content;
    content.reserve(static_cast<size_t>(records) * 64);
    static const int kCodes[] = {12, 12, 12, 5, 6, 2, 3};
    static const int kImages[] = {7, 7, 7, 4, 4, 3, 4};
    for (int i = 0; i < records; ++i) {
        const int kind = i % 7;
        content += std::to_string(8 + i / 3600 % 12) + ":" + std::to_string(i / 60 % 60) + ":" +
                   std::to_string(i % 60) + ";" + std::to_string(kCodes[kind]) + ";" +
                   std::to_string(kImages[kind]) + ";/home/user/Documents/project/file" +
                   std::to_string(i) + ".odt\r\n";
    }
    std::ofstream(DayLogPath(day), std::ios::binary) << content;
}

// Lets the window finish what the last action queued, then paints the list, so a figure covers
// laying out and drawing the rows, not only filling the model.
void Settle(QTreeView* tree) {
    QApplication::processEvents();
    tree->viewport()->repaint();
}

double Ms(const QElapsedTimer& timer) {
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

// Opens the events panel on the only day in the Logs folder; milliseconds until it is painted.
double OpenPanelOnDay(TGUI_Form& form, int records) {
    form.UnLoadPanels();
    fs::remove_all(LogsDir);
    fs::create_directories(LogsDir);
    WriteDay("day", records);
    QTreeView* tree = form.panel3()->TreeView3_1;
    Settle(tree);
    QElapsedTimer timer;
    timer.start();
    form.OutCommandClick(form.OutButton1_3);
    Settle(tree);
    const double ms = Ms(timer);
    if (tree->model()->rowCount() != records) {
        std::fprintf(stderr, "expected %d rows, found %d\n", records, tree->model()->rowCount());
        std::exit(1);
    }
    return ms;
}

void BenchEventsPanel(TGUI_Form& form) {
    const double small = OpenPanelOnDay(form, kSmallDay);
    const double big = OpenPanelOnDay(form, kBigDay);

    QElapsedTimer timer;
    timer.start();
    TDayLog records;
    records.Open(DayLogPath("day"));
    const double readAlone = Ms(timer);

    QTreeView* tree = form.panel3()->TreeView3_1;
    timer.restart();
    form.panel3()->ComboBoxEx3_1Select();
    Settle(tree);
    const double chooseAgain = Ms(timer);

    timer.restart();
    tree->verticalScrollBar()->setValue(tree->verticalScrollBar()->maximum());
    Settle(tree);
    const double scrollToEnd = Ms(timer);

    std::printf("events panel, day of %d records opened:   %8.1f ms\n", kBigDay, big);
    std::printf("  the same day chosen again:                %8.1f ms\n", chooseAgain);
    std::printf("  the file read alone (TDayLog::Open):      %8.1f ms  (list's share: %.2fx)\n",
                readAlone, big / readAlone);
    std::printf("  day of %d records opened:               %8.1f ms  (%dx records: %.1fx time)\n",
                kSmallDay, small, kBigDay / kSmallDay, big / small);
    std::printf("  scrolled to the last record and painted:  %8.1f ms\n", scrollToEnd);
}

QString ConsoleLine(int i) {
    return QStringLiteral("Modified: folder/file%1.txt > folder/file%1.txt").arg(i);
}

// Milliseconds for `lines` lines that each arrive in a turn of the event loop of their own.
double AppendTurnByTurn(Panel5* console, int lines) {
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < lines; ++i) {
        console->AppendLine(ConsoleLine(i));
        QApplication::processEvents();
    }
    return Ms(timer);
}

// The same lines written one edit each into a text area like the console's, on a hidden panel:
// what appending costs without taking a turn's lines together.
double AppendEditByEdit(int lines) {
    QWidget panel;
    panel.resize(448, 393);
    auto* memo = new QPlainTextEdit(&panel);
    memo->setGeometry(2, 65, 444, 326);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo->setUndoRedoEnabled(false);
    QElapsedTimer timer;
    timer.start();
    QTextCursor cursor(memo->document());
    for (int i = 0; i < lines; ++i) {
        cursor.movePosition(QTextCursor::End);
        if (i > 0) {
            cursor.insertBlock();
        }
        cursor.insertText(ConsoleLine(i));
    }
    QApplication::processEvents();
    return Ms(timer);
}

void BenchConsole(TGUI_Form& form) {
    form.UnLoadPanels();  // lines arrive while the console is hidden
    Panel5* console = form.panel5();
    const double turnsEmpty = AppendTurnByTurn(console, kConsoleSample);

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kConsoleLines; ++i) {
        console->AppendLine(ConsoleLine(i));
    }
    QApplication::processEvents();
    const double all = Ms(timer);

    const double turnsFull = AppendTurnByTurn(console, kConsoleSample);
    const double editByEdit = AppendEditByEdit(kUnbatchedLines);

    form.OutCommandClick(form.OutButton1_5);
    timer.restart();
    console->Memo5_1->viewport()->repaint();
    const double paint = Ms(timer);
    const int expected = kConsoleLines + 2 * kConsoleSample;
    if (console->Memo5_1->document()->blockCount() != expected) {
        std::fprintf(stderr, "expected %d console lines\n", expected);
        std::exit(1);
    }
    std::printf("console, %d lines appended while hidden:  %8.1f ms\n", kConsoleLines, all);
    std::printf(
        "  %d of them one edit each, unbatched:  %8.1f ms  (%.1fx the time for a "
        "tenth of the lines)\n",
        kUnbatchedLines, editByEdit, editByEdit / all);
    std::printf("  %d lines one per turn, console empty:    %8.1f ms\n", kConsoleSample,
                turnsEmpty);
    std::printf("  %d lines one per turn, %d held:    %8.1f ms  (%.2fx)\n", kConsoleSample,
                kConsoleLines, turnsFull, turnsFull / turnsEmpty);
    std::printf("  console opened and painted:               %8.1f ms\n", paint);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InitRegionalFormats();

    std::string pattern = (fs::temp_directory_path() / "ostrevan-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path root = pattern;
    const fs::path program = root / "program";
    fs::create_directories(program / "Language");
    fs::create_directories(program / "Settings");
    InitPaths(program.string());
    WriteLanguageFile(program);

    {
        TGUI_Form form;
        form.show();
        QApplication::processEvents();
        BenchEventsPanel(form);
        BenchConsole(form);
    }
    std::error_code ignored;
    fs::remove_all(root, ignored);
    return 0;
}
