#include "store/SnapshotBatch.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <thread>

#include "core/EventCodes.h"
#include "core/SharedState.h"
#include "platform/AtomicFile.h"
#include "platform/FileAccess.h"
#include "platform/FileAttributes.h"
#include "platform/FileData.h"
#include "store/DayLog.h"
#include "store/IdenticalCopy.h"
#include "store/NewestSnapshot.h"
#include "store/SnapshotIndex.h"
#include "store/SourceFile.h"
#include "store/SpaceGuard.h"
#include "store/StoreThread.h"

namespace fs = std::filesystem;

namespace {

// A file that changes while it is copied is copied again, this many times at most.
constexpr int kCopyAttempts = 3;
constexpr auto kChangedPause = std::chrono::milliseconds(20);

enum class TTakeEnd { Copied, Failed, Abandoned, BeingWritten };

void RemoveFile(const std::string& path) {
    std::error_code ec;
    fs::remove(path, ec);
}

// Copies the open source into a new temporary file of folder; Copied only for a copy during which
// the source kept its size and modification time and after which no program holds it open for
// writing (a writer that truncated the file just before the copy has not written yet: its close
// brings the change that gets the whole file). *failureCode tells why it failed.
TTakeEnd CopyUnchanged(int in, const std::string& source, const std::string& folder,
                       std::string* tempPath, int* failureCode) {
    for (int attempt = 0; attempt < kCopyAttempts; ++attempt) {
        if (attempt > 0) {
            std::this_thread::sleep_for(kChangedPause);
        }
        const TFileStamp before = StampOf(in);
        if (::lseek(in, 0, SEEK_SET) != 0) {
            *failureCode = kLogWriteFailed;
            return TTakeEnd::Failed;
        }
        const int out = CreateTempFileIn(folder, tempPath);
        if (out < 0) {
            *failureCode = kLogCreateFailed;
            return TTakeEnd::Failed;
        }
        const TDataCopyEnd end = CopyFileData(in, out, StoreWorkAbandoned);
        const bool unchanged = StampOf(in) == before;
        if (end == TDataCopyEnd::Complete && unchanged && IsOpenForWriting(source)) {
            DiscardTempFile(out, *tempPath);
            return TTakeEnd::BeingWritten;
        }
        if (end == TDataCopyEnd::Complete && unchanged) {
            SetPermissionBits(out, PermissionBitsOf(in));  // never readable by more than the source
            if (::close(out) == 0) {
                return TTakeEnd::Copied;
            }
            RemoveFile(*tempPath);
            *failureCode = kLogWriteFailed;
            return TTakeEnd::Failed;
        }
        DiscardTempFile(out, *tempPath);
        if (end == TDataCopyEnd::Abandoned) {
            return TTakeEnd::Abandoned;
        }
        *failureCode = kLogWriteFailed;
        if (end == TDataCopyEnd::Failed) {
            return TTakeEnd::Failed;
        }
    }
    return TTakeEnd::Failed;  // still being written: its next save brings the next snapshot
}

// Writes text into a new temporary file of folder without flushing it; "" when that failed.
std::string WriteTempFile(const std::string& folder, const std::string& text) {
    std::string tempPath;
    const int fd = CreateTempFileIn(folder, &tempPath);
    if (fd < 0) {
        return {};
    }
    const bool written = WriteAll(fd, text.data(), text.size());
    if (::close(fd) != 0 || !written) {
        RemoveFile(tempPath);
        return {};
    }
    return tempPath;
}

}  // namespace

TSnapshotBatch::~TSnapshotBatch() {
    Discard();
}

std::chrono::steady_clock::duration TSnapshotBatch::Age() const {
    return lines_.empty() ? std::chrono::steady_clock::duration::zero()
                          : std::chrono::steady_clock::now() - started_;
}

