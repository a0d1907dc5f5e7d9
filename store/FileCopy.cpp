// TransferFile: the copy loop, rename and permanent delete.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <thread>

#include "core/EventCodes.h"
#include "core/SharedState.h"
#include "platform/AtomicFile.h"
#include "platform/FileAccess.h"
#include "store/DayLog.h"
#include "store/FileOperation.h"
#include "store/PathText.h"
#include "store/SnapshotIndex.h"
#include "store/StoreThread.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kCopyBufferSize = 8192;
constexpr int kOpenRetries = 200;
constexpr auto kOpenRetryPause = std::chrono::milliseconds(10);
// Written data is handed to the disk in pieces of this size while the copy runs, so the final
// flush has little left to do and a large copy does not pile up unwritten pages.
constexpr std::int64_t kWritebackStep = 8 * 1024 * 1024;

enum TShellKind { kShellRename = 2, kShellDelete = 4 };

// A copy given up because the program closes: nothing is logged for it.
constexpr int kCopyAbandoned = 0;
enum class TCopyEnd { Complete, Failed, Abandoned };

// Opens the source for reading, trying again 200 times 10 ms apart while it exists. A source
// that turns out not to be a regular file (replaced meanwhile) does not count as opened.
int OpenSourceWithRetries(const std::string& source) {
    for (int attempt = 0; attempt <= kOpenRetries && !StoreWorkAbandoned(); ++attempt) {
        if (attempt > 0) {
            std::this_thread::sleep_for(kOpenRetryPause);
        }
        int fd = -1;
        switch (OpenRegularFileForReading(source, &fd)) {
            case TOpenResult::Opened:
                return fd;
            case TOpenResult::NotRegular:
                return -1;
            case TOpenResult::Missing:
                return -1;  // gone: waiting will not bring it back
            case TOpenResult::Failed:
                break;
        }
    }
    return -1;
}

bool EnsureFolder(const std::string& folder) {
    if (IsExistingFolder(folder)) {
        return true;
    }
    std::error_code ec;
    fs::create_directories(folder, ec);
    return IsExistingFolder(folder);
}

std::string FolderOf(const std::string& path) {
    const fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? "." : parent.string();
}

// A target that is a symbolic link is written through the link, as opening it would, instead of
// the link itself being replaced by the copy.
std::string ThroughLinks(const std::string& target) {
    std::error_code ec;
    if (!fs::is_symlink(target, ec)) {
        return target;
    }
    const fs::path real = fs::weakly_canonical(target, ec);
    return ec ? target : real.string();
}

// Copies everything readable from in to out in 8192-byte pieces; stops on a read or write error,
// or when the program closes meanwhile.
TCopyEnd CopyContent(int in, int out) {
    char buffer[kCopyBufferSize];
    std::int64_t written = 0;
    std::int64_t handedToDisk = 0;
    for (;;) {
        if (StoreWorkAbandoned()) {
            return TCopyEnd::Abandoned;
        }
        const std::int64_t got = ReadBlock(in, buffer, sizeof buffer);
        if (got < 0) {
            return TCopyEnd::Failed;
        }
        if (got == 0) {
            return TCopyEnd::Complete;
        }
        if (!WriteAll(out, buffer, static_cast<size_t>(got))) {
            return TCopyEnd::Failed;
        }
        written += got;
        if (written - handedToDisk >= kWritebackStep) {
            StartWriteback(out, handedToDisk, written - handedToDisk);
            handedToDisk = written;
        }
    }
}

// The copy of mode 0 into folder. The final name is asked of claimTarget only once the copy is
// complete, so a snapshot gets its number only for a copy that exists. Returns the log code that
// tells how it ended, or kCopyAbandoned; *target holds the final name on success.
int CopyFileContent(const std::string& source, const std::string& folder,
                    const std::function<std::string()>& claimTarget, std::string* target) {
    if (!EnsureFolder(folder)) {
        return kLogFolderFailed;
    }
    const int in = OpenSourceWithRetries(source);
    if (in < 0) {
        return StoreWorkAbandoned() ? kCopyAbandoned : kLogOpenFailed;
    }
    AdviseSequentialReading(in);
    std::string tempPath;
    const int out = CreateTempFileIn(folder, &tempPath);
    if (out < 0) {
        CloseFile(in);
        return kLogCreateFailed;
    }
    const TCopyEnd end = CopyContent(in, out);
    CloseFile(in);
    if (end != TCopyEnd::Complete) {
        DiscardTempFile(out, tempPath);
        return end == TCopyEnd::Abandoned ? kCopyAbandoned : kLogWriteFailed;
    }
    *target = claimTarget();
    TakeOverTargetAttributes(out, *target);
    bool renameFailed = false;
    if (!CommitTempFile(out, tempPath, *target, &renameFailed)) {
        return renameFailed ? kLogCreateFailed : kLogWriteFailed;
    }
    return kLogCopied;
}

void LogCopyOutcome(int outcome, const std::string& source) {
    if (outcome != kCopyAbandoned) {
        WriteLogLine(outcome, outcome == kLogCopied ? kImageSnapshot : kImageError, source);
    }
}

}  // namespace

bool TransferFile(const std::string& source, const std::string& target, int mode, bool silent) {
    RefreshTrayIcon(true);
    bool result = true;
    if (mode == kTransferCopy && IsExistingFile(source)) {
        const std::string linked = ThroughLinks(target);
        std::string copied;
        const int outcome = CopyFileContent(
            source, FolderOf(linked), [&linked] { return linked; }, &copied);
        result = outcome == kLogCopied;
        LogCopyOutcome(outcome, source);
    } else if (mode == kTransferRename) {
        ShellFileOperation(source, target, kShellRename, silent);
    } else if (mode == kTransferDelete) {
        ShellFileOperation(source, target, kShellDelete, silent);
    }
    RefreshTrayIcon(false);
    return result;
}

bool CopyAsNewSnapshot(const std::string& source, const std::string& folder, int actionCode) {
    if (!IsExistingFile(source)) {
        return true;  // gone before its turn: a later event tells what became of it
    }
    RefreshTrayIcon(true);
    int number = 0;
    std::string copy;
    int outcome = CopyFileContent(
        source, folder,
        [&] {
            number = NextSnapshotNumberIn(folder);
            return SnapshotCopyPath(folder, number);
        },
        &copy);
    if (outcome == kLogCopied && !RecordSnapshot(folder, number, actionCode)) {
        std::error_code ec;
        fs::remove(copy, ec);  // a copy the index does not name would only take space
        outcome = kLogWriteFailed;
    }
    LogCopyOutcome(outcome, source);
    RefreshTrayIcon(false);
    return outcome == kLogCopied;
}

bool ShellFileOperation(const std::string& source, const std::string& target, int kind,
                        bool /*silent: there is no progress display to suppress*/) {
    std::error_code ec;
    if (kind == kShellRename) {
        fs::rename(source, target, ec);
        return !ec;
    }
    if (kind == kShellDelete) {
        return fs::remove_all(source, ec) > 0 && !ec;
    }
    return false;
}
