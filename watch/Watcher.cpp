// Starting, stopping and restarting the watcher.
#include "watch/Watcher.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "core/EventCodes.h"
#include "core/Paths.h"
#include "core/RunSettings.h"
#include "core/SharedState.h"
#include "platform/ChangeSource.h"
#include "store/DayLog.h"
#include "watch/Handover.h"
#include "watch/WaitThread.h"
#include "watch/WatchState.h"

std::function<void()> EndProgramAfterWatchFailure = [] { std::exit(0); };

namespace {

struct TWatcherState {
    std::unique_ptr<ChangeSource> Source;
    std::unique_ptr<TWaitThread> Thread;
    std::atomic<bool> Watching{false};
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
    NotifyWatchStateChanged();
    if (WindowHooks.ShowWatchFailure) {
        WindowHooks.ShowWatchFailure(errorText);
    } else {
        std::fprintf(stderr, "Ostrevan: cannot watch %s: %s\n", RunSettings.SOURCE.c_str(),
                     errorText.c_str());
    }
    EndProgramAfterWatchFailure();
}

// Signals the stop and runs every batch the thread still hands over until it has ended, so the
// two threads never wait on each other. Descriptors are closed only after the thread ended.
void EndWaitThread() {
    TWatcherState& state = Watcher();
    state.Source->SignalStop();
    while (!state.Thread->Finished()) {
        WaitAndRunHandOver(std::chrono::milliseconds(50));
    }
    state.Thread.reset();
    state.Source.reset();
    state.Watching = false;
}

}  // namespace

bool StartWatching() {
    if (IsWatching()) {
        StopWatching();
    }
    ClearUnwatchableFolder();
    if (!IsExistingFolder(RunSettings.SOURCE)) {
        NotifyWatchStateChanged();
        return false;
    }
    std::string errorText;
    std::unique_ptr<ChangeSource> source =
        ChangeSource::Open(RunSettings.SOURCE, RunSettings.SUBFOLDERS, &errorText);
    if (!source) {
        ReportWatchFailure(errorText);
        return false;
    }
    HeldEvent.SkipNextModified = 0;
    TWatcherState& state = Watcher();
    state.Source = std::move(source);
    state.Thread = std::make_unique<TWaitThread>(*state.Source);
    state.Watching = true;
    RefreshTrayIcon(false);
    WriteLogLine(kLogWatchingStarted, kImageInformation, "");
    NotifyWatchStateChanged();
    return true;
}

bool StopWatching() {
    if (!IsWatching()) {
        return true;
    }
    EndWaitThread();
    WriteLogLine(kLogWatchingStopped, kImageWarning, "");
    NotifyWatchStateChanged();
    return true;
}

bool ReloadSettings() {
    StopWatching();
    RunSettings = ReadSettingsFile(SettingsFilePath());
    if (IsWatching()) {
        StopWatching();
    }
    StartWatching();
    return true;
}

bool IsWatching() {
    return Watcher().Watching.load();
}

void EndWatchingQuietly() {
    if (IsWatching()) {
        EndWaitThread();
    }
}