std::string TSnapshotBatch::PendingCopyIn(const std::string& folder) const {
    for (auto copy = copies_.rbegin(); copy != copies_.rend(); ++copy) {
        if (copy->Folder == folder) {
            return copy->TempPath;
        }
    }
    return {};
}

void TSnapshotBatch::AddLogLine(int code, int image, const std::string& fileText) {
    if (lines_.empty()) {
        started_ = std::chrono::steady_clock::now();
    }
    lines_.push_back({code, image, fileText, -1});
}

void TSnapshotBatch::Add(const std::string& source, const std::string& folder, int actionCode) {
    if (!copying_) {
        copying_ = true;
        RefreshTrayIcon(true);
    }
    if (!CreatePrivateFolders(folder)) {  // the store's folders are for their owner only
        AddLogLine(kLogFolderFailed, kImageError, source);
        return;
    }
    const int in = OpenSourceWithRetries(source);
    if (in < 0) {
        if (!StoreWorkAbandoned()) {
            AddLogLine(kLogOpenFailed, kImageError, source);
        }
        return;
    }
    if (IsOpenForWriting(source)) {
        // A program is writing the file again: what it holds now may be half written. The
        // writer's close is reported as a change of its own, whose snapshot then holds the whole.
        CloseFile(in);
        return;
    }
    AdviseSequentialReading(in);
    std::string tempPath;
    if (LinkIdenticalCopy(in, NewestCopyIn(folder), folder, &tempPath)) {
        CloseFile(in);
        AddCopy(source, folder, tempPath, actionCode);
        return;
    }
    if (!RoomForCopy(folder, StampOf(in).Size)) {
        CloseFile(in);
        AddLogLine(kLogStoreDiskFull, kImageError, source);
        return;
    }
    int failureCode = kLogWriteFailed;
    const TTakeEnd end = CopyUnchanged(in, source, folder, &tempPath, &failureCode);
    CloseFile(in);
    if (end == TTakeEnd::Abandoned || end == TTakeEnd::BeingWritten) {
        return;
    }
    if (end == TTakeEnd::Failed) {
        AddLogLine(failureCode, kImageError, source);
        return;
    }
    AddCopy(source, folder, tempPath, actionCode);
}

// The copy that holds folder's newest snapshot: one of this batch not yet named, or the newest
// copy on disk.
std::string TSnapshotBatch::NewestCopyIn(const std::string& folder) const {
    for (auto copy = copies_.rbegin(); copy != copies_.rend(); ++copy) {
        if (copy->Folder == folder && !copy->TempPath.empty()) {
            return copy->TempPath;
        }
    }
    return NewestSnapshotCopy(folder);
}

void TSnapshotBatch::AddCopy(const std::string& source, const std::string& folder,
                             const std::string& tempPath, int actionCode) {
    copies_.push_back({folder, tempPath, NumberFor(folder), SnapshotEntryText(actionCode)});
    AddLogLine(kLogCopied, kImageSnapshot, source);
    lines_.back().Copy = static_cast<int>(copies_.size()) - 1;
}

int TSnapshotBatch::NumberFor(const std::string& folder) {
    const auto found = nextNumber_.find(folder);
    const int number = found != nextNumber_.end() ? found->second : NextSnapshotNumberIn(folder);
    nextNumber_[folder] = number + 1;
    return number;
}

void TSnapshotBatch::Commit() {
    if (lines_.empty()) {
        return;
    }
    if (!copies_.empty()) {
        const std::string& anyFolder = copies_.front().Folder;
        // Every copy's data is on disk before any copy gets its final name.
        if (SyncFileSystemOf(anyFolder) && RenameCopies()) {
            WriteIndexes();
        }
    }
    WriteLines();
    Clear();
}

// Gives each copy its final name. False when none could be named.
bool TSnapshotBatch::RenameCopies() {
    bool any = false;
    for (TPendingCopy& copy : copies_) {
        if (std::rename(copy.TempPath.c_str(),
                        SnapshotCopyPath(copy.Folder, copy.Number).c_str()) == 0) {
            copy.TempPath.clear();
            any = true;
        }
    }
    return any;
}

