#pragma once
// What the store holds, read from its folders: every snapshot copy with its age and the space
// its data takes, counted once per file on disk however many snapshots share it. Store thread.
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

// One file's data on its disk, shared by all names that link to it.
using TDataKey = std::pair<std::uint64_t, std::uint64_t>;  // device, inode

struct TStoredCopy {
    std::string Folder;  // the per-file folder
    int Number = 0;      // n of SnapShot.n
    std::int64_t ModifiedSeconds = 0;
    TDataKey Data;
};

struct TDataUse {
    std::int64_t DiskBytes = 0;
    int Names = 0;  // names in the store that hold this data
};

struct TStoreContents {
    std::vector<TStoredCopy> Copies;    // by folder, then number
    std::map<TDataKey, TDataUse> Data;  // every regular file's data: copies, indexes, others
    std::int64_t DiskBytes = 0;         // the sum over Data
};

TStoreContents ReadStoreContents(const std::string& storeFolder);

// The store panel's figures.
struct TStoreFigures {
    std::int64_t DiskBytes = 0;
    std::int64_t Files = 0;      // per-file folders holding at least one snapshot
    std::int64_t Snapshots = 0;  // snapshot copies
    bool FreeKnown = false;
    std::int64_t FreeBytes = 0;  // left on the store's disk
};
TStoreFigures MeasureStore(const std::string& storeFolder);
