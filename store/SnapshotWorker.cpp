// TakeSnapshots: brings the store up to date for every queued change, oldest first.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <vector>

#include "core/EventCodes.h"
#include "core/RunSettings.h"
#include "core/SharedState.h"
#include "store/DayLog.h"
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
    std::error_code ec;
    fs::create_directories(fs::path(newFolder).parent_path(), ec);
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
        WriteLogLine(kLogHistoryJoined, kImageSnapshot,
                     SourcePathOf(event.OldName) + " > " + SourcePathOf(event.NewName));
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
    const std::string oldFolder = StoreFolderOf(event.OldName);
    const std::string newFolder = StoreFolderOf(event.NewName);
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
