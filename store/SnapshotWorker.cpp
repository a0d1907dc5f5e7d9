// TakeSnapshots: brings the store up to date for every queued change, oldest first.
#include <filesystem>

#include "core/RunSettings.h"
#include "core/SharedState.h"
#include "platform/FileAttributes.h"
#include "store/FileOperation.h"
#include "store/PathText.h"
#include "store/SnapshotIndex.h"

namespace fs = std::filesystem;

namespace {

constexpr int kActionAdded = 1;
constexpr int kActionModified = 3;
constexpr int kActionRenamed = 4;

std::string SourcePathOf(const std::string& name) {
    if (RunSettings.SOURCE.empty() || name.empty()) {
        return {};
    }
    return JoinPath(RunSettings.SOURCE, name);
}

// Copies the file into its store folder as the next snapshot, recorded with actionCode.
void SnapshotFile(const std::string& sourcePath, const std::string& storeFolder, int actionCode) {
    if (!storeFolder.empty()) {
        TransferFile(sourcePath, NewSnapshot(storeFolder, actionCode), kTransferCopy, true);
    }
}

// Renames a store folder (a file's history, or a folder's whole store tree) to a new name,
// creating the folders above the new name when the move crosses into a new subfolder.
void MoveStoreFolder(const std::string& oldFolder, const std::string& newFolder) {
    if (!IsExistingFolder(oldFolder) || newFolder.empty()) {
        return;
    }
    CreatePrivateFolders(fs::path(newFolder).parent_path().string());
    TransferFile(oldFolder, newFolder, kTransferRename, true);
}

// A file got a new name. A history already kept under the new name stays and gets the new
// content as a snapshot; otherwise the old name's history follows the file, and a file without
// history gets its first snapshot.
void FollowRenamedFile(const TSnapshotEvent& event, const std::string& sourcePath) {
    const std::string oldFolder = StoreFolderOf(event.OldName);
    const std::string newFolder = StoreFolderOf(event.NewName);
    if (IsExistingFolder(newFolder)) {
        SnapshotFile(sourcePath, newFolder, kActionRenamed);
    } else if (IsExistingFolder(oldFolder)) {
        MoveStoreFolder(oldFolder, newFolder);
    } else {
        SnapshotFile(sourcePath, newFolder, kActionRenamed);
    }
}

void BringStoreUpToDate(const TSnapshotEvent& event) {
    const std::string sourcePath = SourcePathOf(event.NewName);
    if (IsExistingFile(sourcePath)) {
        if (event.Action == kActionAdded || event.Action == kActionModified) {
            SnapshotFile(sourcePath, StoreFolderOf(event.NewName), kActionModified);
        } else if (event.Action == kActionRenamed) {
            FollowRenamedFile(event, sourcePath);
        }
    } else if (IsExistingFolder(sourcePath) && event.Action == kActionRenamed) {
        MoveStoreFolder(StoreFolderOf(event.OldName), StoreFolderOf(event.NewName));
    }
}

}  // namespace

bool TakeSnapshots() {
    if (QueueCount() == 0) {
        return false;
    }
    while (QueueCount() > 0) {
        BringStoreUpToDate(QueueTakeFirst());  // marks the queue busy during the removal
    }
    return true;
}
