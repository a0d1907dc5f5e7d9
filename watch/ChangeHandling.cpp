// Turning batches of change records into queued snapshot work.
#include "watch/ChangeHandling.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "core/EventCodes.h"
#include "core/Paths.h"
#include "core/RunSettings.h"
#include "core/SharedState.h"
#include "platform/AtomicFile.h"
#include "platform/FileData.h"
#include "store/DayLog.h"
#include "store/WatchState.h"
#include "watch/SaveMerging.h"
#include "watch/TransientNames.h"
#include "watch/WatchCoverage.h"

std::function<bool()> SnapshotQueueDrainer;

namespace {

namespace fs = std::filesystem;

constexpr int kAdded = 1;
constexpr int kRemoved = 2;
constexpr int kModified = 3;
constexpr int kRenamed = 4;
constexpr int kRenameOldName = 4;
constexpr int kRenameNewName = 5;

constexpr int kSizeCheckRetries = 100;
constexpr auto kSizeCheckPause = std::chrono::milliseconds(10);

std::string UpperAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

// A real, absolute path without a trailing '/', for prefix comparisons.
std::string RealPathText(const std::string& path) {
    std::error_code error;
    fs::path real = fs::weakly_canonical(fs::absolute(fs::path(path), error), error);
    if (error) {
        real = fs::path(path).lexically_normal();
    }
    std::string text = real.string();
    while (text.size() > 1 && text.back() == '/') {
        text.pop_back();
    }
    return text;
}

bool LiesInside(const std::string& path, const std::string& folder) {
    if (folder == "/") {
        return true;
    }
    return path.compare(0, folder.size(), folder) == 0 &&
           (path.size() == folder.size() || path[folder.size()] == '/');
}

// The folders the program itself writes into (the store and the Logs folder), as far as they
// can hold watched files. A folder that holds the whole watched folder is left out: every change
// would be dropped, and the program would never snapshot anything.
class TOwnFolders {
  public:
    TOwnFolders() : Watched(RealPathText(RunSettings.SOURCE)) {
        AddFolder(RunSettings.DESTINATION);
        AddFolder(LogsDir);
    }

    // True when the watched name lies inside one of the program's own folders, or is one of the
    // temporary files through which a restore into the watched folder lands.
    bool Hold(const std::string& name) const {
        if (IsOwnTemporaryName(name) || IsWatchStateName(name)) {
            return true;
        }
        if (Folders.empty()) {
            return false;
        }
        const std::string path = Watched + (Watched == "/" ? "" : "/") + name;
        for (const std::string& folder : Folders) {
            if (LiesInside(path, folder)) {
                return true;
            }
        }
        return false;
    }

  private:
    void AddFolder(const std::string& folder) {
        if (folder.empty()) {
            return;
        }
        std::string real = RealPathText(folder);
        if (!LiesInside(Watched, real)) {
            Folders.push_back(std::move(real));
        }
    }

    std::string Watched;
    std::vector<std::string> Folders;
};

std::string WatchedPath(const std::string& name) {
    const std::string& source = RunSettings.SOURCE;
    if (!source.empty() && source.back() == '/') {
        return source + name;
    }
    return source + "/" + name;
}

// A folder of the tree by its name; the empty name is the watched folder itself.
std::string FolderPath(const std::string& name) {
    return name.empty() ? RunSettings.SOURCE : WatchedPath(name);
}

bool IsExistingFolder(const std::string& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

// Extension of the last path component, from its last dot, in upper case; "" when it has none.
std::string ExtensionOf(const std::string& name) {
    const std::size_t slash = name.find_last_of('/');
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || dot < start) {
        return {};
    }
    return UpperAscii(name.substr(dot));
}

bool IsListed(const std::string& extension, const std::string& upperList) {
    return !extension.empty() && upperList.find(extension) != std::string::npos;
}

bool PassesExtensionException(const std::string& oldName, const std::string& newName) {
    const std::string list = UpperAscii(RunSettings.BYEXT);
    const bool oldListed = IsListed(ExtensionOf(oldName), list);
    const bool newListed = IsListed(ExtensionOf(newName), list);
    if (RunSettings.BYEXTMODE == 2) {
        return !(oldListed && newListed);
    }
    return oldListed || newListed;
}

// Whether there is a file to open: a link that leads nowhere has none, and waiting for it to
// open would only hold up the main thread (editors leave such links as lock files).
bool ExistsToOpen(const std::string& path) {
    std::error_code error;
    return fs::exists(path, error);
}

// Opens the file for reading and measures it; nullopt when it cannot be opened. Special files
// (pipes, sockets, devices) are not opened, since opening a pipe would block; they measure 0.
std::optional<int64_t> TryMeasureFile(const std::string& path) {
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error || !fs::exists(status)) {
        return std::nullopt;
    }
    if (!fs::is_regular_file(status)) {
        return 0;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file.is_open()) {
        return std::nullopt;
    }
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    return size < 0 ? 0 : static_cast<int64_t>(size);
}

