#pragma once
// Directory change source on inotify: batches of change records in the kernel's order.
#include <chrono>
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// What a record tells. 1 to 5 are changes; the others tell how well the tree is watched.
enum TRecordAction {
    kRecordAdded = 1,
    kRecordRemoved = 2,
    kRecordModified = 3,
    kRecordOldName = 4,  // old name of a rename, always followed by its new name
    kRecordNewName = 5,
    // A folder could not be watched (the system's limit of watches is reached); Name is the
    // folder. Until a kRecordWatchedAgain for it, its files are found by a periodic scan.
    kRecordUnwatched = 6,
    // A folder told as unwatched is watched now, or is gone; Name is the folder.
    kRecordWatchedAgain = 7,
    // The kernel's queue overflowed; Count is the number of files the rescan reports as
    // modified (they follow in the same batch, marked FromRescan).
    kRecordOverflowRescanned = 8,
    // Watching began (or the watched folder came back) and the tree was walked for what changed
    // while it was not watched; Count is the number of files changed after the moment watching
    // was last complete. The files follow in the same batch, marked FromRescan (with those of a
    // small margin before that moment, in case a change came between two ticks of the clock).
    kRecordCaughtUp = 9,
};

struct ChangeRecord {
    int Action = 0;
    std::string Name;  // relative to the watched folder, '/' between components
    // A file found by a scan rather than reported by the kernel: it may be unchanged since its
    // last snapshot.
    bool FromRescan = false;
    int64_t Count = 0;  // kRecordOverflowRescanned and kRecordCaughtUp only
};

class ChangeSource {
  public:
    // Opens the folder for watching (the whole tree when subtree is true). On failure returns
    // nullptr and sets *error to the system's error text. Folders below the root that cannot be
    // watched for lack of watches do not fail the open: they come as kRecordUnwatched records.
    // With catchUpSince, the first batch reports every file whose status changed since that
    // moment (less a margin), led by a kRecordCaughtUp record.
    static std::unique_ptr<ChangeSource> Open(const std::string& folder, bool subtree,
                                              std::string* error,
                                              std::optional<timespec> catchUpSince = {});
    virtual ~ChangeSource() = default;

    enum class Wake {
        Batch,       // records in *batch, possibly empty after an overflow
        Stop,        // the stop signal arrived, or the source cannot go on
        FolderGone,  // the watched folder was removed, renamed away or unmounted
        FolderBack,  // the watched folder exists again at its path and is watched again
    };
    // Blocks until one of the above. After FolderGone, the next call looks for the folder every
    // few seconds until it is back (FolderBack) or the stop signal arrives (Stop).
    virtual Wake WaitForBatch(std::vector<ChangeRecord>* batch) = 0;
    // Wakes WaitForBatch with Stop; safe from any thread.
    virtual void SignalStop() = 0;
    // The moment up to which every change has been handed on, when that can be said: nothing read
    // waits to be handed on, no rescan is due, and the folder is watched. WaitForBatch also
    // returns an empty batch every kTickPeriod while idle, so that this can be asked regularly.
    // Only the thread that calls WaitForBatch may ask.
    virtual std::optional<timespec> CompleteUntil() const = 0;
    static constexpr std::chrono::seconds kTickPeriod{20};
};
