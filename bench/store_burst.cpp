// Side by side in one run: how long the real watcher and store need until every snapshot of
// (a) a burst of 10,000 small files in 100 new folders and (b) one 1 GB file is complete and on
// disk, as a ratio to cp of the same data on the same disk (and cp + sync), the disk space the
// large snapshot took, and the program's peak memory.
//
//   build/bin/store_burst [folder on the disk to measure, default /tmp] [file count] [MB] [rounds]
//
// Run it with the folder on a loop-mounted XFS (mkfs.xfs -m reflink=1) or Btrfs image to see a
// snapshot cloned instead of copied.
//
// Each workload runs in rounds that alternate the plain commands and the watched run; the best
// time of each side counts, which keeps out most of the noise of a shared machine.
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
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
#include "lang/Language.h"
#include "store/FileOperation.h"
#include "store/StoreThread.h"
#include "watch/ChangeHandling.h"
#include "watch/Watcher.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

constexpr auto kRunLimit = 180s;

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

constexpr int kBurstFolders = 100;

// Small file i lies in one of 100 folders that the burst makes.
std::string SmallName(int i) {
    return "d" + std::to_string(i % kBurstFolders) + "/f" + std::to_string(i) + ".txt";
}

void WriteSmallFiles(const fs::path& folder, int count) {
    for (int d = 0; d < std::min(count, kBurstFolders); ++d) {
        fs::create_directories(folder / ("d" + std::to_string(d)));
    }
    for (int i = 0; i < count; ++i) {
        std::ofstream(folder / SmallName(i), std::ios::binary) << SmallContent(i);
    }
}

// Free bytes of the file system that holds path.
double FreeMegabytes(const fs::path& path) {
    std::error_code ec;
    const fs::space_info space = fs::space(path, ec);
    return ec ? 0 : static_cast<double>(space.available) / (1 << 20);
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

// The newest snapshot of a stored name, as its index's NO names it ("" while there is none).
fs::path NewestCopy(const fs::path& storeFolder) {
    const std::string no = ReadIniValue("GENERAL", "NO", (storeFolder / "snapshot.ini").string());
    if (no.empty() || no.find_first_not_of("0123456789") != std::string::npos) {
        return {};
    }
    return storeFolder / ("SnapShot." + no);
}

double TimeCommand(const std::string& command) {
    std::fflush(stdout);
    sync();
    const auto start = Clock::now();
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
    }
    return SecondsSince(start);
}

void Remove(const fs::path& path) {
    std::error_code ec;
    fs::remove_all(path, ec);
}

// Removes the files of 64 MB or more below folder. Small files stay until the end: on a file
// system without a journal, every inode freed makes the next file creations slower for a while,
// which would let one round slow down the next.
void RemoveLargeFiles(const fs::path& folder) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        std::error_code sizeError;
        if (it->is_regular_file(sizeError) && it->file_size(sizeError) >= (64u << 20)) {
            fs::remove(it->path(), sizeError);
        }
    }
}

// Gives the wait and store threads time (a new folder gets its watch, a removal is handled).
void PumpFor(std::chrono::milliseconds span) {
    std::this_thread::sleep_for(span);
}

struct TTimes {
    double Writing = 1e9;      // writing the data, alone or while watched
    double Copy = 1e9;         // cp of the data
    double CopyAndSync = 1e9;  // cp of the data, then sync
    double Complete = 1e9;     // watched: until every snapshot is complete
    bool TimedOut = false;
};

struct TWorkload {
    const char* Title;
    const char* Copy;  // "cp -r" or "cp"
    std::function<void(const fs::path& data)> Write;
    // True once the store holds every snapshot of data (below the watched folder) complete.
    std::function<bool(const fs::path& storeData)> Complete;
    std::function<void()> Restart;  // forgets what Complete has seen
};

void RunPlain(const TWorkload& work, const fs::path& data, TTimes* best) {
    fs::create_directories(data.parent_path());
    sync();
    const auto start = Clock::now();
    work.Write(data);
    best->Writing = std::min(best->Writing, SecondsSince(start));
    const auto copy = [&](const char* suffix, const char* after) {
        return std::string(work.Copy) + " '" + data.string() + "' '" + data.string() + suffix +
               "'" + after;
    };
    best->Copy = std::min(best->Copy, TimeCommand(copy("-copy", "")));
    best->CopyAndSync = std::min(best->CopyAndSync, TimeCommand(copy("-copy2", " && sync")));
    RemoveLargeFiles(data.parent_path());
}

// The writer runs on its own thread while this thread checks the store until every snapshot is
// complete.
void RunWatched(const TWorkload& work, const fs::path& data, const fs::path& storeData,
                TTimes* best, TTimes* watchedBest) {
    fs::create_directories(data.parent_path());
    PumpFor(200ms);  // the new folder gets its watch
    work.Restart();
    sync();
    std::atomic<bool> written{false};
    double writing = 0;
    const auto start = Clock::now();
    std::thread writer([&] {
        work.Write(data);
        writing = SecondsSince(start);
        written = true;
    });
    double complete = -1;
    while (Clock::now() - start < kRunLimit) {
        std::this_thread::sleep_for(5ms);
        const double now = SecondsSince(start);
        if (written && work.Complete(storeData)) {
            complete = now;  // the check itself (a compare of the copy) is not counted
            break;
        }
    }
    writer.join();
    if (complete < 0) {
        best->TimedOut = true;
    } else {
        watchedBest->Complete = std::min(watchedBest->Complete, complete);
        watchedBest->Writing = std::min(watchedBest->Writing, writing);
    }
    RemoveLargeFiles(data.parent_path());
    PumpFor(300ms);  // the removal is handled (it changes nothing in the store)
    RemoveLargeFiles(storeData.parent_path());
}