// The size that the limit is compared with. An open that fails is retried only while the file
// still exists; a file that never opens counts as empty.
int64_t SizeForLimit(const std::string& path) {
    for (int attempt = 0; attempt <= kSizeCheckRetries; ++attempt) {
        if (attempt > 0) {
            std::this_thread::sleep_for(kSizeCheckPause);
        }
        if (const std::optional<int64_t> size = TryMeasureFile(path)) {
            return *size;
        }
        if (!ExistsToOpen(path)) {
            return 0;
        }
    }
    return 0;
}

bool PassesSizeException(const std::string& path) {
    const int64_t limit = static_cast<int64_t>(RunSettings.BYSIZE) * 1000;
    return SizeForLimit(path) <= limit;
}

// With SKIPLIKETASKS on: true when the event repeats the last one; remembers it either way.
bool IsRepeat(const std::string& oldName, const std::string& newName, int action) {
    if (!RunSettings.SKIPLIKETASKS) {
        return false;
    }
    const bool repeat = LastEvent.Action == action &&
                        UpperAscii(LastEvent.OldName) == UpperAscii(oldName) &&
                        UpperAscii(LastEvent.NewName) == UpperAscii(newName);
    LastEvent.OldName = oldName;
    LastEvent.NewName = newName;
    LastEvent.Action = action;
    return repeat;
}

std::string ConsoleLine(const std::string& oldName, const std::string& newName, int action) {
    const std::string& actionText =
        action >= 1 && action <= kRenamed ? ActionNames[static_cast<std::size_t>(action)] : "";
    return actionText + ": " + oldName + " > " + newName;
}

bool IsLeftOutTransient(const std::string& name) {
    return RunSettings.SKIPTRANSIENT && IsTransientName(name);
}

// What one batch knows while it is handled: the program's own folders, and the files whose
// addition was queued in this batch. The snapshot of an addition is taken after the batch was
// read, so it already holds every write that the batch reports; a modification of such a file
// later in the same batch would only copy the same content again.
struct TBatchContext {
    TOwnFolders Own;
    std::unordered_set<std::string> AddedInBatch;

    // Names left out before any handling: the program's own writes, and the files programs make
    // only while they work (unless the user turned that off).
    bool LeavesOut(const std::string& name) const {
        return Own.Hold(name) || IsLeftOutTransient(name);
    }
};

bool AwaitingRenameNewName() {
    return HeldEvent.Action == kRenameOldName && HeldEvent.NewName.empty();
}

// Files that a program created and still held open for writing when their addition came: each
// is handled as an addition once its writer closes it, so that its snapshot holds the whole file
// and the size limit sees its whole size. Kept across batches; used only by the wait thread.
std::unordered_set<std::string> awaitingWriter;

bool IsRegularFilePath(const std::string& path) {
    std::error_code error;
    return fs::is_regular_file(fs::symlink_status(path, error));
}

