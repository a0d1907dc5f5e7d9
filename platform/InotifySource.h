#pragma once
// The change source on Linux inotify (implemented in ChangeSource.cpp). One inotify instance
// watches the folder (and, with the subtree, every folder below it); an eventfd carries the stop
// signal; both are polled together. Folders left unwatched for lack of watches are scanned every
// kUnwatchedScanPeriod and watched as soon as the system allows; a watched folder that goes away
// is looked for every kFolderReturnCheck.
#include <sys/inotify.h>
#include <sys/types.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/ChangeSource.h"
#include "platform/InotifyTree.h"

class InotifyChangeSource final : public ChangeSource {
  public:
    // The error text has the system's wording; running out of instances also names the limit.
    // Running out of watches fails nothing: folders, even the watched one, are scanned instead.
    static std::unique_ptr<InotifyChangeSource> Create(
        const std::string& folder, bool subtree, std::string* error,
        std::optional<timespec> catchUpSince = {});
    ~InotifyChangeSource() override;

    Wake WaitForBatch(std::vector<ChangeRecord>* batch) override;
    void SignalStop() override;
    std::optional<timespec> CompleteUntil() const override;

    static constexpr std::chrono::seconds kUnwatchedScanPeriod{3};
    static constexpr std::chrono::seconds kFolderReturnCheck{2};

    // Bytes asked of one read, 64 KB by default. Tests lower it to make a rename's two halves
    // fall into two reads; a read too small for the next event is repeated at full size.
    void SetReadSize(size_t bytes);

  private:
    struct PendingMove {
        uint32_t Cookie = 0;
        int Wd = 0;
        std::string Name;
        std::string Path;
        bool IsFolder = false;
    };
    enum class Flow { Continue, Abandon };
    // A folder that could not be watched, with everything below it. Its place is kept as parent
    // and name, so that renames above it are followed; Told is the name it was reported with.
    struct UnwatchedFolder {
        int Parent = 0;
        std::string Name;
        std::string Told;
    };

    InotifyChangeSource(int inotifyFd, int stopFd, std::string root, bool subtree);
    bool WatchWholeTree(std::string* error);

    bool WaitForInput();
    void ReadAvailable();
    void GatherFollowers();
    bool CreationUnderWay() const;
    bool EndsWithFileRenamed() const;
    bool ReadableWithin(std::chrono::milliseconds timeout);
    ssize_t ReadOnce(size_t bytes);
    Flow HandleEvent(const inotify_event& event);
    void HandleFolderGone(int wd);
    void HandleMovedTo(const inotify_event& event, const std::string& name,
                       const std::string& path);
    void ResolveMoveOut();
    void FinishBatch();
    void EndWatching();
    void FolderWentAway();
    Wake WaitForFolderToReturn();
    void ForgetTree();

    int AddWatch(const std::string& relativePath);
    void ForgetWatches(const std::vector<int>& wds);
    struct NewFolder {
        int Parent;
        std::string Name;
        std::string Path;
    };
    void WatchNewFolder(int parent, const std::string& name, const std::string& path);
    // Watches the folders and what lies below them. Without since, every entry found is reported
    // as added; with it, only files whose status changed since then, as modified from a rescan.
    void WatchFolders(std::vector<NewFolder> folders, const timespec* since = nullptr);
    void ReportContents(int wd, const std::string& path, std::vector<NewFolder>* folders,
                        const timespec* since = nullptr);
    void ReportEntry(const std::string& path, bool isFolder, const timespec& changed,
                     const timespec* since);

    void NoteUnwatched(int parent, const std::string& name, const std::string& path);
    void ReportTreeUnwatched(const std::string& path, const timespec* since);
    bool UnwatchedScanDue() const;
    void NoteRootUnwatched();
    void ScanUnwatchedRoot(const timespec& since);
    void ScanUnwatched();
    void TellUnwatchedChanges(const std::vector<UnwatchedFolder>& before);
    bool PathIsCurrent(int wd);
    void MarkStale(int wd);
    void RelistStaleWithin(int moved);
    void Emit(int action, std::string path);

    void BeginRescan(bool overflow);
    void Rescan();
    void DiscardQueuedEvents();

    std::string Absolute(const std::string& relativePath) const;

    const int inotifyFd_;
    const int stopFd_;
    const std::string root_;
    const bool subtree_;

    FolderTree tree_;
    std::unordered_set<int> retired_;  // removed by us, their IN_IGNORED still to come
    std::unordered_set<int> stale_;    // listed while a path in them was out of date
    std::unique_ptr<uint64_t[]> buffer_;
    size_t readSize_;

    std::vector<ChangeRecord> current_;
    std::deque<std::vector<ChangeRecord>> ready_;
    std::optional<PendingMove> pendingMove_;
    std::chrono::steady_clock::time_point pendingSince_;
    timespec lastCompleteRead_{};  // taken just before the last read that found the queue empty
    bool rescanPending_ = false;
    bool rescanAfterOverflow_ = false;
    bool rescanForCatchUp_ = false;  // the rescan catches up what changed while not watched
    timespec rescanMark_{};          // the moment the running rescan looks back to
    int64_t changedAfterMark_ = 0;   // files it found changed after that moment, before watched
    timespec watchedSince_{};        // when the tree (or the returned folder) got its watches
    std::chrono::steady_clock::time_point nextTick_;
    bool ended_ = false;
    bool rootGone_ = false;
    bool goneTold_ = false;
    timespec goneSince_{};

    std::vector<UnwatchedFolder> unwatched_;
    bool rootUnwatched_ = false;     // not even the watched folder itself has a watch
    timespec unwatchedScannedAt_{};  // taken just before the last scan of the unwatched folders
    std::chrono::steady_clock::time_point nextUnwatchedScan_;
    std::atomic<bool> stopRequested_{false};
};
