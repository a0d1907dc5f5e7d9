#include "platform/ChangeSource.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <unordered_set>
#include <utility>

#include "platform/FileAccess.h"
#include "platform/InotifySource.h"

namespace {

constexpr uint32_t kEventMask = IN_CREATE | IN_DELETE | IN_CLOSE_WRITE | IN_MOVED_FROM |
                                IN_MOVED_TO | IN_DELETE_SELF | IN_ONLYDIR | IN_EXCL_UNLINK;
// Folders inside the tree are never reached through a symbolic link. The watched folder itself
// may be one (a documents folder that points elsewhere is common), so it is followed.
constexpr uint32_t kFolderMask = kEventMask | IN_DONT_FOLLOW;
// The watched folder itself also tells when it is renamed away: its path then leads elsewhere.
constexpr uint32_t kRootMask = kEventMask | IN_MOVE_SELF;

constexpr size_t kBufferBytes = 64 * 1024;
// How long a rename's old half waits for its new half before it counts as a move out.
constexpr std::chrono::milliseconds kPartnerWait{40};
// A batch is handed on once it holds this many records, even if more are queued.
constexpr size_t kMaxBatch = 4096;
// While the batch holds a file created in it that has not been closed, renamed or removed yet
// (a save under way: a temporary file written, flushed and then renamed over the document),
// records that follow within this pause join the batch, so that the save is handled as one; a
// batch waits for followers at most kGatherLimit in all.
constexpr std::chrono::milliseconds kGatherPause{50};
// After a file renamed over another, records that follow at once (the renamed file closed by
// its writer) join the batch too.
constexpr std::chrono::milliseconds kGatherLinger{15};
constexpr std::chrono::milliseconds kGatherLimit{150};
// A save is a handful of records: a batch that holds more (a burst) is handed on at once.
constexpr size_t kGatherRecords = 32;
// The rescan after an overflow looks this much further back than the last complete read:
// status-change times come from a coarse clock, and some file systems (FAT) keep them in steps
// of two seconds. A file reported twice costs little, a missed one is a lost version.
constexpr time_t kRescanMarginSeconds = 2;

std::string SystemErrorText(int code) {
    return std::system_category().message(code);
}

std::string ReadLimit(const char* file) {
    std::ifstream in(file);
    std::string value;
    in >> value;
    return value;
}

std::string LimitErrorText(int code, const char* what, const char* file) {
    std::string text = SystemErrorText(code);
    std::string limit = ReadLimit(file);
    text += ": the system's limit of ";
    text += limit.empty() ? std::string("inotify ") + what : limit + " inotify " + what;
    text += " is reached; a higher number in ";
    text += file;
    text += " raises it";
    return text;
}

std::string InstanceErrorText(int code) {
    if (code == EMFILE) {
        return LimitErrorText(code, "instances", "/proc/sys/fs/inotify/max_user_instances");
    }
    return SystemErrorText(code);
}

// The exact time: file times may be taken from a finer clock than the coarse one.
timespec ExactNow() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return now;
}

timespec CoarseNow() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return now;
}

