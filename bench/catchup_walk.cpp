// How long the catch-up at the start of watching takes on a large tree where nothing changed:
// 100,000 files in 1,000 folders, side by side with `find` listing the same tree.
//
//   build/bin/catchup_walk [folder on the disk to measure, default /tmp] [files] [rounds]
//
// Measured: opening the tree for watching (every folder gets its watch) and the first batch,
// which is the walk looking for files changed since the moment watching was last complete.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/ChangeSource.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void MakeTree(const fs::path& root, int files) {
    constexpr int kFolders = 1000;
    for (int d = 0; d < kFolders; ++d) {
        fs::create_directories(root / ("d" + std::to_string(d / 100)) / ("e" + std::to_string(d)));
    }
    for (int i = 0; i < files; ++i) {
        const int d = i % kFolders;
        std::ofstream(root / ("d" + std::to_string(d / 100)) / ("e" + std::to_string(d)) /
                      ("f" + std::to_string(i) + ".txt"))
            << i;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const fs::path base = argc > 1 ? argv[1] : "/tmp";
    const int files = argc > 2 ? std::atoi(argv[2]) : 100000;
    const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    std::string pattern = (base / "ostrevan-catchup-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path root = pattern;
    MakeTree(root / "tree", files);
    std::this_thread::sleep_for(std::chrono::seconds(3));  // older than the margin
    timespec complete{};
    clock_gettime(CLOCK_REALTIME, &complete);
    std::printf("catchup_walk: %d unchanged files in 1,000 folders below %s\n", files,
                root.c_str());
    double bestFind = 1e9;
    double bestOpen = 1e9;
    double bestWalk = 1e9;
    long found = -1;
    for (int r = 0; r < rounds; ++r) {
        std::fflush(stdout);
        auto start = Clock::now();
        const std::string find =
            "find '" + (root / "tree").string() + "' -type f | wc -l >/dev/null";
        if (std::system(find.c_str()) != 0) {
            std::fprintf(stderr, "find failed\n");
        }
        bestFind = std::min(bestFind, SecondsSince(start));

        start = Clock::now();
        std::string error;
        auto source = ChangeSource::Open((root / "tree").string(), true, &error, complete);
        if (!source) {
            std::fprintf(stderr, "cannot watch: %s\n", error.c_str());
            return 1;
        }
        const double opened = SecondsSince(start);
        std::vector<ChangeRecord> batch;
        source->WaitForBatch(&batch);
        const double walked = SecondsSince(start);
        bestOpen = std::min(bestOpen, opened);
        bestWalk = std::min(bestWalk, walked);
        found = batch.empty() || batch.front().Action != kRecordCaughtUp
                    ? -1
                    : static_cast<long>(batch.size() - 1);
    }
    std::printf("  find listing every file:            %6.2f s\n", bestFind);
    std::printf("  watches set up (window's thread):   %6.2f s\n", bestOpen);
    std::printf(
        "  watches and catch-up walk together: %6.2f s (%.2f x find), files reported: %ld\n",
        bestWalk, bestWalk / bestFind, found);
    std::error_code ec;
    fs::remove_all(root, ec);
    return 0;
}
