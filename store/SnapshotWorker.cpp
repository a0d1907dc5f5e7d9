// TakeSnapshots: brings the store up to date for every queued change, oldest first, and runs the
// window's requests in their turn. Runs on the store thread.
#include <chrono>
#include <filesystem>

#include "core/EventCodes.h"
#include "core/SharedState.h"
#include "store/DayLog.h"
#include "store/FileOperation.h"
#include "store/KeepingRules.h"
#include "store/PathText.h"
#include "store/SnapshotBatch.h"
#include "store/SnapshotIndex.h"
#include "store/StoreThread.h"

namespace fs = std::filesystem;

namespace {

constexpr int kActionAdded = 1;
constexpr int kActionModified = 3;
constexpr int kActionRenamed = 4;

// A batch is committed once it holds this many snapshots or is this old, so that a long burst
// still reaches the disk in steps.
constexpr std::size_t kBatchLimit = 2000;
constexpr auto kBatchAgeLimit = std::chrono::seconds(2);

// The batch that TakeSnapshots has open while it drains the queue.
TSnapshotBatch* openBatch = nullptr;

// Commits the open batch: done before any work that moves or removes store folders, so that work
// never meets a copy that is not in its place yet.
void CommitOpenBatch() {
    if (openBatch != nullptr) {
        openBatch->Commit();
    }
}

// The event carries the folders that were in force when it was taken in: a settings save while a
// backlog is copied must not send the backlog's copies elsewhere.
std::string SourcePathOf(const TSnapshotEvent& event, const std::string& name) {
    if (event.Source.empty() || name.empty()) {
        return {};
    }
    return JoinPath(event.Source, name);
}

// Copies the file into its store folder as the next snapshot, recorded with actionCode.
void SnapshotFile(const std::string& sourcePath, const std::string& storeFolder, int actionCode) {
    if (storeFolder.empty()) {
        return;
    }
    if (openBatch != nullptr) {
        openBatch->Add(sourcePath, storeFolder, actionCode);
    } else {
        TSnapshotBatch batch;
        batch.Add(sourcePath, storeFolder, actionCode);
        batch.Commit();
    }
}

void LogInTurn(int code, int image, const std::string& fileText) {
    if (openBatch != nullptr) {
        openBatch->AddLogLine(code, image, fileText);
    } else {
        WriteLogLine(code, image, fileText);
    }
}

// Renames a store folder (a file's history, or a folder's whole store tree) to a new name,
// creating the folders above the new name when the move crosses into a new subfolder.
void MoveStoreFolder(const std::string& oldFolder, const std::string& newFolder) {
    if (!IsExistingFolder(oldFolder) || newFolder.empty()) {
        return;
    }
    CommitOpenBatch();
    std::error_code ec;
    fs::create_directories(fs::path(newFolder).parent_path(), ec);
    TransferFile(oldFolder, newFolder, kTransferRename, true);
}

// A file got a new name. A history already kept under the new name stays and gets the new
// content as a snapshot; otherwise the old name's history follows the file, and a file without
// history gets its first snapshot.
void FollowRenamedFile(const TSnapshotEvent& event, const std::string& sourcePath) {
    const std::string oldFolder = StoreFolderIn(event.Destination, event.OldName);
    const std::string newFolder = StoreFolderIn(event.Destination, event.NewName);
    if (IsExistingFolder(newFolder)) {
        SnapshotFile(sourcePath, newFolder, kActionRenamed);
    } else if (IsExistingFolder(oldFolder)) {
        MoveStoreFolder(oldFolder, newFolder);
    } else {
        SnapshotFile(sourcePath, newFolder, kActionRenamed);
    }
}

bool IsChangeOfContent(int action) {
    return action == kActionAdded || action == kActionModified;
}

void BringStoreUpToDate(const TSnapshotEvent& event) {
    if (event.Request) {
        CommitOpenBatch();
        event.Request();
        return;
    }
    const std::string sourcePath = SourcePathOf(event, event.NewName);
    if (IsExistingFile(sourcePath)) {
        if (event.Action == kActionAdded || event.Action == kActionModified) {
            SnapshotFile(sourcePath, StoreFolderIn(event.Destination, event.NewName),
                         kActionModified);
        } else if (event.Action == kActionRenamed) {
            FollowRenamedFile(event, sourcePath);
        }
    } else if (IsExistingFolder(sourcePath)) {
        if (event.Action == kActionRenamed) {
            MoveStoreFolder(StoreFolderIn(event.Destination, event.OldName),
                            StoreFolderIn(event.Destination, event.NewName));
        }
    } else if (IsChangeOfContent(event.Action) && !sourcePath.empty()) {
        // Gone before its turn: that version could not be kept, which the log must say.
        LogInTurn(kLogOpenFailed, kImageError, sourcePath);
    }
}

}  // namespace

bool TakeSnapshots() {
    if (QueueCount() == 0) {
        return false;
    }
    TSnapshotBatch batch;
    openBatch = &batch;
    bool changesTaken = false;
    while (QueueCount() > 0 && !StoreWorkAbandoned()) {
        const TSnapshotEvent event = QueueTakeFirst();
        changesTaken = changesTaken || !event.Request;
        BringStoreUpToDate(event);
        if (batch.Size() >= kBatchLimit || batch.Age() >= kBatchAgeLimit) {
            batch.Commit();
        }
    }
    openBatch = nullptr;
    if (StoreWorkAbandoned()) {
        batch.Discard();
    } else {
        batch.Commit();
        if (changesTaken) {
            ApplyKeepingRulesInForce();  // once the queue is empty, not after every commit
        }
    }
    return true;
}
