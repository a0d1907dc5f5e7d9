// The real program: started from a copy of its folder, watching a temporary folder, ended by
// SIGTERM as a user's close would end it.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "core/Paths.h"
#include "lang/Language.h"
#include "store/DayLog.h"
#include "tests/ui/UiFixture.h"

namespace fs = std::filesystem;

namespace {

std::vector<int> DayLogCodes(const fs::path& logs) {
    std::vector<int> codes;
    for (const std::string& path : ListFiles(logs.string(), "*.log")) {
        std::vector<TLogLine> records;
        ReadDayLog(path, records);
        for (const TLogLine& record : records) {
            codes.push_back(record.Code);
        }
    }
    return codes;
}

}  // namespace

class EndToEnd : public UiFixture {
  protected:
    fs::path App;

    // A copy of the staged program folder with its own settings.
    void StageProgram(const std::string& source) {
        App = Root / "app";
        fs::create_directories(App / "Settings");
        fs::copy_file(fs::path(OSTREVAN_APP_DIR) / "ostrevan", App / "ostrevan");
        fs::copy(fs::path(OSTREVAN_APP_DIR) / "Language", App / "Language",
                 fs::copy_options::recursive);
        std::ofstream settings(App / "Settings/Settings.ini", std::ios::binary);
        settings << "[GENERAL]\r\nSOURCE=" << source
                 << "\r\nSUBFOLDERS=TRUE\r\nDESTINATION=" << (Root / "store").string()
                 << "\r\nSKIPLIKETASKS=FALSE\r\n[FILTERS]\r\nBYSIZE=\r\nBYEXT=\r\nBYEXTMODE=2\r\n";
    }

    // Starts the staged program; with a wrapper, the program is the wrapper's last argument and
    // replaces it (exec), so that signals reach the program itself.
    void Start(QProcess& program, QStringList wrapper = {}) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        program.setProcessEnvironment(environment);
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        wrapper << QString::fromStdString((App / "ostrevan").string());
        const QString first = wrapper.takeFirst();
        program.start(first, wrapper);
        ASSERT_TRUE(program.waitForStarted(10000));
    }
};

TEST_F(EndToEnd, SnapshotsADocumentThenSigtermClosesTheWindowAndEndsTheProgram) {
    fs::create_directories(Root / "watched");
    StageProgram((Root / "watched").string());
    QProcess program;
    Start(program);
    const fs::path logs = App / "Logs";
    EXPECT_TRUE(WaitFor([&] { return DayLogCodes(logs).size() >= 2; }, std::chrono::seconds(20)));

    // Written outside and moved in, so the document arrives as one addition.
    std::ofstream(Root / "letter.txt", std::ios::binary) << "Dear reader";
    fs::rename(Root / "letter.txt", Root / "watched/letter.txt");
    const fs::path copy = Root / "store/letter.txt/SnapShot.1";
    EXPECT_TRUE(WaitFor(
        [&] {
            std::ifstream in(copy, std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(in)), {});
            return bytes == "Dear reader";
        },
        std::chrono::seconds(20)));
    EXPECT_TRUE(WaitFor([&] { return DayLogCodes(logs).size() >= 3; }, std::chrono::seconds(20)));

    ASSERT_EQ(::kill(static_cast<pid_t>(program.processId()), SIGTERM), 0);
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_EQ(DayLogCodes(logs), std::vector<int>({1, 2, 12, 3, 13}));
}

TEST_F(EndToEnd, SigintWithoutAWatchedFolderWritesStartAndCloseOnly) {
    StageProgram((Root / "missing").string());
    QProcess program;
    Start(program);
    const fs::path logs = App / "Logs";
    EXPECT_TRUE(WaitFor([&] { return !DayLogCodes(logs).empty(); }, std::chrono::seconds(20)));
    ASSERT_EQ(::kill(static_cast<pid_t>(program.processId()), SIGINT), 0);
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_EQ(DayLogCodes(logs), std::vector<int>({1, 3, 13}));
}

