// TransferFile: the copy loop, rename and permanent delete.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <thread>

#include "core/EventCodes.h"
#include "core/SharedState.h"
#include "platform/AtomicFile.h"
#include "platform/FileAccess.h"
#include "platform/FileAttributes.h"
#include "store/DayLog.h"
#include "store/FileOperation.h"
#include "store/PathText.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kCopyBufferSize = 8192;
constexpr int kOpenRetries = 200;
constexpr auto kOpenRetryPause = std::chrono::milliseconds(10);
// Written data is handed to the disk in pieces of this size while the copy runs, so the final
// flush has little left to do and a large copy does not pile up unwritten pages.
constexpr std::int64_t kWritebackStep = 8 * 1024 * 1024;

enum TShellKind { kShellRename = 2, kShellDelete = 4 };

// Opens the source for reading, trying again 200 times 10 ms apart while it exists. A source
// that turns out not to be a regular file (replaced meanwhile) does not count as opened.
int OpenSourceWithRetries(const std::string& source) {
    for (int attempt = 0; attempt <= kOpenRetries; ++attempt) {
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

// Copies everything readable from in to out in 8192-byte pieces; false on a read or write error.
bool CopyContent(int in, int out) {
    char buffer[kCopyBufferSize];
    std::int64_t written = 0;
    std::int64_t handedToDisk = 0;
    for (;;) {
        const std::int64_t got = ReadBlock(in, buffer, sizeof buffer);
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            return true;
        }
        if (!WriteAll(out, buffer, static_cast<size_t>(got))) {
            return false;
        }
        written += got;
        if (written - handedToDisk >= kWritebackStep) {
            StartWriteback(out, handedToDisk, written - handedToDisk);
            handedToDisk = written;
        }
    }
}

// The copy of mode 0; returns the log code that tells how it ended.
TLogCode CopyFileContent(const std::string& source, const std::string& linkedTarget) {
    const std::string target = ThroughLinks(linkedTarget);
    const std::string folder = FolderOf(target);
    if (!EnsureFolder(folder)) {
        return kLogFolderFailed;
    }
    const int in = OpenSourceWithRetries(source);
    if (in < 0) {
        return kLogOpenFailed;
    }
    AdviseSequentialReading(in);
    const unsigned sourceBits = PermissionBitsOf(in);
    std::string tempPath;
    const int out = OpenReplacement(folder, target, &tempPath);
    if (out < 0) {
        CloseFile(in);
        return kLogCreateFailed;
    }
    const bool copied = CopyContent(in, out);
    CloseFile(in);
    if (!copied) {
        DiscardTempFile(out, tempPath);
        return kLogWriteFailed;
    }
    GiveCopyItsAttributes(out, tempPath, target, sourceBits);
    bool renameFailed = false;
    if (!CommitTempFile(out, tempPath, target, &renameFailed)) {
        return renameFailed ? kLogCreateFailed : kLogWriteFailed;
    }
    return kLogCopied;
}

}  // namespace

bool TransferFile(const std::string& source, const std::string& target, int mode, bool silent) {
    RefreshTrayIcon(true);
    bool result = true;
    if (mode == kTransferCopy && IsExistingFile(source)) {
        const TLogCode outcome = CopyFileContent(source, target);
        result = outcome == kLogCopied;
        WriteLogLine(outcome, result ? kImageSnapshot : kImageError, source);
    } else if (mode == kTransferRename) {
        ShellFileOperation(source, target, kShellRename, silent);
    } else if (mode == kTransferDelete) {
        ShellFileOperation(source, target, kShellDelete, silent);
    }
    RefreshTrayIcon(false);
    return result;
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
