#include "watch/WatchCoverage.h"

#include <atomic>

#include "core/EventCodes.h"
#include "core/SharedState.h"
#include "store/DayLog.h"
#include "watch/WatchStatus.h"

namespace {

std::atomic<int> unwatchedFolders{0};

constexpr const char* kLimitText =
    "the system's limit of inotify watches (fs.inotify.max_user_watches) is reached; its files "
    "are scanned every few seconds";

}  // namespace

void NoteFolderUnwatched(const std::string& folder) {
    WriteLogLine(kLogFolderUnwatched, kImageError, folder);
    if (unwatchedFolders.fetch_add(1) == 0) {
        NoteUnwatchableFolder(folder, kLimitText);  // the status line names the first one
        RefreshTrayIcon(false);
        NotifyWatchStatusChanged();
    }
}

void NoteFolderWatchedAgain(const std::string& /*folder*/) {
    int count = unwatchedFolders.load();
    while (count > 0 && !unwatchedFolders.compare_exchange_weak(count, count - 1)) {
    }
    if (count == 1) {
        ClearUnwatchableFolder();
        RefreshTrayIcon(false);
        NotifyWatchStatusChanged();
    }
}

void NoteOverflowRescan(int64_t count) {
    WriteLogLine(kLogOverflowRescanned, kImageWarning, std::to_string(count));
}

void NoteCaughtUp(int64_t count) {
    if (count > 0) {  // nothing changed while not watching: nothing to tell
        WriteLogLine(kLogCaughtUp, kImageInformation, std::to_string(count));
    }
}

void ForgetUnwatchedFolders() {
    if (unwatchedFolders.exchange(0) > 0) {
        ClearUnwatchableFolder();
    }
}

bool SomeFoldersUnwatched() {
    return unwatchedFolders.load() > 0;
}