TEST_F(EndToEnd, SigtermWhileTheStartUpFailureMessageIsOpenEndsTheProgramWithinASecond) {
    fs::create_directories(Root / "watched");
    StageProgram((Root / "watched").string());
    // In a user namespace of its own that allows no inotify instance, the program cannot watch
    // the folder at all: it shows the failure message before its event loop runs.
    const QString inNamespace =
        "echo 0 > /proc/sys/user/max_inotify_instances || exit 77; exec \"$0\"";
    QProcess program;
    Start(program, {"unshare", "--user", "--map-root-user", "sh", "-c", inNamespace});
    const fs::path logs = App / "Logs";
    const bool started = WaitFor(
        [&] { return !DayLogCodes(logs).empty() || program.state() == QProcess::NotRunning; },
        std::chrono::seconds(20));
    if (program.state() == QProcess::NotRunning && program.exitCode() != 0) {
        GTEST_SKIP() << "no user namespace to lower the limit in";
    }
    ASSERT_TRUE(started);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the message box is open
    ASSERT_EQ(program.state(), QProcess::Running) << "the failure message did not wait";

    ASSERT_EQ(::kill(static_cast<pid_t>(program.processId()), SIGTERM), 0);
    const auto signalled = std::chrono::steady_clock::now();
    const bool ended = program.waitForFinished(1000);
    EXPECT_TRUE(ended) << "still running 1 s after SIGTERM";
    if (!ended) {
        program.kill();
        program.waitForFinished(5000);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(1));
    EXPECT_EQ(DayLogCodes(logs), std::vector<int>({1, 3, 13}));
}

TEST_F(EndToEnd, ASecondStartEndsWithinTwoSecondsAndTheFirstKeepsWatching) {
    fs::create_directories(Root / "watched");
    StageProgram((Root / "watched").string());
    QProcess first;
    Start(first);
    const fs::path logs = App / "Logs";
    ASSERT_TRUE(WaitFor([&] { return DayLogCodes(logs).size() >= 2; }, std::chrono::seconds(20)));

    QProcess second;
    QElapsedTimer elapsed;
    elapsed.start();
    Start(second);
    ASSERT_TRUE(second.waitForFinished(2000));
    EXPECT_LT(elapsed.elapsed(), 2000);
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(DayLogCodes(logs), std::vector<int>({1, 2}));  // the second wrote nothing

    std::ofstream(Root / "note.txt", std::ios::binary) << "still watched";
    fs::rename(Root / "note.txt", Root / "watched/note.txt");
    EXPECT_TRUE(WaitFor([&] { return fs::exists(Root / "store/note.txt/SnapShot.1"); },
                        std::chrono::seconds(20)));
    ASSERT_EQ(::kill(static_cast<pid_t>(first.processId()), SIGTERM), 0);
    ASSERT_TRUE(first.waitForFinished(20000));
    EXPECT_EQ(DayLogCodes(logs), std::vector<int>({1, 2, 12, 3, 13}));
}

TEST_F(EndToEnd, ALockLeftByAKilledProgramDoesNotBlockTheNextStart) {
    fs::create_directories(Root / "watched");
    StageProgram((Root / "watched").string());
    const fs::path logs = App / "Logs";
    QProcess crashed;
    Start(crashed);
    ASSERT_TRUE(WaitFor([&] { return DayLogCodes(logs).size() >= 2; }, std::chrono::seconds(20)));
    ASSERT_EQ(::kill(static_cast<pid_t>(crashed.processId()), SIGKILL), 0);
    ASSERT_TRUE(crashed.waitForFinished(20000));
    EXPECT_TRUE(fs::exists(App / "Settings/Settings.lock"));

    QProcess next;
    Start(next);
    EXPECT_TRUE(WaitFor([&] { return DayLogCodes(logs).size() >= 4; }, std::chrono::seconds(20)));
    EXPECT_EQ(next.state(), QProcess::Running);
    ASSERT_EQ(::kill(static_cast<pid_t>(next.processId()), SIGTERM), 0);
    ASSERT_TRUE(next.waitForFinished(20000));
    EXPECT_EQ(DayLogCodes(logs), std::vector<int>({1, 2, 1, 2, 3, 13}));
}

