#pragma once
// Snapshots taken as one batch and made durable together (group commit). Each copy is made at
// once under a temporary name in its per-file folder; Commit then flushes the file system once,
// gives every complete copy its number, adds the index entries, flushes again, and only then writes
// the batch's log lines. After a crash at any moment every index entry names a complete copy, and
// no partial copy or index sits under a final name; what was not committed stays as temporary
// files, which RemoveLeftoverTemporaryFiles clears at the next start. Store thread.
#include <chrono>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

class TSnapshotBatch {
  public:
    TSnapshotBatch() = default;
    TSnapshotBatch(const TSnapshotBatch&) = delete;
    TSnapshotBatch& operator=(const TSnapshotBatch&) = delete;
    ~TSnapshotBatch();  // discards what was not committed

    // Copies source into folder as its next snapshot, recorded with actionCode. A file that a
    // program holds open for writing is left for the change its writer's close brings; a copy
    // during which the file changed is taken again; one that fails is logged at the commit, in its
    // turn. Content equal to folder's newest snapshot is linked to it instead of copied; a copy
    // the store's disk has no room for is not started (logged, tray warning).
    void Add(const std::string& source, const std::string& folder, int actionCode);
    // A log line that belongs between the batch's own lines (written at the commit, in order).
    void AddLogLine(int code, int image, const std::string& fileText);
    // Makes every copy of the batch durable and visible, then writes its log lines.
    void Commit();
    // Forgets the batch (the program closes): its temporary files are removed, nothing is logged.
    void Discard();

    std::size_t Size() const { return lines_.size(); }
    // The temporary file of the newest copy into folder that waits for the commit; "" for none.
    std::string PendingCopyIn(const std::string& folder) const;
    // How long ago the batch's first piece was added (zero for an empty batch).
    std::chrono::steady_clock::duration Age() const;

  private:
    struct TPendingCopy {
        std::string Folder;
        std::string TempPath;
        int Number = 0;
        std::string EntryText;
    };
    struct TLine {
        int Code = 0;
        int Image = 0;
        std::string FileText;
        int Copy = -1;  // index into copies_ for a copy's own line
    };
    int NumberFor(const std::string& folder);
    std::string NewestCopyIn(const std::string& folder) const;
    void AddCopy(const std::string& source, const std::string& folder, const std::string& tempPath,
                 int actionCode);
    bool RenameCopies();
    void WriteIndexes();
    void WriteLines();
    void Clear();

    std::vector<TPendingCopy> copies_;
    std::vector<TLine> lines_;
    std::map<std::string, int> nextNumber_;  // per folder: the next number not handed out yet
    std::chrono::steady_clock::time_point started_;
    bool copying_ = false;  // the tray shows the copy image
};

// Removes the temporary files a crash or a kill left in the store. Store thread, at start.
void RemoveLeftoverTemporaryFiles(const std::string& storeFolder);
