#pragma once
// Shared set-up of the window tests: a temporary program folder with its own language file,
// InitPaths pointed at it, and a window whose page opener records addresses.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QUrl>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "core/Paths.h"
#include "core/RunSettings.h"
#include "core/SharedState.h"
#include "lang/Language.h"
#include "store/DayLog.h"
#include "store/StoreThread.h"
#include "ui/Application.h"
#include "ui/MainWindow.h"
#include "ui/TextTables.h"
#include "watch/Watcher.h"

class UiFixture : public ::testing::Test {
  protected:
    std::filesystem::path Root;
    std::filesystem::path Program;
    std::vector<QUrl> Opened;
    std::unique_ptr<TGUI_Form> Form;

    void SetUp() override {
        namespace fs = std::filesystem;
        std::string pattern = (fs::temp_directory_path() / "ostrevan-ui-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        Root = pattern;
        Program = Root / "program";
        fs::create_directories(Program / "Language");
        fs::create_directories(Program / "Settings");
        InitPaths(Program.string());
        RunSettings = TRunSettings{};
        TextTables = TTextTables{};
        ActionNames = {};
        StartStoreThread();
    }

    void TearDown() override {
        EndWatchingQuietly();
        StopStoreThread();
        DisconnectWindowHooks();
        Form.reset();
        std::error_code error;
        std::filesystem::remove_all(Root, error);
    }

    // The language file shipped with the program.
    void InstallLanguageFile() {
        std::filesystem::copy_file(
            std::filesystem::path(OSTREVAN_SOURCE_DIR) / "install/Language/GUI.ini",
            Program / "Language/GUI.ini", std::filesystem::copy_options::overwrite_existing);
    }

    // A language file of the given lines (written with CR LF).
    void WriteLanguageFile(const std::vector<std::string>& lines) {
        std::ofstream out(Program / "Language/GUI.ini", std::ios::binary);
        for (const std::string& line : lines) {
            out << line << "\r\n";
        }
    }

    TGUI_Form& CreateForm(bool show = true) {
        Form = std::make_unique<TGUI_Form>();
        Form->SetPageOpener([this](const QUrl& url) {
            Opened.push_back(url);
            return true;
        });
        if (show) {
            Form->move(0, 0);  // wholly on the offscreen screen, so pointer moves reach it
            Form->show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
        }
        return *Form;
    }

    template <class T>
    T* Find(const char* name) {
        T* control = Form->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(control, nullptr) << name;
        return control;
    }

    // Every record of every day log of the program folder, in file order.
    std::vector<TLogRecord> LogRecords() const {
        std::vector<TLogRecord> records;
        for (const std::string& path : ListFiles(LogsDir, "*.log")) {
            std::vector<TLogRecord> day;
            ReadDayLog(path, day);
            records.insert(records.end(), day.begin(), day.end());
        }
        return records;
    }

    std::vector<int> LogCodes() const {
        std::vector<int> codes;
        for (const TLogRecord& record : LogRecords()) {
            codes.push_back(record.Code);
        }
        return codes;
    }

    QString HelpUrl(const char* page) const {
        return QUrl::fromLocalFile(QString::fromStdString((Program / "Language/HELP").string()) +
                                   "/" + page)
            .toString();
    }
};

// Processes events until the condition holds or the timeout passes; true when it held.
template <class Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