namespace {

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string BurstContent(int i) {
    return "burst file " + std::to_string(i) + std::string(4000, static_cast<char>('a' + i % 26));
}

// The DATES keys of an index, read as the program writes them ("<n>=<date>;<time>;<code>").
std::vector<int> IndexedNumbers(const fs::path& index) {
    std::vector<int> numbers;
    std::istringstream lines(ReadAll(index));
    bool inDates = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("[DATES]", 0) == 0) {
            inDates = true;
        } else if (inDates && line.find('=') != std::string::npos) {
            numbers.push_back(std::stoi(line.substr(0, line.find('='))));
        }
    }
    return numbers;
}

}  // namespace

// Closing in the middle of a burst: no new batch is taken in, queued snapshots are dropped, the
// copy under way is abandoned without a trace, and the program ends at once with the two closing
// records last. Whatever the store holds is complete.
TEST_F(EndToEnd, CloseDuringABurstIsPromptLeavesACompleteStoreAndLogsTheCloseLast) {
    constexpr int kFiles = 3000;
    fs::create_directories(Root / "watched");
    StageProgram((Root / "watched").string());
    QProcess program;
    Start(program);
    const fs::path logs = App / "Logs";
    ASSERT_TRUE(WaitFor([&] { return DayLogCodes(logs).size() >= 2; }, std::chrono::seconds(20)));

    // The burst is written on its own thread, which goes on while the program closes.
    std::thread writer([&] {
        for (int i = 0; i < kFiles; ++i) {
            std::ofstream(Root / "watched" / ("f" + std::to_string(i) + ".txt"), std::ios::binary)
                << BurstContent(i);
        }
    });
    const auto copies = [&] {
        const std::vector<int> codes = DayLogCodes(logs);
        return std::count(codes.begin(), codes.end(), 12);
    };
    // The store thread is at work once the first per-file folder is there (its copies become
    // visible, and are logged, only when their batch is committed).
    const bool storing = WaitFor(
        [&] {
            std::error_code ec;
            for (fs::directory_iterator it(Root / "store", ec), end; !ec && it != end;
                 it.increment(ec)) {
                if (it->is_directory(ec)) {
                    return true;
                }
            }
            return false;
        },
        std::chrono::seconds(20));
    if (!storing) {
        writer.join();
        FAIL() << "no snapshot was begun";
    }

    const auto closing = std::chrono::steady_clock::now();
    ASSERT_EQ(::kill(static_cast<pid_t>(program.processId()), SIGTERM), 0);
    const bool finished = program.waitForFinished(20000);
    const auto took = std::chrono::steady_clock::now() - closing;
    writer.join();
    ASSERT_TRUE(finished);
    EXPECT_LT(took, std::chrono::seconds(1))
        << std::chrono::duration_cast<std::chrono::milliseconds>(took).count() << " ms";
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_LT(copies(), kFiles) << "the burst was still being snapshotted at the close";

    const std::vector<int> codes = DayLogCodes(logs);
    ASSERT_GE(codes.size(), 2u);
    EXPECT_EQ(codes[codes.size() - 2], 3);
    EXPECT_EQ(codes.back(), 13);
    int entries = 0;
    for (const auto& entry : fs::recursive_directory_iterator(Root / "store")) {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(name.rfind(".ostrevan-", 0), std::string::npos) << "left over: " << name;
        if (name != "snapshot.ini") {
            continue;
        }
        const std::string file = entry.path().parent_path().filename().string();
        const int i = std::stoi(file.substr(1));
        for (const int n : IndexedNumbers(entry.path())) {
            ++entries;
            EXPECT_EQ(ReadAll(entry.path().parent_path() / ("SnapShot." + std::to_string(n))),
                      BurstContent(i))
                << file << " snapshot " << n;
        }
    }
    EXPECT_EQ(entries, copies()) << "every logged copy is an index entry, and no other";
}

