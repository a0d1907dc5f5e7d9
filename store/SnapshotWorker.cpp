// TakeSnapshots: brings the store up to date for every queued change, oldest first, and runs the
// window's requests in their turn. Runs on the store thread.
#include <algorithm>
#include <chrono>
#include <climits>
#include <filesystem>
#include <fstream>
#include <vector>

#include "core/EventCodes.h"
#include "core/SharedState.h"
#include "platform/FileAccess.h"
#include "platform/FileAttributes.h"
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
// Room for the longest name the store writes in a per-file folder (its temporary files).
constexpr std::size_t kStoreEntryRoom = 64;

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
    CreatePrivateFolders(fs::path(newFolder).parent_path().string());
    TransferFile(oldFolder, newFolder, kTransferRename, true);
}

// True when both files exist and hold the same bytes.
bool SameBytes(const std::string& first, const std::string& second) {
    std::ifstream a(first, std::ios::binary);
    std::ifstream b(second, std::ios::binary);
    if (!a || !b) {
        return false;
    }
    std::vector<char> bufferA(65536);
    std::vector<char> bufferB(65536);
    for (;;) {
        a.read(bufferA.data(), static_cast<std::streamsize>(bufferA.size()));
        b.read(bufferB.data(), static_cast<std::streamsize>(bufferB.size()));
        if (a.gcount() != b.gcount() ||
            !std::equal(bufferA.begin(), bufferA.begin() + a.gcount(), bufferB.begin())) {
            return false;
        }
        if (a.gcount() == 0 || !a || !b) {
            return a.eof() && b.eof();
        }
    }
}

// A file renamed onto a name with a history: its own snapshots join that history, and the log
// tells both names. True when any did.
bool JoinRenamedHistory(const TSnapshotEvent& event, const std::string& oldFolder,
                        const std::string& newFolder) {
    if (!IsExistingFolder(oldFolder)) {
        return false;
    }
    RefreshTrayIcon(true);
    const TJoinResult joined = JoinSnapshotHistory(oldFolder, newFolder);
    RefreshTrayIcon(false);
    if (joined.Joined > 0) {
        WriteLogLine(
            kLogHistoryJoined, kImageSnapshot,
            SourcePathOf(event, event.OldName) + " > " + SourcePathOf(event, event.NewName));
    }
    return joined.Joined > 0;
}

// After a rename the history must end with what the file holds now: a snapshot taken while the
// renamed file was still being written, or a change that was never snapshotted, gets a new one.
void EndHistoryWithCurrentContent(const std::string& folder, const std::string& sourcePath) {
    if (!SameBytes(NewestCopyPath(folder), sourcePath)) {
        SnapshotFile(sourcePath, folder, kActionRenamed);
    }
}

// A file got a new name. A history already kept under the new name stays and takes the renamed
// file's snapshots (a save through a temporary file); otherwise the old name's history follows
// the file. Either way the history then ends with the file's content. A file without history
// gets a snapshot under the new name.
void FollowRenamedFile(const TSnapshotEvent& event, const std::string& sourcePath) {
    const std::string oldFolder = StoreFolderIn(event.Destination, event.OldName);
    const std::string newFolder = StoreFolderIn(event.Destination, event.NewName);
    CommitOpenBatch();  // both histories as they are on disk, with every copy in its place
    if (IsExistingFolder(newFolder)) {
        if (JoinRenamedHistory(event, oldFolder, newFolder)) {
            EndHistoryWithCurrentContent(newFolder, sourcePath);
        } else {
            SnapshotFile(sourcePath, newFolder, kActionRenamed);
        }
    } else if (IsExistingFolder(oldFolder)) {
        MoveStoreFolder(oldFolder, newFolder);
        EndHistoryWithCurrentContent(newFolder, sourcePath);
    } else {
        SnapshotFile(sourcePath, newFolder, kActionRenamed);
    }
}

bool IsChangeOfContent(int action) {
    return action == kActionAdded || action == kActionModified;
}

// A file whose path the system does not take in one call (PATH_MAX), at the file or in its
// store folder: the store cannot keep it, which is told rather than skipped in silence.
bool TooLongToSnapshot(const TSnapshotEvent& event) {
    if (!IsChangeOfContent(event.Action) && event.Action != kActionRenamed) {
        return false;
    }
    const std::string sourcePath = SourcePathOf(event, event.NewName);
    const bool tooLong =
        sourcePath.size() >= PATH_MAX ||
        StoreFolderIn(event.Destination, event.NewName).size() + kStoreEntryRoom >= PATH_MAX;
    return tooLong && KindOfPathAnyLength(sourcePath) == TPathKind::RegularFile;
}

// A file found by a rescan whose newest snapshot already holds its content needs no new one.
// A copy that waits in the open batch for its commit is the newest.
bool AlreadySnapshotted(const TSnapshotEvent& event, const std::string& sourcePath) {
    if (!event.FromRescan) {
        return false;
    }
    const std::string folder = StoreFolderIn(event.Destination, event.NewName);
    const std::string pending = openBatch != nullptr ? openBatch->PendingCopyIn(folder) : "";
    return pending.empty() ? NewestSnapshotHoldsContentOf(folder, sourcePath)
                           : CopyHoldsContentOf(pending, sourcePath);
}

void BringStoreUpToDate(const TSnapshotEvent& event) {
    if (event.Request) {
        CommitOpenBatch();
        event.Request();
        return;
    }
    if (TooLongToSnapshot(event)) {
        WriteLogLine(kLogPathTooLong, kImageError, SourcePathOf(event, event.NewName));
        return;
    }
    const std::string sourcePath = SourcePathOf(event, event.NewName);
    if (IsExistingFile(sourcePath)) {
        if (IsChangeOfContent(event.Action)) {
            if (!AlreadySnapshotted(event, sourcePath)) {
                SnapshotFile(sourcePath, StoreFolderIn(event.Destination, event.NewName),
                             kActionModified);
            }
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
