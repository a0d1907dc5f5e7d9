#pragma once
// The change source on Linux inotify (implemented in ChangeSource.cpp). One inotify instance
// watches the folder (and, with the subtree, every folder below it); an eventfd carries the stop
// signal; both are polled together.
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
    // The error text has the system's wording; running out of watches also names the limit.
    static std::unique_ptr<InotifyChangeSource> Create(const std::string& folder, bool subtree,
                                                       std::string* error);
    ~InotifyChangeSource() override;

    Wake WaitForBatch(std::vector<ChangeRecord>* batch) override;
    void SignalStop() override;

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

    int AddWatch(const std::string& relativePath);
    void ForgetWatches(const std::vector<int>& wds);
    struct NewFolder {
        int Parent;
        std::string Name;
        std::string Path;
    };
    void WatchNewFolder(int parent, const std::string& name, const std::string& path);
    void WatchFolders(std::vector<NewFolder> folders);
    void ReportContents(int wd, const std::string& path, std::vector<NewFolder>* folders);
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
    bool ended_ = false;
    std::atomic<bool> stopRequested_{false};
};