// Adds the entries of the named copies to their indexes: written under temporary names, flushed,
// then renamed over the indexes and flushed again, so an entry shows only for a durable copy. A
// copy whose entry cannot be written is removed again.
void TSnapshotBatch::WriteIndexes() {
    std::map<std::string, std::vector<TIndexEntry>> entries;
    std::vector<std::string> order;
    for (const TPendingCopy& copy : copies_) {
        if (copy.TempPath.empty()) {
            if (entries.count(copy.Folder) == 0) {
                order.push_back(copy.Folder);
            }
            entries[copy.Folder].push_back({copy.Number, copy.EntryText});
        }
    }
    struct TIndexWrite {
        std::string Folder;
        std::string TempPath;
    };
    std::vector<TIndexWrite> writes;
    std::vector<std::string> byKey;  // indexes edited by hand: written key by key
    for (const std::string& folder : order) {
        const std::optional<std::string> text = IndexTextWithEntries(folder, entries[folder]);
        if (!text) {
            byKey.push_back(folder);
            continue;
        }
        writes.push_back({folder, WriteTempFile(folder, *text)});
    }
    const bool synced = SyncFileSystemOf(order.front());
    std::map<std::string, bool> recorded;
    for (const TIndexWrite& write : writes) {
        recorded[write.Folder] =
            synced && !write.TempPath.empty() &&
            std::rename(write.TempPath.c_str(), SnapshotIndexPath(write.Folder).c_str()) == 0;
        if (!recorded[write.Folder] && !write.TempPath.empty()) {
            RemoveFile(write.TempPath);
        }
    }
    for (const std::string& folder : byKey) {
        bool all = true;
        for (const TIndexEntry& entry : entries[folder]) {
            all = RecordSnapshotEntry(folder, entry.Number, entry.Text) && all;
        }
        recorded[folder] = all;
    }
    SyncFileSystemOf(order.front());
    for (TPendingCopy& copy : copies_) {
        if (copy.TempPath.empty() && !recorded[copy.Folder]) {
            RemoveFile(SnapshotCopyPath(copy.Folder, copy.Number));
            copy.Number = 0;  // not recorded: its line tells the failure
        }
    }
}

void TSnapshotBatch::WriteLines() {
    std::vector<TLogEntry> entries;
    entries.reserve(lines_.size());
    for (TLine& line : lines_) {
        if (line.Copy >= 0) {
            const TPendingCopy& copy = copies_[static_cast<std::size_t>(line.Copy)];
            if (!copy.TempPath.empty() || copy.Number == 0) {
                line.Code = kLogWriteFailed;
                line.Image = kImageError;
            }
        }
        entries.push_back({line.Code, line.Image, std::move(line.FileText)});
    }
    WriteLogLines(entries);
}

void TSnapshotBatch::Discard() {
    Clear();
}

void TSnapshotBatch::Clear() {
    if (copying_) {
        copying_ = false;
        RefreshTrayIcon(false);
    }
    for (const TPendingCopy& copy : copies_) {
        if (!copy.TempPath.empty()) {
            RemoveFile(copy.TempPath);  // a copy that could not be named
        }
    }
    copies_.clear();
    lines_.clear();
    nextNumber_.clear();
}

void RemoveLeftoverTemporaryFiles(const std::string& storeFolder) {
    if (storeFolder.empty()) {
        return;
    }
    std::error_code ec;
    std::vector<fs::path> leftovers;
    for (fs::recursive_directory_iterator it(storeFolder, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (it->is_regular_file(ec) && IsOwnTemporaryName(it->path().filename().string())) {
            leftovers.push_back(it->path());
        }
    }
    for (const fs::path& path : leftovers) {
        fs::remove(path, ec);
    }
}
