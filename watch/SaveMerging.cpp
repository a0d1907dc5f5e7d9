#include "watch/SaveMerging.h"

namespace {

constexpr int kAdded = 1;
constexpr int kModified = 3;
constexpr int kRenameOldName = 4;
constexpr int kRenameNewName = 5;

struct TBatchEdit {
    std::vector<ChangeRecord> Records;
    std::vector<bool> Dropped;
};

bool IsInside(const std::string& name, const std::string& folder) {
    return name.size() > folder.size() && name.compare(0, folder.size(), folder) == 0 &&
           name[folder.size()] == '/';
}

bool AnyRecordInside(const TBatchEdit& edit, const std::string& folder) {
    for (const ChangeRecord& record : edit.Records) {
        if (IsInside(record.Name, folder)) {
            return true;
        }
    }
    return false;
}

// The temporary file renamed at `at` onto its document: found added earlier in the batch, with
// nothing but modifications since, its records are dropped and the rename becomes the save.
bool MergeTemporaryFile(TBatchEdit& edit, std::size_t at, const TSaveMergeRules& rules) {
    const std::string temporary = edit.Records[at].Name;
    const std::string document = edit.Records[at + 1].Name;
    if (rules.IsOwnWrite(temporary)) {
        return false;
    }
    std::vector<std::size_t> ownRecords;
    bool added = false;
    for (std::size_t i = at; i-- > 0 && !added;) {
        const ChangeRecord& record = edit.Records[i];
        if (edit.Dropped[i]) {
            continue;
        }
        if (record.Name == document && record.Action == kModified) {
            // The document opened for writing during its save: the save's one snapshot is
            // taken after the batch was read, so it holds whatever this reports.
            ownRecords.push_back(i);
            continue;
        }
        if (record.Name != temporary) {
            continue;
        }
        if (record.Action != kAdded && record.Action != kModified) {
            return false;
        }
        added = record.Action == kAdded;
        ownRecords.push_back(i);
    }
    if (!added || AnyRecordInside(edit, temporary) || rules.IsFolder(document)) {
        return false;
    }
    for (std::size_t i : ownRecords) {
        edit.Dropped[i] = true;
    }
    edit.Dropped[at] = true;
    edit.Records[at + 1] = {kModified, document};
    return true;
}

// The document renamed at `at` to a backup name and added again later in the batch: the rename
// is dropped and the new addition becomes the save.
bool MergeBackupRename(TBatchEdit& edit, std::size_t at, const TSaveMergeRules& rules) {
    const std::string document = edit.Records[at].Name;
    if (!rules.IsBackup(edit.Records[at + 1].Name) || rules.IsBackup(document) ||
        AnyRecordInside(edit, document)) {
        return false;
    }
    for (std::size_t i = at + 2; i < edit.Records.size(); ++i) {
        const ChangeRecord& record = edit.Records[i];
        if (record.Name != document) {
            continue;
        }
        if (record.Action != kAdded) {
            return false;
        }
        edit.Dropped[at] = true;
        edit.Dropped[at + 1] = true;
        edit.Records[i] = {kModified, document};
        return true;
    }
    return false;
}

// Modifications of the document just before another file is renamed over it: their snapshots
// would be taken after the batch was read, so of the renamed file's content, which the rename
// itself brings.
void DropModificationsBeforeReplacement(TBatchEdit& edit, std::size_t at) {
    const std::string& document = edit.Records[at + 1].Name;
    for (std::size_t i = at; i-- > 0;) {
        const ChangeRecord& record = edit.Records[i];
        if (edit.Dropped[i] || record.Name != document) {
            continue;
        }
        if (record.Action != kModified) {
            return;
        }
        edit.Dropped[i] = true;
    }
}

}  // namespace

std::vector<ChangeRecord> MergeSavesThroughSecondFiles(const std::vector<ChangeRecord>& batch,
                                                       const TSaveMergeRules& rules) {
    TBatchEdit edit{batch, std::vector<bool>(batch.size(), false)};
    for (std::size_t at = 0; at + 1 < edit.Records.size(); ++at) {
        const bool renamePair = edit.Records[at].Action == kRenameOldName &&
                                edit.Records[at + 1].Action == kRenameNewName &&
                                edit.Records[at].Name != edit.Records[at + 1].Name;
        if (!renamePair || edit.Dropped[at]) {
            continue;
        }
        DropModificationsBeforeReplacement(edit, at);
        if (MergeTemporaryFile(edit, at, rules) || MergeBackupRename(edit, at, rules)) {
            ++at;
        }
    }
    std::vector<ChangeRecord> merged;
    for (std::size_t i = 0; i < edit.Records.size(); ++i) {
        if (!edit.Dropped[i]) {
            merged.push_back(std::move(edit.Records[i]));
        }
    }
    return merged;
}