bool Older(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

std::string Join(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "/" + name;
}

struct FolderEntry {
    std::string Name;
    bool IsFolder = false;
    timespec ChangeTime{};
};

// The entries of a folder, symbolic links as themselves. Status-change times are read only when
// asked for. False when the folder cannot be read (its errno is kept).
bool ListFolder(const std::string& path, bool withChangeTimes, std::vector<FolderEntry>* entries) {
    entries->clear();
    const int fd = OpenFolderAnyLength(path, O_RDONLY);
    DIR* dir = fd < 0 ? nullptr : fdopendir(fd);
    if (dir == nullptr) {
        if (fd >= 0) {
            close(fd);
        }
        return false;
    }
    while (const dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        FolderEntry item{std::move(name), entry->d_type == DT_DIR, {}};
        if (entry->d_type == DT_UNKNOWN || (withChangeTimes && !item.IsFolder)) {
            struct stat status {};
            if (fstatat(dirfd(dir), item.Name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
                continue;  // gone meanwhile
            }
            item.IsFolder = S_ISDIR(status.st_mode);
            item.ChangeTime = status.st_ctim;
        }
        entries->push_back(std::move(item));
    }
    closedir(dir);
    return true;
}

// A path that vanished under us: the entry went away, or a folder above it has a new name that
// the queue has yet to tell.
bool PathWentStale(int code) {
    return code == ENOENT || code == ENOTDIR;
}

}  // namespace

std::unique_ptr<ChangeSource> ChangeSource::Open(const std::string& folder, bool subtree,
                                                 std::string* error,
                                                 std::optional<timespec> catchUpSince) {
    return InotifyChangeSource::Create(folder, subtree, error, catchUpSince);
}

std::unique_ptr<InotifyChangeSource> InotifyChangeSource::Create(
    const std::string& folder, bool subtree, std::string* error,
    std::optional<timespec> catchUpSince) {
    std::string ignored;
    std::string& errorText = error != nullptr ? *error : ignored;
    std::string root = folder;
    while (root.size() > 1 && root.back() == '/') {
        root.pop_back();
    }
    const timespec start = CoarseNow();
    int inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd < 0) {
        errorText = InstanceErrorText(errno);
        return nullptr;
    }
    int stopFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (stopFd < 0) {
        errorText = SystemErrorText(errno);
        close(inotifyFd);
        return nullptr;
    }
    std::unique_ptr<InotifyChangeSource> source(
        new InotifyChangeSource(inotifyFd, stopFd, std::move(root), subtree));
    source->lastCompleteRead_ = start;
    source->watchedSince_ = ExactNow();
    int rootWd = inotify_add_watch(inotifyFd, source->root_.c_str(), kRootMask);
    if (rootWd < 0 && errno == ENOSPC) {
        source->NoteRootUnwatched();  // no watch left at all: scanned until one can be had
        return source;
    }
    if (rootWd < 0) {
        errorText = SystemErrorText(errno);
        return nullptr;
    }
    source->tree_.Reset(rootWd);
    if (subtree && !source->WatchWholeTree(&errorText)) {
        return nullptr;
    }
    if (catchUpSince) {
        // The first thing the source does is the rescan that an overflow would bring, looking
        // back to the moment up to which watching was complete.
        source->lastCompleteRead_ = *catchUpSince;
        source->rescanPending_ = true;
        source->rescanForCatchUp_ = true;
    }
    return source;
}

InotifyChangeSource::InotifyChangeSource(int inotifyFd, int stopFd, std::string root, bool subtree)
    : inotifyFd_(inotifyFd),
      stopFd_(stopFd),
      root_(std::move(root)),
      subtree_(subtree),
      buffer_(new uint64_t[kBufferBytes / sizeof(uint64_t)]),
      readSize_(kBufferBytes),
      nextTick_(std::chrono::steady_clock::now() + kTickPeriod) {
    static_assert(alignof(uint64_t) >= alignof(inotify_event));
}

InotifyChangeSource::~InotifyChangeSource() {
    close(inotifyFd_);
    close(stopFd_);
}

void InotifyChangeSource::SetReadSize(size_t bytes) {
    readSize_ = std::clamp(bytes, sizeof(inotify_event) + 1, kBufferBytes);
}

std::string InotifyChangeSource::Absolute(const std::string& relativePath) const {
    return relativePath.empty() ? root_ : root_ + "/" + relativePath;
}

int InotifyChangeSource::AddWatch(const std::string& relativePath) {
    const std::string path = Absolute(relativePath);
    if (path.size() < PATH_MAX) {
        return inotify_add_watch(inotifyFd_, path.c_str(), kFolderMask);
    }
    // Too long for one call: the folder is opened piece by piece (never through a link) and
    // watched through its descriptor's name.
    const int folder = OpenFolderAnyLength(path, O_PATH | O_NOFOLLOW);
    if (folder < 0) {
        return -1;
    }
    const std::string byDescriptor = "/proc/self/fd/" + std::to_string(folder);
    const int wd = inotify_add_watch(inotifyFd_, byDescriptor.c_str(), kEventMask);
    const int error = errno;
    close(folder);
    errno = error;
    return wd;
}

// Watches every folder below the root at start. Folders that cannot be watched (no permission,
// gone meanwhile) are left out; those left out for lack of watches are told and scanned.
bool InotifyChangeSource::WatchWholeTree(std::string* /*error: no failure is left here*/) {
    std::vector<int> folders{tree_.Root()};
    while (!folders.empty()) {
        int wd = folders.back();
        folders.pop_back();
        const std::string path = tree_.PathOf(wd);
        std::vector<FolderEntry> entries;
        if (!ListFolder(Absolute(path), false, &entries) && PathWentStale(errno)) {
            MarkStale(wd);
        }
        for (const FolderEntry& entry : entries) {
            if (!entry.IsFolder) {
                continue;
            }
            int child = AddWatch(Join(path, entry.Name));
            if (child < 0) {
                if (errno == ENOSPC) {
                    NoteUnwatched(wd, entry.Name, Join(path, entry.Name));
                    continue;
                }
                if (PathWentStale(errno)) {
                    MarkStale(wd);
                }
                continue;
            }
            if (tree_.Contains(child)) {
                continue;  // the same folder reached a second time (a bind mount)
            }
            tree_.Place(child, wd, entry.Name);
            folders.push_back(child);
        }
    }
    return true;
}