// Additions handled after their writer had closed the file already: that close is still on its
// way and must not bring a second snapshot of the same content. Remembered with the file's stamp
// for this batch and the next (two generations); a later save changes the stamp.
struct TClosedAdditions {
    std::unordered_map<std::string, TFileStamp> Current;
    std::unordered_map<std::string, TFileStamp> Previous;

    void NextBatch() {
        Previous = std::move(Current);
        Current.clear();
    }
    // True (and forgotten) when name's close is the one of its addition: same stamp as then.
    bool IsCloseOfAddition(const std::string& name, const TFileStamp& now) {
        for (auto* generation : {&Current, &Previous}) {
            const auto found = generation->find(name);
            if (found != generation->end()) {
                const bool same = found->second == now && now.Size >= 0;
                generation->erase(found);
                return same;
            }
        }
        return false;
    }
};
TClosedAdditions closedAdditions;

// An addition of a file still open for writing waits for the writer's close.
bool DeferAdditionToWriter(const std::string& name) {
    const std::string path = WatchedPath(name);
    if (!IsRegularFilePath(path) || !IsOpenForWriting(path)) {
        return false;
    }
    awaitingWriter.insert(name);
    return true;
}

// The writer of a waiting addition closed the file: true when the addition may be handled now
// (no other writer holds it open any more).
bool WriterOfAdditionDone(const std::string& name) {
    if (IsOpenForWriting(WatchedPath(name))) {
        return false;
    }
    awaitingWriter.erase(name);
    return true;
}

// A completed rename; one side inside the program's own folders makes it an addition or a
// removal seen from the watched folder.
void DispatchRename(const std::string& oldName, const std::string& newName, TBatchContext& batch) {
    batch.AddedInBatch.erase(oldName);
    batch.AddedInBatch.erase(newName);
    const bool oldOwn = batch.Own.Hold(oldName);
    const bool newOwn = batch.LeavesOut(newName);
    if ((oldOwn || IsLeftOutTransient(oldName)) && newOwn) {
        return;
    }
    if (awaitingWriter.erase(oldName) != 0 && !newOwn) {
        awaitingWriter.insert(newName);  // still being written: its addition comes at the close
        return;
    }
    // A transient file renamed onto a document stays a rename: it brings along what it has.
    if (oldOwn) {
        HandleChange(newName, newName, kAdded);
    } else if (newOwn) {
        HandleChange(oldName, oldName, kRemoved);
    } else {
        HandleChange(oldName, newName, kRenamed);
    }
}

void DispatchAddedOrRemoved(const std::string& name, int action, TBatchContext& batch);

void DispatchModified(const std::string& name, TBatchContext& batch, bool fromRescan) {
    if (awaitingWriter.count(name) != 0) {
        if (WriterOfAdditionDone(name)) {
            DispatchAddedOrRemoved(name, kAdded, batch);
        }
        return;
    }
    if (batch.AddedInBatch.count(name) != 0 ||
        closedAdditions.IsCloseOfAddition(name, StampOfPath(WatchedPath(name)))) {
        return;
    }
    if (HeldEvent.SkipNextModified != 0 && HeldEvent.NewName == name) {
        HeldEvent.SkipNextModified = 0;
        return;
    }
    HeldEvent.OldName = name;
    HeldEvent.NewName = name;
    HeldEvent.Action = kModified;
    HeldEvent.SkipNextModified = 1;
    HandleChange(name, name, kModified, fromRescan);
}

void DispatchAddedOrRemoved(const std::string& name, int action, TBatchContext& batch) {
    if (batch.LeavesOut(name)) {
        return;
    }
    if (action == kAdded && awaitingWriter.count(name) == 0 && DeferAdditionToWriter(name)) {
        return;
    }
    awaitingWriter.erase(name);  // removed while still being written, or its addition now
    if (action == kAdded) {
        closedAdditions.Current[name] = StampOfPath(WatchedPath(name));
    } else {
        closedAdditions.Current.erase(name);
        closedAdditions.Previous.erase(name);
    }
    HeldEvent.SkipNextModified = 0;
    const bool queued = HandleChange(name, name, action);
    if (action == kAdded && queued) {
        batch.AddedInBatch.insert(name);
    } else {
        batch.AddedInBatch.erase(name);
    }
}

