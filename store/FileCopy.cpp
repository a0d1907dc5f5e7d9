// TransferFile: a copy (a restore), a rename and a permanent delete.
#include <filesystem>

#include "core/EventCodes.h"
#include "core/SharedState.h"
#include "platform/AtomicFile.h"
#include "platform/FileAccess.h"
#include "platform/FileData.h"
#include "store/DayLog.h"
#include "store/FileOperation.h"
#include "store/PathText.h"
#include "store/SourceFile.h"
#include "store/StoreThread.h"

namespace fs = std::filesystem;

namespace {

enum TShellKind { kShellRename = 2, kShellDelete = 4 };

// A copy given up because the program closes: nothing is logged for it.
constexpr int kCopyAbandoned = 0;

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

// The copy of mode 0: into a temporary file beside the target, flushed and renamed over the target
// only when complete. Returns the log code that tells how it ended, or kCopyAbandoned.
int CopyFileContent(const std::string& source, const std::string& linkedTarget) {
    const std::string target = ThroughLinks(linkedTarget);
    const std::string folder = FolderOf(target);
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
    const TDataCopyEnd end = CopyFileData(in, out, StoreWorkAbandoned);
    CloseFile(in);
    if (end != TDataCopyEnd::Complete) {
        DiscardTempFile(out, tempPath);
        return end == TDataCopyEnd::Abandoned ? kCopyAbandoned : kLogWriteFailed;
    }
    TakeOverTargetAttributes(out, target);
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
        const int outcome = CopyFileContent(source, target);
        result = outcome == kLogCopied;
        if (outcome != kCopyAbandoned) {
            WriteLogLine(outcome, result ? kImageSnapshot : kImageError, source);
        }
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
