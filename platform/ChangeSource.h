#pragma once
// Directory change source on inotify: batches of change records in the kernel's order.
#include <cstdint>
#include <memory>
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
};

struct ChangeRecord {
    int Action = 0;
    std::string Name;  // relative to the watched folder, '/' between components
    // A file found by a scan rather than reported by the kernel: it may be unchanged since its
    // last snapshot.
    bool FromRescan = false;
    int64_t Count = 0;  // kRecordOverflowRescanned only
};

class ChangeSource {
  public:
    // Opens the folder for watching (the whole tree when subtree is true). On failure returns
    // nullptr and sets *error to the system's error text. Folders below the root that cannot be
    // watched for lack of watches do not fail the open: they come as kRecordUnwatched records.
    static std::unique_ptr<ChangeSource> Open(const std::string& folder, bool subtree,
                                              std::string* error);
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
};