namespace {

std::string VersionContent(int file, int version) {
    return "file " + std::to_string(file) + " version " + std::to_string(version) +
           std::string(static_cast<size_t>(3000 + 997 * version), static_cast<char>('a' + version));
}

// Every index entry of the store names a copy whose bytes are one of the versions written (the
// temporary files of a killed batch may still be there). Returns the number of entries checked.
int ExpectEveryEntryNamesAWrittenVersion(const fs::path& store, int versions) {
    int entries = 0;
    if (!fs::exists(store)) {
        return 0;
    }
    for (const auto& entry : fs::recursive_directory_iterator(store)) {
        const std::string name = entry.path().filename().string();
        if (name != "snapshot.ini") {
            continue;
        }
        const int file = std::stoi(entry.path().parent_path().filename().string().substr(1));
        for (const int n : IndexedNumbers(entry.path())) {
            ++entries;
            const std::string copy =
                ReadAll(entry.path().parent_path() / ("SnapShot." + std::to_string(n)));
            bool known = false;
            for (int v = 0; v < versions && !known; ++v) {
                known = copy == VersionContent(file, v);
            }
            EXPECT_TRUE(known) << entry.path() << " snapshot " << n << " holds " << copy.size()
                               << " unknown bytes";
        }
    }
    return entries;
}

}  // namespace

// The program killed at random moments of a burst of saves, 30 times: after each kill every index
// entry names a complete copy of a version that was written, and the next start clears what the
// killed batch left behind.
TEST_F(EndToEnd, KilledDuringBurstsTheStoreHoldsOnlyCompleteVersions) {
    constexpr int kRounds = 30;
    constexpr int kFiles = 40;
    constexpr int kVersions = 3;
    fs::create_directories(Root / "watched");
    StageProgram((Root / "watched").string());
    const fs::path logs = App / "Logs";
    std::mt19937 random(20261207);
    int checked = 0;
    for (int round = 0; round <= kRounds; ++round) {
        QProcess program;
        Start(program);
        const size_t started = DayLogCodes(logs).size();
        ASSERT_TRUE(WaitFor([&] { return DayLogCodes(logs).size() >= started + 2; },
                            std::chrono::seconds(20)));
        // The start's clean-up has run once the store holds no temporary file.
        EXPECT_TRUE(WaitFor(
            [&] {
                if (!fs::exists(Root / "store")) {
                    return true;
                }
                for (const auto& entry : fs::recursive_directory_iterator(Root / "store")) {
                    if (entry.path().filename().string().rfind(".ostrevan-", 0) == 0) {
                        return false;
                    }
                }
                return true;
            },
            std::chrono::seconds(10)))
            << "round " << round;
        if (round == kRounds) {
            ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
            ASSERT_TRUE(program.waitForFinished(10000));
            break;
        }
        std::thread writer([&] {
            for (int v = 0; v < kVersions; ++v) {
                for (int i = 0; i < kFiles; ++i) {
                    std::ofstream(Root / "watched" / ("f" + std::to_string(i)), std::ios::binary)
                        << VersionContent(i, v);
                }
            }
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 150));
        ::kill(static_cast<pid_t>(program.processId()), SIGKILL);
        writer.join();
        ASSERT_TRUE(program.waitForFinished(10000));
        checked += ExpectEveryEntryNamesAWrittenVersion(Root / "store", kVersions) > 0;
        if (HasFailure()) {
            FAIL() << "round " << round;
        }
    }
    EXPECT_GT(checked, kRounds / 3) << "the kills came after some snapshots were taken";
}

namespace {

// The newest snapshot of watched file name in store (its index's NO); "" while there is none.
std::string NewestSnapshotOf(const fs::path& store, const std::string& name) {
    const fs::path folder = store / name;
    const std::string no = ReadIniValue("GENERAL", "NO", (folder / "snapshot.ini").string());
    if (no.empty() || no.find_first_not_of("0123456789") != std::string::npos) {
        return {};
    }
    return ReadAll(folder / ("SnapShot." + no));
}

std::vector<TLogLine> DayLogLines(const fs::path& logs) {
    std::vector<TLogLine> all;
    for (const std::string& path : ListFiles(logs.string(), "*.log")) {
        std::vector<TLogLine> lines;
        ReadDayLog(path, lines);
        all.insert(all.end(), lines.begin(), lines.end());
    }
    return all;
}

}  // namespace

