#include "watch/WatchStatus.h"

#include <filesystem>
#include <mutex>

#include "core/Paths.h"
#include "core/RunSettings.h"
#include "watch/Watcher.h"

namespace {

struct TUnwatchable {
    std::mutex Lock;
    std::string Folder;
    std::string ErrorText;
};

TUnwatchable& Unwatchable() {
    static TUnwatchable* record = new TUnwatchable;  // outlives a wait thread still running
    return *record;
}

bool IsFolder(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

bool IsFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

}  // namespace

void NoteUnwatchableFolder(const std::string& folder, const std::string& errorText) {
    TUnwatchable& record = Unwatchable();
    const std::lock_guard<std::mutex> hold(record.Lock);
    record.Folder = folder;
    record.ErrorText = errorText;
}

void ClearUnwatchableFolder() {
    NoteUnwatchableFolder({}, {});
}

TWatchStatus CurrentWatchStatus() {
    TWatchStatus state;
    state.WatchedFolder = RunSettings.SOURCE;
    state.StoreFolder = RunSettings.DESTINATION;
    state.SettingsFile = SettingsFilePath();
    {
        TUnwatchable& record = Unwatchable();
        const std::lock_guard<std::mutex> hold(record.Lock);
        state.FailedFolder = record.Folder;
        state.ErrorText = record.ErrorText;
    }
    const bool folderExists = IsFolder(state.WatchedFolder);
    if (IsWatching() && folderExists) {
        state.Condition = TWatchCondition::Watching;  // FailedFolder may name a folder left out
    } else if (IsWatching()) {
        state.Condition = TWatchCondition::FolderMissing;  // gone while watched
    } else if (!state.FailedFolder.empty()) {
        state.Condition = TWatchCondition::CannotWatch;
    } else if (!IsFile(state.SettingsFile)) {
        state.Condition = TWatchCondition::NoSettingsFile;
    } else if (state.WatchedFolder.empty()) {
        state.Condition = TWatchCondition::NoWatchedFolder;
    } else if (!folderExists) {
        state.Condition = TWatchCondition::FolderMissing;
    } else {
        state.Condition = TWatchCondition::Stopped;
    }
    return state;
}