void Report(const TWorkload& work, const TTimes& plain, const TTimes& watched, int rounds) {
    std::printf("%s (best of %d rounds)\n", work.Title, rounds);
    std::printf("  without the program: writing %6.2f s, %s %6.2f s, %s + sync %6.2f s\n",
                plain.Writing, work.Copy, plain.Copy, work.Copy, plain.CopyAndSync);
    if (plain.TimedOut || watched.Complete >= 1e9) {
        std::printf("  watched: a round did not complete within %lld s\n",
                    static_cast<long long>(kRunLimit.count()));
    }
    if (watched.Complete >= 1e9) {
        return;
    }
    std::printf("  watched: every snapshot complete after %6.2f s (the writing took %6.2f s)\n",
                watched.Complete, watched.Writing);
    std::printf(
        "  ratio to %s: %5.2f from the first write, %5.2f beyond the plain writing time;"
        " to %s + sync: %5.2f\n",
        work.Copy, watched.Complete / plain.Copy, (watched.Complete - plain.Writing) / plain.Copy,
        work.Copy, watched.Complete / plain.CopyAndSync);
    std::printf("  peak memory so far: %ld MB\n", PeakMemoryMb());
}

void Measure(const TWorkload& work, const fs::path& root, const std::string& dataName, int rounds) {
    TTimes plain;
    TTimes watched;
    for (int r = 0; r < rounds; ++r) {
        const std::string round = "round" + std::to_string(r);
        RunPlain(work, root / "plain" / round / dataName, &plain);
        RunWatched(work, root / "watched" / round / dataName, root / "store" / round / dataName,
                   &plain, &watched);
    }
    Report(work, plain, watched, rounds);
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path base = argc > 1 ? argv[1] : "/tmp";
    const int fileCount = argc > 2 ? std::atoi(argv[2]) : 10000;
    const int megabytes = argc > 3 ? std::atoi(argv[3]) : 1024;
    const int rounds = argc > 4 ? std::max(1, std::atoi(argv[4])) : 2;
    std::string pattern = (base / "ostrevan-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path root = pattern;
    fs::create_directories(root / "program" / "Settings");
    fs::create_directories(root / "watched");
    std::ofstream(root / "program" / "Settings" / "Settings.ini", std::ios::binary)
        << "[GENERAL]\r\nSOURCE=" << (root / "watched").string()
        << "\r\nSUBFOLDERS=TRUE\r\nDESTINATION=" << (root / "store").string()
        << "\r\nSKIPLIKETASKS=FALSE\r\n\r\n[FILTERS]\r\nBYSIZE=2000000\r\n"
        << "BYEXT=\r\nBYEXTMODE=2\r\n";
    InitPaths((root / "program").string());
    StartStoreThread();
    ReloadSettings();
    if (!IsWatching()) {
        std::fprintf(stderr, "watching %s did not start\n", (root / "watched").c_str());
        return 1;
    }
    std::printf("store_burst in %s: %d small files, one file of %d MB\n", root.c_str(), fileCount,
                megabytes);

    int verified = 0;
    const TWorkload burst{"(a) burst of small files", "cp -r",
                          [&](const fs::path& data) { WriteSmallFiles(data, fileCount); },
                          [&](const fs::path& storeData) {
                              for (; verified < fileCount; ++verified) {
                                  const fs::path copy = NewestCopy(storeData / SmallName(verified));
                                  if (copy.empty() || ReadBytes(copy) != SmallContent(verified)) {
                                      return false;
                                  }
                              }
                              return true;
                          },
                          [&] { verified = 0; }};
    Measure(burst, root, "burst", rounds);

    const uintmax_t largeSize = static_cast<uintmax_t>(megabytes) << 20;
    bool largeEqual = true;
    double freeBefore = 0;
    double leastSpace = 1e18;
    const TWorkload large{
        "(b) one large file", "cp", [&](const fs::path& data) { WriteLargeFile(data, megabytes); },
        [&](const fs::path& storeData) {
            // A copy gets its name and its entry only when it is complete and on disk.
            const fs::path copy = NewestCopy(storeData);
            std::error_code ec;
            if (copy.empty() || fs::file_size(copy, ec) != largeSize) {
                return false;
            }
            // What the disk lost beyond the document itself is the snapshot's share.
            leastSpace = std::min(leastSpace, freeBefore - FreeMegabytes(root) - megabytes);
            const fs::path file = fs::path(storeData.string()).lexically_relative(root / "store");
            largeEqual = largeEqual && std::system(("cmp -s '" + copy.string() + "' '" +
                                                    (root / "watched" / file).string() + "'")
                                                       .c_str()) == 0;
            return true;
        },
        [&] {
            sync();
            freeBefore = FreeMegabytes(root);
        }};
    Measure(large, root, "large.bin", rounds + 1);
    std::printf("  every large snapshot equals its file: %s\n", largeEqual ? "yes" : "NO");
    std::printf("  disk space the snapshot took: %.1f MB (least of the rounds)\n",
                std::max(0.0, leastSpace));

    StopWatching();
    Remove(root);
    return 0;
}
