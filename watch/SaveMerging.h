#pragma once
// Saves that programs make through a second file, recognised within one batch of records so that
// the console and the log tell one save of the document.
#include <functional>
#include <string>
#include <vector>

#include "platform/ChangeSource.h"

// What the merging needs to know of names beyond the batch.
struct TSaveMergeRules {
    std::function<bool(const std::string&)> IsBackup;    // a name an editor keeps a version under
    std::function<bool(const std::string&)> IsFolder;    // an existing folder of the watched tree
    std::function<bool(const std::string&)> IsOwnWrite;  // the program's own files: left alone
};

// Rewrites the batch so that each of these becomes one modification of the document D, at the
// place where D got its new content:
// - a file T added in the batch (and modified, any number of times) and then renamed onto D
//   (a temporary file written beside D and renamed over it); modifications of D in between go
//   too, since the one snapshot is taken after the batch was read;
// - D renamed to a backup name and then D added again (the previous version kept as a backup,
//   the new content written under D's name).
// A rename onto a folder, of a name with records inside it, or of the program's own file is left
// as it is. Modifications of a document right before any rename onto it are dropped: the
// snapshot would be taken after the batch was read, so of the content the rename brings.
std::vector<ChangeRecord> MergeSavesThroughSecondFiles(const std::vector<ChangeRecord>& batch,
                                                       const TSaveMergeRules& rules);