void DispatchRenameNewName(const std::string& name, TBatchContext& batch) {
    if (!AwaitingRenameNewName()) {
        // A new name without its old name: the file appeared under this name.
        DispatchAddedOrRemoved(name, kAdded, batch);
        return;
    }
    HeldEvent.NewName = name;
    DispatchRename(HeldEvent.OldName, HeldEvent.NewName, batch);
    // A modification of the new name right after the rename (the renamed file closed by its
    // writer) is already in the snapshot the rename leaves as the newest of the history.
    HeldEvent.SkipNextModified = 1;
}

// The batch with each save through a temporary or backup file made one modification.
std::vector<ChangeRecord> MergedSaves(const std::vector<ChangeRecord>& batch) {
    const TSaveMergeRules rules{
        IsLeftOutTransient,
        [](const std::string& name) { return IsExistingFolder(WatchedPath(name)); },
        IsOwnTemporaryName};
    return MergeSavesThroughSecondFiles(batch, rules);
}

void DispatchRecord(const ChangeRecord& record, TBatchContext& batch) {
    switch (record.Action) {
        case kAdded:
        case kRemoved:
            DispatchAddedOrRemoved(record.Name, record.Action, batch);
            break;
        case kModified:
            if (!batch.LeavesOut(record.Name)) {
                DispatchModified(record.Name, batch, record.FromRescan);
            }
            break;
        case kRenameOldName:
            HeldEvent.OldName = record.Name;
            HeldEvent.NewName.clear();
            HeldEvent.Action = kRenameOldName;
            HeldEvent.SkipNextModified = 1;
            break;
        case kRenameNewName:
            DispatchRenameNewName(record.Name, batch);
            break;
        case kRecordUnwatched:
            NoteFolderUnwatched(FolderPath(record.Name));
            break;
        case kRecordWatchedAgain:
            NoteFolderWatchedAgain(FolderPath(record.Name));
            break;
        case kRecordOverflowRescanned:
            NoteOverflowRescan(record.Count);
            break;
        case kRecordCaughtUp:
            NoteCaughtUp(record.Count);
            break;
        default:
            break;
    }
}

}  // namespace

void DispatchNotifications(const std::vector<ChangeRecord>& batch,
                           const std::atomic<bool>* abandon) {
    if (batch.empty()) {
        return;
    }
    // inotify reports one modification per save. Two of one file within a batch are two saves
    // that both happened before the batch was read, so the one snapshot taken for the first sees
    // the content of both. A modification in a later batch is a later save and must never be
    // dropped, so the skip does not reach across batches.
    HeldEvent.SkipNextModified = 0;
    closedAdditions.NextBatch();
    TBatchContext context;
    for (const ChangeRecord& record : MergedSaves(batch)) {
        if (abandon != nullptr && abandon->load()) {
            return;
        }
        DispatchRecord(record, context);
    }
}

bool HandleChange(const std::string& oldName, const std::string& newName, int action,
                  bool fromRescan) {
    AppendConsoleLine(ConsoleLine(oldName, newName, action));
    if (IsRepeat(oldName, newName, action)) {
        return false;
    }
    const std::string path = WatchedPath(newName);
    if (!IsExistingFolder(path)) {
        if (!PassesExtensionException(oldName, newName)) {
            WriteLogLine(kLogExtensionException, kImageWarning, oldName);
            return false;
        }
        if (!PassesSizeException(path)) {
            WriteLogLine(kLogSizeException, kImageWarning, oldName);
            return false;
        }
    }
    QueueAppend(oldName, newName, action, fromRescan);
    if (SnapshotQueueDrainer) {
        SnapshotQueueDrainer();
    }
    return true;
}
