// Starting, stopping and restarting the watcher.
#include "watch/Watcher.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "core/EventCodes.h"
#include "core/Paths.h"
#include "core/RunSettings.h"
#include "core/SharedState.h"
#include "platform/ChangeSource.h"
#include "store/DayLog.h"
#include "store/KeepingRules.h"
#include "store/WatchState.h"
#include "watch/WaitThread.h"
#include "watch/WatchCoverage.h"
#include "watch/WatchStatus.h"

std::function<void()> EndProgramAfterWatchFailure = [] { std::exit(0); };

namespace {

struct TWatcherState {
    std::unique_ptr<ChangeSource> Source;
    std::unique_ptr<TWaitThread> Thread;
    std::atomic<bool> Watching{false};    // a wait thread runs
    std::atomic<bool> FolderAway{false};  // its watched folder went away and is looked for
    // Up to when the last period of watching was complete, and of which folder, for a restart
    // in the same run (the store's note of it may still wait behind a backlog of copies).
    std::optional<timespec> LastCompleteUntil;
    std::string LastWatched;
};

// Never destroyed: the process may end while the wait thread still waits.
TWatcherState& Watcher() {
    static TWatcherState* state = new TWatcherState;
    return *state;
}

bool IsExistingFolder(const std::string& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::is_directory(path, error);
}

void ReportWatchFailure(const std::string& errorText) {
    NoteUnwatchableFolder(RunSettings.SOURCE, errorText);
    NotifyWatchStatusChanged();
    if (WindowHooks.ShowWatchFailure) {
        WindowHooks.ShowWatchFailure(errorText);
    } else {
        std::fprintf(stderr, "Ostrevan: cannot watch %s: %s\n", RunSettings.SOURCE.c_str(),
                     errorText.c_str());
    }
    EndProgramAfterWatchFailure();
}

// Signals the stop and joins the thread, which hands on what it read before the stop (or drops it
// when abandoning). Descriptors are closed only after the thread ended. True when the watched
// folder was away at the end (its stop was logged already).
bool EndWaitThread(bool abandon) {
    TWatcherState& state = Watcher();
    if (abandon) {
        state.Thread->Abandon();
    } else {
        state.Source->SignalStop();
    }
    state.Thread->Join();
    if (!abandon) {
        state.LastCompleteUntil = state.Thread->CompleteUntil();
        state.LastWatched = RunSettings.SOURCE;
    }
    state.Thread.reset();
    state.Source.reset();
    state.Watching = false;
    ForgetUnwatchedFolders();
    return state.FolderAway.exchange(false);
}

// Where a new period of watching catches up from: where the last one in this run ended, for the
// same folder, or else the store's note (none for a new store: nothing to compare with).
std::optional<timespec> CatchUpSince() {
    const TWatcherState& state = Watcher();
    if (state.LastCompleteUntil && state.LastWatched == RunSettings.SOURCE) {
        return state.LastCompleteUntil;
    }
    return ReadWatchCompleteUntil(RunSettings.DESTINATION);
}

}  // namespace

bool StartWatching() {
    if (Watcher().Watching) {
        StopWatching();
    }
    ClearUnwatchableFolder();
    if (!IsExistingFolder(RunSettings.SOURCE)) {
        NotifyWatchStatusChanged();
        return false;
    }
    std::string errorText;
    std::unique_ptr<ChangeSource> source =
        ChangeSource::Open(RunSettings.SOURCE, RunSettings.SUBFOLDERS, &errorText, CatchUpSince());
    if (!source) {
        ReportWatchFailure(errorText);
        return false;
    }
    HeldEvent.SkipNextModified = 0;
    ForgetUnwatchedFolders();
    TWatcherState& state = Watcher();
    state.FolderAway = false;
    state.Source = std::move(source);
    state.Thread = std::make_unique<TWaitThread>(*state.Source);
    state.Watching = true;
    RefreshTrayIcon(false);
    WriteLogLine(kLogWatchingStarted, kImageInformation, "");
    NotifyWatchStatusChanged();
    return true;
}

bool StopWatching() {
    if (!Watcher().Watching) {
        return true;
    }
    if (!EndWaitThread(false)) {
        WriteLogLine(kLogWatchingStopped, kImageWarning, "");
    }
    NotifyWatchStatusChanged();
    return true;
}

bool ReloadSettings() {
    StopWatching();
    RunSettings = ReadSettingsFile(SettingsFilePath());
    PublishKeepingRules(RunSettings.DESTINATION,
                        {RunSettings.KEEPCOUNT, RunSettings.KEEPDAYS, RunSettings.KEEPMB});
    if (Watcher().Watching) {
        StopWatching();
    }
    StartWatching();
    return true;
}

bool IsWatching() {
    const TWatcherState& state = Watcher();
    return state.Watching.load() && !state.FolderAway.load();
}

void EndWatchingQuietly() {
    if (Watcher().Watching) {
        EndWaitThread(true);
    }
}

void NoteWatchedFolderGone() {
    TWatcherState& state = Watcher();
    if (!state.Watching || state.FolderAway.exchange(true)) {
        return;
    }
    ForgetUnwatchedFolders();
    WriteLogLine(kLogWatchingStopped, kImageWarning, "");
    RefreshTrayIcon(false);
    NotifyWatchStatusChanged();
}

void NoteWatchedFolderBack() {
    TWatcherState& state = Watcher();
    if (!state.Watching || !state.FolderAway.exchange(false)) {
        return;
    }
    HeldEvent.SkipNextModified = 0;
    RefreshTrayIcon(false);
    WriteLogLine(kLogWatchingStarted, kImageInformation, "");
    NotifyWatchStatusChanged();
}
