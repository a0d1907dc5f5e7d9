#pragma once
// Files that programs make only while they work (lock, swap, probe and backup files, partial
// downloads, the inside of version-control folders): never documents, so never snapshotted.
#include <string>
#include <vector>

struct TTransientPattern {
    std::string Mask;          // shell wildcards, matched against one name component
    bool WholeFolder = false;  // a folder of this name: everything inside it is transient
};

// The one table of transient names, in the order the help page lists them.
const std::vector<TTransientPattern>& TransientPatterns();

// True when the name (relative to the watched folder, '/' between components) is transient: its
// last component matches a file mask, or one of its components is a version-control folder.
bool IsTransientName(const std::string& relativeName);