void InotifyChangeSource::SignalStop() {
    stopRequested_ = true;
    const uint64_t one = 1;
    while (write(stopFd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

std::optional<timespec> InotifyChangeSource::CompleteUntil() const {
    if (ended_ || rootGone_ || rescanPending_ || pendingMove_ || !ready_.empty() ||
        !current_.empty()) {
        return std::nullopt;
    }
    timespec until = lastCompleteRead_;
    if ((rootUnwatched_ || !unwatched_.empty()) && Older(unwatchedScannedAt_, until)) {
        until = unwatchedScannedAt_;  // unwatched folders are complete up to their last scan
    }
    return until;
}

ChangeSource::Wake InotifyChangeSource::WaitForBatch(std::vector<ChangeRecord>* batch) {
    batch->clear();
    for (;;) {
        if (!ready_.empty()) {
            *batch = std::move(ready_.front());
            ready_.pop_front();
            return Wake::Batch;
        }
        if (!current_.empty() && !pendingMove_) {
            FinishBatch();
            continue;
        }
        if (ended_) {
            if (!rootGone_) {
                return Wake::Stop;
            }
            if (!goneTold_) {
                goneTold_ = true;
                return Wake::FolderGone;
            }
            return WaitForFolderToReturn();
        }
        if (stopRequested_) {
            // What was already taken from the kernel is still handed on before the stop.
            ResolveMoveOut();
            FinishBatch();
            if (ready_.empty()) {
                return Wake::Stop;
            }
            continue;
        }
        if (rescanPending_) {
            Rescan();
            continue;
        }
        if (UnwatchedScanDue()) {
            ScanUnwatched();
            continue;
        }
        if (std::chrono::steady_clock::now() >= nextTick_) {
            nextTick_ = std::chrono::steady_clock::now() + kTickPeriod;
            return Wake::Batch;  // empty: a moment for the caller to note how far watching got
        }
        if (WaitForInput()) {
            ReadAvailable();
            GatherFollowers();
        } else if (!stopRequested_ && !ended_ && pendingMove_ &&
                   std::chrono::steady_clock::now() - pendingSince_ >= kPartnerWait) {
            ResolveMoveOut();  // the partner did not come in time
        }
        if (!pendingMove_) {
            FinishBatch();
        }
    }
}

// Polls the inotify descriptor and the stop signal; true when events are ready. While a rename's
// old half waits for its partner, gives up after the rest of the waiting time; while folders are
// unwatched, when their next scan is due.
bool InotifyChangeSource::WaitForInput() {
    pollfd fds[2] = {{inotifyFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        std::optional<std::chrono::steady_clock::time_point> until;
        if (pendingMove_) {
            until = pendingSince_ + kPartnerWait;
        }
        if ((rootUnwatched_ || !unwatched_.empty()) && (!until || nextUnwatchedScan_ < *until)) {
            until = nextUnwatchedScan_;
        }
        if (!until || nextTick_ < *until) {
            until = nextTick_;
        }
        int timeout = -1;
        if (until) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(*until - now);
            timeout = static_cast<int>(std::max<int64_t>(0, left.count()));
        }
        int ready = poll(fds, 2, timeout);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            EndWatching();
            return false;
        }
        if (fds[1].revents != 0) {
            stopRequested_ = true;
            return false;
        }
        if ((fds[0].revents & POLLIN) != 0) {
            return true;
        }
        if (fds[0].revents != 0) {
            EndWatching();
        }
        return false;
    }
}

// True when a file created in the batch has no later record yet: its writer is still at work.
bool InotifyChangeSource::CreationUnderWay() const {
    std::unordered_set<std::string> open;
    for (const ChangeRecord& record : current_) {
        if (record.Action == 1) {
            open.insert(record.Name);
        } else {
            open.erase(record.Name);
        }
    }
    for (const std::string& name : open) {
        std::error_code error;
        if (std::filesystem::is_regular_file(
                std::filesystem::symlink_status(Absolute(name), error))) {
            return true;
        }
    }
    return false;
}

// True when the batch ends with the new name of a renamed file (not a folder).
bool InotifyChangeSource::EndsWithFileRenamed() const {
    if (current_.empty() || current_.back().Action != 5) {
        return false;
    }
    std::error_code error;
    return std::filesystem::is_regular_file(
        std::filesystem::symlink_status(Absolute(current_.back().Name), error));
}

// Keeps reading while a creation is under way (or a file was just renamed) and more records
// follow within a short pause.
void InotifyChangeSource::GatherFollowers() {
    const auto start = std::chrono::steady_clock::now();
    while (current_.size() < kGatherRecords && !ended_ && !stopRequested_ && !rescanPending_) {
        const auto left = kGatherLimit - (std::chrono::steady_clock::now() - start);
        if (left <= std::chrono::milliseconds::zero()) {
            return;
        }
        const bool creating = CreationUnderWay();
        if (!creating && !EndsWithFileRenamed()) {
            return;
        }
        const auto wanted = creating ? kGatherPause : kGatherLinger;
        const auto pause = std::min<std::chrono::steady_clock::duration>(wanted, left);
        if (!ReadableWithin(std::chrono::ceil<std::chrono::milliseconds>(pause))) {
            return;
        }
        ReadAvailable();
    }
}

// Polls the inotify descriptor and the stop signal for up to timeout; true when events are ready.
bool InotifyChangeSource::ReadableWithin(std::chrono::milliseconds timeout) {
    pollfd fds[2] = {{inotifyFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    int ready = poll(fds, 2, static_cast<int>(timeout.count()));
    while (ready < 0 && errno == EINTR) {
        ready = poll(fds, 2, static_cast<int>(timeout.count()));
    }
    if (ready <= 0) {
        return false;
    }
    if (fds[1].revents != 0) {
        stopRequested_ = true;
        return false;
    }
    return (fds[0].revents & POLLIN) != 0;
}

ssize_t InotifyChangeSource::ReadOnce(size_t bytes) {
    for (;;) {
        ssize_t got = read(inotifyFd_, buffer_.get(), bytes);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0 && errno == EINVAL && bytes < kBufferBytes) {
            bytes = kBufferBytes;  // the next event is larger than the shortened read
            continue;
        }
        return got;
    }
}

// Reads until the queue is empty (or the batch is full), turning events into records.
void InotifyChangeSource::ReadAvailable() {
    for (;;) {
        const timespec before = CoarseNow();
        ssize_t got = ReadOnce(readSize_);
        if (got < 0 && errno == EAGAIN) {
            lastCompleteRead_ = before;
            return;
        }
        if (got <= 0) {
            EndWatching();  // the descriptor is unusable; end rather than spin
            return;
        }
        const char* bytes = reinterpret_cast<const char*>(buffer_.get());
        for (ssize_t offset = 0; offset < got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(bytes + offset);
            if (HandleEvent(*event) == Flow::Abandon) {
                return;
            }
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
        if (current_.size() >= kMaxBatch && !pendingMove_) {
            return;
        }
    }
}

InotifyChangeSource::Flow InotifyChangeSource::HandleEvent(const inotify_event& event) {
    if ((event.mask & IN_Q_OVERFLOW) != 0) {
        BeginRescan(true);
        return Flow::Abandon;
    }
    const bool isPartner =
        (event.mask & IN_MOVED_TO) != 0 && pendingMove_ && pendingMove_->Cookie == event.cookie;
    if (!isPartner) {
        ResolveMoveOut();
    }
    if (!tree_.Contains(event.wd)) {
        if ((event.mask & IN_IGNORED) != 0) {
            retired_.erase(event.wd);
            return Flow::Continue;
        }
        if (retired_.count(event.wd) != 0) {
            return Flow::Continue;  // queued before we removed that watch
        }
        BeginRescan(false);  // our picture of the tree is out of date
        return Flow::Abandon;
    }
    if ((event.mask & (IN_IGNORED | IN_DELETE_SELF | IN_UNMOUNT | IN_MOVE_SELF)) != 0) {
        if (event.wd == tree_.Root()) {
            FolderWentAway();
            return Flow::Abandon;
        }
        if ((event.mask & IN_IGNORED) != 0) {
            HandleFolderGone(event.wd);
        }
        return Flow::Continue;
    }
    const std::string name = event.len > 0 ? std::string(event.name) : std::string();
    std::string path = tree_.PathOf(event.wd, name);
    const bool isFolder = (event.mask & IN_ISDIR) != 0;
    if ((event.mask & IN_CREATE) != 0) {
        Emit(1, path);
        if (isFolder && subtree_) {
            WatchNewFolder(event.wd, name, path);
        }
    } else if ((event.mask & IN_DELETE) != 0) {
        Emit(2, std::move(path));
    } else if ((event.mask & IN_CLOSE_WRITE) != 0) {
        Emit(3, std::move(path));
    } else if ((event.mask & IN_MOVED_FROM) != 0) {
        pendingMove_ = PendingMove{event.cookie, event.wd, name, std::move(path), isFolder};
        pendingSince_ = std::chrono::steady_clock::now();
    } else if ((event.mask & IN_MOVED_TO) != 0) {
        HandleMovedTo(event, name, path);
    }
    return Flow::Continue;
}

void InotifyChangeSource::HandleMovedTo(const inotify_event& event, const std::string& name,
                                        const std::string& path) {
    const bool isFolder = (event.mask & IN_ISDIR) != 0;
    if (pendingMove_) {  // HandleEvent has checked the cookie
        PendingMove from = std::move(*pendingMove_);
        pendingMove_.reset();
        Emit(4, from.Path);
        Emit(5, path);
        if (isFolder && subtree_) {
            int moved = tree_.ChildNamed(from.Wd, from.Name);
            if (moved != FolderTree::kNone) {
                tree_.Place(moved, event.wd, name);  // its whole subtree follows
                RelistStaleWithin(moved);
            } else {
                WatchNewFolder(event.wd, name, path);
            }
        }
        return;
    }
    Emit(1, path);  // moved in from outside the tree
    if (isFolder && subtree_) {
        WatchNewFolder(event.wd, name, path);
    }
}

// The old half of a rename whose new half never came: the entry left the tree.
void InotifyChangeSource::ResolveMoveOut() {
    if (!pendingMove_) {
        return;
    }
    PendingMove from = std::move(*pendingMove_);
    pendingMove_.reset();
    Emit(2, std::move(from.Path));
    if (from.IsFolder && subtree_) {
        int gone = tree_.ChildNamed(from.Wd, from.Name);
        if (gone != FolderTree::kNone) {
            ForgetWatches(tree_.Remove(gone));
        }
    }
}

void InotifyChangeSource::HandleFolderGone(int wd) {
    std::vector<int> removed = tree_.Remove(wd);
    removed.erase(removed.begin());  // the kernel has dropped that watch already
    ForgetWatches(removed);
}

void InotifyChangeSource::ForgetWatches(const std::vector<int>& wds) {
    for (int wd : wds) {
        inotify_rm_watch(inotifyFd_, wd);
        retired_.insert(wd);
    }
}

// A folder that appeared inside the tree: watch it first, then list it, so that anything created
// in it is either listed or reported by the kernel (or both). Its folders are handled alike.
void InotifyChangeSource::WatchNewFolder(int parent, const std::string& name,
                                         const std::string& path) {
    WatchFolders({{parent, name, path}});
}

void InotifyChangeSource::WatchFolders(std::vector<NewFolder> folders, const timespec* since) {
    while (!folders.empty()) {
        NewFolder folder = std::move(folders.back());
        folders.pop_back();
        int wd = AddWatch(folder.Path);
        if (wd < 0 && PathWentStale(errno)) {
            // The folder went away (its event follows), or a folder above it has a new name.
            if (!PathIsCurrent(folder.Parent)) {
                MarkStale(folder.Parent);
                continue;
            }
            wd = AddWatch(folder.Path);
        }
        if (wd < 0) {
            if (errno == ENOSPC) {
                NoteUnwatched(folder.Parent, folder.Name, folder.Path);
                ReportTreeUnwatched(folder.Path, since);
            }
            continue;
        }
        if (tree_.Contains(wd)) {
            // Listed already; at most its place is news.
            tree_.Place(wd, folder.Parent, folder.Name);
            continue;
        }
        tree_.Place(wd, folder.Parent, folder.Name);
        if (!tree_.Contains(wd)) {
            ForgetWatches({wd});
            continue;
        }
        ReportContents(wd, folder.Path, &folders, since);
    }
}

// Reports the entries of folder wd (see WatchFolders) and queues its folders for watching.
void InotifyChangeSource::ReportContents(int wd, const std::string& path,
                                         std::vector<NewFolder>* folders, const timespec* since) {
    std::vector<FolderEntry> entries;
    const bool withTimes = since != nullptr;
    if (!ListFolder(Absolute(path), withTimes, &entries) && PathWentStale(errno)) {
        if (PathIsCurrent(wd)) {
            ListFolder(Absolute(path), withTimes, &entries);
        } else {
            MarkStale(wd);
        }
    }
    for (FolderEntry& entry : entries) {
        std::string entryPath = Join(path, entry.Name);
        ReportEntry(entryPath, entry.IsFolder, entry.ChangeTime, since);
        if (entry.IsFolder) {
            folders->push_back({wd, std::move(entry.Name), std::move(entryPath)});
        }
    }
}

// True when the path we hold for folder wd leads to it now. Asking for its watch again is the
// test: the kernel answers with the descriptor of whatever folder the path leads to.
bool InotifyChangeSource::PathIsCurrent(int wd) {
    if (wd == tree_.Root()) {
        return true;
    }
    int found = AddWatch(tree_.PathOf(wd));
    if (found == wd) {
        return true;
    }
    if (found >= 0 && !tree_.Contains(found)) {
        ForgetWatches({found});
    }
    return false;
}

// Folder wd could not be listed completely because a path in it vanished. If a folder above it
// was renamed, the rename is still in the queue; once it arrives the folder is listed again
// under its new path.
void InotifyChangeSource::MarkStale(int wd) {
    if (wd != tree_.Root() && tree_.Contains(wd)) {
        stale_.insert(wd);
    }
}

// A folder moved inside the tree: relists those folders below it that were left incomplete.
void InotifyChangeSource::RelistStaleWithin(int moved) {
    if (stale_.empty()) {
        return;
    }
    std::vector<int> relist;
    for (int wd : stale_) {
        if (!tree_.Contains(wd)) {
            continue;
        }
        if (tree_.IsWithin(wd, moved)) {
            relist.push_back(wd);
        }
    }
    std::erase_if(stale_, [&](int wd) { return !tree_.Contains(wd); });
    std::vector<NewFolder> folders;
    for (int wd : relist) {
        stale_.erase(wd);
        ReportContents(wd, tree_.PathOf(wd), &folders);
    }
    WatchFolders(std::move(folders));
}

void InotifyChangeSource::ReportEntry(const std::string& path, bool isFolder,
                                      const timespec& changed, const timespec* since) {
    if (since == nullptr) {
        Emit(kRecordAdded, path);
    } else if (!isFolder && !Older(changed, *since)) {
        current_.push_back(ChangeRecord{kRecordModified, path, true});
        // Changed in the gap between that moment and the new watches: a later change also
        // comes as the kernel's own report.
        if (Older(rescanMark_, changed) && Older(changed, watchedSince_)) {
            ++changedAfterMark_;
        }
    }
}

void InotifyChangeSource::Emit(int action, std::string path) {
    current_.push_back(ChangeRecord{action, std::move(path)});
}

// A folder that could not be watched for lack of watches: told once, then scanned with what is
// below it until a watch can be had.
void InotifyChangeSource::NoteUnwatched(int parent, const std::string& name,
                                        const std::string& path) {
    for (const UnwatchedFolder& folder : unwatched_) {
        if (folder.Parent == parent && folder.Name == name) {
            return;
        }
    }
    if (unwatched_.empty()) {
        unwatchedScannedAt_ = CoarseNow();
        nextUnwatchedScan_ = std::chrono::steady_clock::now() + kUnwatchedScanPeriod;
    }
    unwatched_.push_back(UnwatchedFolder{parent, name, path});
    Emit(kRecordUnwatched, path);
}

// Lists a folder that has no watch, and everything below it, reporting its entries as
// ReportEntry does.
void InotifyChangeSource::ReportTreeUnwatched(const std::string& path, const timespec* since) {
    std::vector<std::string> folders{path};
    std::vector<FolderEntry> entries;
    while (!folders.empty()) {
        const std::string folder = std::move(folders.back());
        folders.pop_back();
        ListFolder(Absolute(folder), since != nullptr, &entries);
        for (const FolderEntry& entry : entries) {
            std::string entryPath = Join(folder, entry.Name);
            ReportEntry(entryPath, entry.IsFolder, entry.ChangeTime, since);
            if (entry.IsFolder && subtree_) {
                folders.push_back(std::move(entryPath));
            }
        }
    }
}

bool InotifyChangeSource::UnwatchedScanDue() const {
    return (rootUnwatched_ || !unwatched_.empty()) &&
           std::chrono::steady_clock::now() >= nextUnwatchedScan_;
}

// The watched folder itself got no watch: it is told as unwatched (by the empty name), and the
// whole tree is scanned until a watch can be had.
void InotifyChangeSource::NoteRootUnwatched() {
    rootUnwatched_ = true;
    unwatchedScannedAt_ = CoarseNow();
    nextUnwatchedScan_ = std::chrono::steady_clock::now() + kUnwatchedScanPeriod;
    Emit(kRecordUnwatched, std::string());
}

// The watched folder without a watch: watched as soon as the system allows, and then rescanned
// for what changed since the last scan; until then scanned whole.
void InotifyChangeSource::ScanUnwatchedRoot(const timespec& since) {
    const int rootWd = inotify_add_watch(inotifyFd_, root_.c_str(), kRootMask);
    if (rootWd >= 0) {
        rootUnwatched_ = false;
        Emit(kRecordWatchedAgain, std::string());
        tree_.Reset(rootWd);
        lastCompleteRead_ = since;
        lastCompleteRead_.tv_sec += kRescanMarginSeconds;  // the rescan takes its margin off again
        rescanPending_ = true;
    } else if (errno == ENOSPC) {
        ReportTreeUnwatched(std::string(), &since);
    } else {
        FolderWentAway();
    }
}

// Tries again to watch each unwatched folder. One that gets its watch is told as watched again
// and what changed in it since the last scan is reported; the others are scanned for files whose
// status changed since then.
void InotifyChangeSource::ScanUnwatched() {
    timespec since = unwatchedScannedAt_;
    since.tv_sec -= kRescanMarginSeconds;
    unwatchedScannedAt_ = CoarseNow();
    nextUnwatchedScan_ = std::chrono::steady_clock::now() + kUnwatchedScanPeriod;
    if (rootUnwatched_) {
        ScanUnwatchedRoot(since);
        return;
    }
    std::vector<UnwatchedFolder> folders = std::move(unwatched_);
    unwatched_.clear();
    for (UnwatchedFolder& folder : folders) {
        if (!tree_.Contains(folder.Parent)) {
            Emit(kRecordWatchedAgain, folder.Told);  // a folder above it went away
            continue;
        }
        const std::string path = tree_.PathOf(folder.Parent, folder.Name);
        const int wd = AddWatch(path);
        if (wd < 0 && errno == ENOSPC) {
            unwatched_.push_back(std::move(folder));
            ReportTreeUnwatched(path, &since);
            continue;
        }
        Emit(kRecordWatchedAgain, folder.Told);
        if (wd < 0 || tree_.Contains(wd)) {
            continue;  // gone, or reached already by another way
        }
        tree_.Place(wd, folder.Parent, folder.Name);
        std::vector<NewFolder> below;
        ReportContents(wd, path, &below, &since);
        WatchFolders(std::move(below), &since);
    }
}

// After a rescan rebuilt the list of unwatched folders: tells those that are new and those that
// are watched (or gone) now.
void InotifyChangeSource::TellUnwatchedChanges(const std::vector<UnwatchedFolder>& before) {
    auto same = [](const UnwatchedFolder& a, const UnwatchedFolder& b) {
        return a.Parent == b.Parent && a.Name == b.Name;
    };
    for (UnwatchedFolder& folder : unwatched_) {
        auto known = std::find_if(before.begin(), before.end(),
                                  [&](const UnwatchedFolder& old) { return same(old, folder); });
        if (known != before.end()) {
            folder.Told = known->Told;
        } else {
            Emit(kRecordUnwatched, folder.Told);
        }
    }
    for (const UnwatchedFolder& old : before) {
        if (std::none_of(unwatched_.begin(), unwatched_.end(),
                         [&](const UnwatchedFolder& now) { return same(old, now); })) {
            Emit(kRecordWatchedAgain, old.Told);
        }
    }
}

void InotifyChangeSource::FinishBatch() {
    if (!current_.empty()) {
        ready_.push_back(std::move(current_));
        current_.clear();
    }
}

void InotifyChangeSource::EndWatching() {
    ResolveMoveOut();
    FinishBatch();
    ended_ = true;
}

// The watched folder was removed, renamed away or unmounted: what was read is handed on, every
// watch is dropped, and the folder is looked for at its path from now on.
void InotifyChangeSource::FolderWentAway() {
    EndWatching();
    rootGone_ = true;
    goneTold_ = false;
    goneSince_ = CoarseNow();
    ForgetTree();
}

void InotifyChangeSource::ForgetTree() {
    ForgetWatches(tree_.Descriptors());
    tree_ = FolderTree{};
    stale_.clear();
    unwatched_.clear();
    rootUnwatched_ = false;
}

// Checks for the watched folder every kFolderReturnCheck until it is back or the stop signal
// comes. Once back it is watched afresh, and a rescan reports what changed since it went away.
ChangeSource::Wake InotifyChangeSource::WaitForFolderToReturn() {
    pollfd stop = {stopFd_, POLLIN, 0};
    const int pause = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(kFolderReturnCheck).count());
    for (;;) {
        if (stopRequested_) {
            return Wake::Stop;
        }
        struct stat status {};
        if (stat(root_.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
            break;
        }
        const int ready = poll(&stop, 1, pause);
        if (ready < 0 && errno != EINTR) {
            return Wake::Stop;
        }
        if (ready > 0) {
            stopRequested_ = true;
        }
    }
    ended_ = false;
    rootGone_ = false;
    goneTold_ = false;
    lastCompleteRead_ = goneSince_;
    watchedSince_ = ExactNow();
    rescanPending_ = true;
    rescanAfterOverflow_ = false;
    rescanForCatchUp_ = true;
    return Wake::FolderBack;
}

// Events were lost (overflow) or the tree's picture is out of date: hand on what was read, an
// empty batch for an overflow, and rescan before reading on.
void InotifyChangeSource::BeginRescan(bool overflow) {
    ResolveMoveOut();
    FinishBatch();
    if (overflow) {
        ready_.emplace_back();
        rescanAfterOverflow_ = true;
    }
    rescanPending_ = true;
}

// Reads and drops what is queued: the rescan covers it. Bounded, so that a writer that never
// pauses cannot hold the rescan off.
void InotifyChangeSource::DiscardQueuedEvents() {
    for (int round = 0; round < 256; ++round) {
        const timespec before = CoarseNow();
        ssize_t got = ReadOnce(kBufferBytes);
        if (got <= 0) {
            if (got < 0 && errno == EAGAIN) {
                lastCompleteRead_ = before;
            }
            return;
        }
    }
}

// Rebuilds the watches from the folders as they are now and reports as modified every file whose
// status changed since the last read that found the queue empty: any change whose event was lost
// happened after that read. After an overflow, the batch starts with the number of such files.
void InotifyChangeSource::Rescan() {
    rescanPending_ = false;
    const bool overflow = std::exchange(rescanAfterOverflow_, false);
    const bool catchUp = std::exchange(rescanForCatchUp_, false);
    timespec since = lastCompleteRead_;
    // Files changed within the margin are reported too (a snapshot that holds them already is
    // not taken again) but counted as caught up only when changed after the moment itself.
    rescanMark_ = since;
    changedAfterMark_ = 0;
    since.tv_sec -= kRescanMarginSeconds;
    DiscardQueuedEvents();

    int rootWd = inotify_add_watch(inotifyFd_, root_.c_str(), kRootMask);
    if (rootWd < 0 && errno == ENOSPC) {
        for (const UnwatchedFolder& folder : unwatched_) {
            Emit(kRecordWatchedAgain, folder.Told);  // told again as part of the whole tree
        }
        ForgetTree();
        NoteRootUnwatched();
        FinishBatch();
        return;
    }
    if (rootWd < 0) {
        FolderWentAway();
        return;
    }
    FinishBatch();
    const timespec started = CoarseNow();
    const std::vector<UnwatchedFolder> unwatchedBefore = std::move(unwatched_);
    unwatched_.clear();
    FolderTree fresh;
    fresh.Reset(rootWd);
    std::vector<std::pair<int, std::string>> folders{{rootWd, std::string()}};
    std::vector<FolderEntry> entries;
    while (!folders.empty()) {
        auto [wd, path] = std::move(folders.back());
        folders.pop_back();
        ListFolder(Absolute(path), true, &entries);
        for (const FolderEntry& entry : entries) {
            std::string entryPath = Join(path, entry.Name);
            if (!entry.IsFolder) {
                ReportEntry(entryPath, false, entry.ChangeTime, &since);
                continue;
            }
            if (!subtree_) {
                continue;
            }
            int child = AddWatch(entryPath);
            if (child < 0) {
                if (errno == ENOSPC) {
                    unwatched_.push_back(UnwatchedFolder{wd, entry.Name, entryPath});
                    ReportTreeUnwatched(entryPath, &since);
                }
                continue;
            }
            if (fresh.Contains(child)) {
                continue;
            }
            fresh.Place(child, wd, entry.Name);
            folders.emplace_back(child, std::move(entryPath));
        }
    }
    std::vector<int> dropped;
    for (int wd : tree_.Descriptors()) {
        if (!fresh.Contains(wd)) {
            dropped.push_back(wd);
        }
    }
    tree_ = std::move(fresh);
    stale_.clear();
    ForgetWatches(dropped);
    if (overflow) {
        const auto found =
            std::count_if(current_.begin(), current_.end(),
                          [](const ChangeRecord& record) { return record.FromRescan; });
        current_.insert(current_.begin(),
                        ChangeRecord{kRecordOverflowRescanned, std::string(), false, found});
    } else if (catchUp) {
        current_.insert(current_.begin(),
                        ChangeRecord{kRecordCaughtUp, std::string(), false, changedAfterMark_});
    }
    TellUnwatchedChanges(unwatchedBefore);
    if (!unwatched_.empty()) {
        unwatchedScannedAt_ = started;
        nextUnwatchedScan_ = std::chrono::steady_clock::now() + kUnwatchedScanPeriod;
    }
    FinishBatch();
}
