#include "watch/WatchCoverage.h"

#include <atomic>

#include "core/EventCodes.h"
#include "core/SharedState.h"
#include "store/DayLog.h"

namespace {

std::atomic<int> unwatchedFolders{0};

}  // namespace

void NoteFolderUnwatched(const std::string& folder) {
    WriteLogLine(kLogFolderUnwatched, kImageError, folder);
    if (unwatchedFolders.fetch_add(1) == 0) {
        RefreshTrayIcon(false);
    }
}

void NoteFolderWatchedAgain(const std::string& /*folder*/) {
    int count = unwatchedFolders.load();
    while (count > 0 && !unwatchedFolders.compare_exchange_weak(count, count - 1)) {
    }
    if (count == 1) {
        RefreshTrayIcon(false);
    }
}

void NoteOverflowRescan(int64_t count) {
    WriteLogLine(kLogOverflowRescanned, kImageWarning, std::to_string(count));
}

void ForgetUnwatchedFolders() {
    unwatchedFolders = 0;
}

bool SomeFoldersUnwatched() {
    return unwatchedFolders.load() > 0;
}
