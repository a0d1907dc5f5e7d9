#pragma once
// Directory change source on inotify: batches of change records in the kernel's order.
#include <memory>
#include <string>
#include <vector>

// Actions as delivered: 1 added, 2 removed, 3 modified, 4 old name of a rename, 5 new name.
struct ChangeRecord {
    int Action = 0;
    std::string Name;  // relative to the watched folder, '/' between components
};

class ChangeSource {
  public:
    // Opens the folder for watching (the whole tree when subtree is true). On failure returns
    // nullptr and sets *error to the system's error text.
    static std::unique_ptr<ChangeSource> Open(const std::string& folder, bool subtree,
                                              std::string* error);
    virtual ~ChangeSource() = default;

    enum class Wake { Batch, Stop };
    // Blocks until a batch of records is ready (Batch, records in *batch, possibly empty after an
    // overflow) or the stop signal arrived (Stop).
    virtual Wake WaitForBatch(std::vector<ChangeRecord>* batch) = 0;
    // Wakes WaitForBatch with Stop; safe from any thread.
    virtual void SignalStop() = 0;
};