// What changes while the program is closed is snapshotted at its next start and told once; a
// start after which nothing had changed takes no snapshot and tells nothing.
TEST_F(EndToEnd, ChangesMadeWhileClosedAreCaughtUpAtTheNextStart) {
    fs::create_directories(Root / "watched");
    std::ofstream(Root / "watched/report.txt", std::ios::binary) << "before";
    StageProgram((Root / "watched").string());
    const fs::path logs = App / "Logs";
    const auto runUntilClosed = [&](const std::function<bool()>& done) {
        QProcess program;
        Start(program);
        EXPECT_TRUE(WaitFor(done, std::chrono::seconds(20)));
        ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
        EXPECT_TRUE(program.waitForFinished(10000));
    };
    const auto codeCount = [&](int code) {
        const std::vector<int> codes = DayLogCodes(logs);
        return std::count(codes.begin(), codes.end(), code);
    };

    // First run: one save, then a clean close notes that watching was complete.
    bool saved = false;
    runUntilClosed([&] {
        if (!saved && codeCount(2) == 1) {
            std::ofstream(Root / "watched/report.txt", std::ios::binary) << "saved while watched";
            saved = true;
        }
        return NewestSnapshotOf(Root / "store", "report.txt") == "saved while watched";
    });
    ASSERT_TRUE(fs::exists(Root / "store/.ostrevan.watchstate"));

    // Closed: the document changes and a new file appears.
    std::ofstream(Root / "watched/report.txt", std::ios::binary) << "changed while closed";
    std::ofstream(Root / "watched/new.txt", std::ios::binary) << "made while closed";
    const auto started = std::chrono::steady_clock::now();
    runUntilClosed([&] {
        return NewestSnapshotOf(Root / "store", "report.txt") == "changed while closed" &&
               NewestSnapshotOf(Root / "store", "new.txt") == "made while closed" &&
               codeCount(20) == 1;
    });
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(8));
    for (const TLogLine& line : DayLogLines(logs)) {
        if (line.Code == 20) {
            EXPECT_EQ(line.FileText, "2") << "two files changed while closed";
        }
    }

    // Nothing changed while closed: no snapshot, no catch-up line.
    const long copiesBefore = codeCount(12);
    runUntilClosed([&] { return codeCount(2) == 3; });
    std::this_thread::sleep_for(std::chrono::seconds(1));
    EXPECT_EQ(codeCount(12), copiesBefore);
    EXPECT_EQ(codeCount(20), 1);
}

// Killed in the middle of a burst: at the next start every file's newest snapshot is brought to
// its content, whatever the killed run left undone.
TEST_F(EndToEnd, AfterAKillDuringABurstTheNextStartBringsEveryFileUpToDate) {
    constexpr int kFiles = 300;
    fs::create_directories(Root / "watched");
    StageProgram((Root / "watched").string());
    const fs::path logs = App / "Logs";
    {
        QProcess program;
        Start(program);
        ASSERT_TRUE(WaitFor([&] { return fs::exists(Root / "store/.ostrevan.watchstate"); },
                            std::chrono::seconds(20)));
        for (int v = 0; v < 2; ++v) {
            for (int i = 0; i < kFiles; ++i) {
                std::ofstream(Root / "watched" / ("f" + std::to_string(i)), std::ios::binary)
                    << VersionContent(i, v);
            }
        }
        ::kill(static_cast<pid_t>(program.processId()), SIGKILL);
        ASSERT_TRUE(program.waitForFinished(10000));
    }
    QProcess program;
    Start(program);
    const auto upToDate = [&] {
        for (int i = 0; i < kFiles; ++i) {
            if (NewestSnapshotOf(Root / "store", "f" + std::to_string(i)) != VersionContent(i, 1)) {
                return false;
            }
        }
        return true;
    };
    EXPECT_TRUE(WaitFor(upToDate, std::chrono::seconds(30)));
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    EXPECT_TRUE(program.waitForFinished(10000));
}
