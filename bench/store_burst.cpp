// Side by side in one run: how long the real watcher and store need until every snapshot of
// (a) a burst of 10,000 small files and (b) one 1 GB file is complete, as a ratio to cp of the
// same data on the same disk, and the program's peak memory.
//
//   build/bin/store_burst [folder on the disk to measure, default /tmp] [file count] [MB]
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "core/Paths.h"
#include "core/RunSettings.h"
#include "lang/Language.h"
#include "store/FileOperation.h"
#include "watch/ChangeHandling.h"
#include "watch/Handover.h"
#include "watch/Watcher.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

constexpr auto kPhaseLimit = 240s;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

long PeakMemoryMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// Content of small file i: 1 to 4 KB, different for every file.
std::string SmallContent(int i) {
    std::string text(1024 + (i * 37) % 3072, '\0');
    for (size_t k = 0; k < text.size(); ++k) {
        text[k] = static_cast<char>('a' + (i + k) % 26);
    }
    return text;
}

std::string SmallName(int i) {
    return "f" + std::to_string(i) + ".txt";
}

void WriteSmallFiles(const fs::path& folder, int count) {
    for (int i = 0; i < count; ++i) {
        std::ofstream(folder / SmallName(i), std::ios::binary) << SmallContent(i);
    }
}

// Writes megabytes MB of a repeating pattern in 1 MB pieces.
void WriteLargeFile(const fs::path& path, int megabytes) {
    std::vector<char> piece(1 << 20);
    for (size_t k = 0; k < piece.size(); ++k) {
        piece[k] = static_cast<char>(k * 131 + k / 4093);
    }
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    for (int m = 0; m < megabytes && fd >= 0; ++m) {
        if (write(fd, piece.data(), piece.size()) != static_cast<ssize_t>(piece.size())) {
            break;
        }
    }
    close(fd);
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Path of the newest snapshot of a stored name ("" while it has none): the index's NO.
fs::path NewestCopy(const fs::path& storeFolder) {
    const std::string no = ReadIniValue("GENERAL", "NO", (storeFolder / "snapshot.ini").string());
    if (no.empty() || no.find_first_not_of("0123456789") != std::string::npos) {
        return {};
    }
    return storeFolder / ("SnapShot." + no);
}

// Times cp on data that was written beforehand and flushed to disk.
double TimeCopyCommand(const std::string& command) {
    sync();
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
    }
    return SecondsSince(start);
}

// Runs the writer on its own thread while this thread runs hand-overs, as the window's event
// loop does, until complete() holds. Returns the seconds until then (negative on timeout) and
// the writer's own seconds.
struct TRunTimes {
    double Complete = -1;
    double Writing = 0;
};
TRunTimes RunWatched(const std::function<void()>& writer, const std::function<bool()>& complete) {
    sync();
    TRunTimes times;
    std::atomic<bool> written{false};
    const auto start = Clock::now();
    std::thread writing([&] {
        writer();
        times.Writing = SecondsSince(start);
        written = true;
    });
    while (Clock::now() - start < kPhaseLimit) {
        WaitAndRunHandOver(5ms);
        if (written && complete()) {
            times.Complete = SecondsSince(start);
            break;
        }
    }
    writing.join();
    return times;
}

void Report(const char* what, const TRunTimes& ours, double copy) {
    if (ours.Complete < 0) {
        std::printf("%-28s did not complete within %lld s\n", what,
                    static_cast<long long>(kPhaseLimit.count()));
        return;
    }
    std::printf("%-28s %8.2f s  (writing %6.2f s)   cp %6.2f s   ratio %5.2f   peak %ld MB\n", what,
                ours.Complete, ours.Writing, copy, ours.Complete / copy, PeakMemoryMb());
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path base = argc > 1 ? argv[1] : "/tmp";
    const int fileCount = argc > 2 ? std::atoi(argv[2]) : 10000;
    const int megabytes = argc > 3 ? std::atoi(argv[3]) : 1024;
    std::string pattern = (base / "ostrevan-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path root = pattern;
    const fs::path program = root / "program", watched = root / "watched", store = root / "store",
                   plain = root / "plain";
    fs::create_directories(program / "Settings");
    fs::create_directories(watched / "burst");
    fs::create_directories(plain / "burst");
    std::ofstream(program / "Settings" / "Settings.ini", std::ios::binary)
        << "[GENERAL]\r\nSOURCE=" << watched.string()
        << "\r\nSUBFOLDERS=TRUE\r\nDESTINATION=" << store.string()
        << "\r\nSKIPLIKETASKS=FALSE\r\n\r\n[FILTERS]\r\nBYSIZE=2000000\r\n"
        << "BYEXT=\r\nBYEXTMODE=2\r\n";
    InitPaths(program.string());
    SnapshotQueueDrainer = TakeSnapshots;
    ReloadSettings();
    if (!IsWatching()) {
        std::fprintf(stderr, "watching %s did not start\n", watched.c_str());
        return 1;
    }
    std::printf("store_burst in %s: %d small files, one file of %d MB\n", root.c_str(), fileCount,
                megabytes);

    // (a) the burst of small files
    WriteSmallFiles(plain / "burst", fileCount);
    const double burstCopy = TimeCopyCommand("cp -r '" + (plain / "burst").string() + "' '" +
                                             (plain / "burst-copy").string() + "'");
    int verified = 0;
    const TRunTimes burst =
        RunWatched([&] { WriteSmallFiles(watched / "burst", fileCount); },
                   [&] {
                       for (; verified < fileCount; ++verified) {
                           const fs::path copy = NewestCopy(store / "burst" / SmallName(verified));
                           if (copy.empty() || ReadBytes(copy) != SmallContent(verified)) {
                               return false;
                           }
                       }
                       return true;
                   });
    Report("(a) burst of small files", burst, burstCopy);

    // (b) one large file
    WriteLargeFile(plain / "large.bin", megabytes);
    const double largeCopy = TimeCopyCommand("cp '" + (plain / "large.bin").string() + "' '" +
                                             (plain / "large-copy.bin").string() + "'");
    const uintmax_t largeSize = static_cast<uintmax_t>(megabytes) << 20;
    fs::path largeSnapshot;
    const TRunTimes large = RunWatched([&] { WriteLargeFile(watched / "large.bin", megabytes); },
                                       [&] {
                                           // A copy gets its name only when complete, so a
                                           // full-size newest copy is done.
                                           largeSnapshot = NewestCopy(store / "large.bin");
                                           std::error_code ec;
                                           return !largeSnapshot.empty() &&
                                                  fs::file_size(largeSnapshot, ec) == largeSize;
                                       });
    Report("(b) one large file", large, largeCopy);
    if (large.Complete >= 0) {
        const bool same = std::system(("cmp -s '" + largeSnapshot.string() + "' '" +
                                       (watched / "large.bin").string() + "'")
                                          .c_str()) == 0;
        std::printf("large snapshot equals the file: %s\n", same ? "yes" : "NO");
    }

    StopWatching();
    std::error_code ec;
    fs::remove_all(root, ec);
    return burst.Complete >= 0 && large.Complete >= 0 ? 0 : 2;
}
