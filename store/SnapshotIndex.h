#pragma once
// The store layout: one per-file folder per watched file, holding snapshot.ini and SnapShot.<n>.
#include <optional>
#include <string>
#include <vector>

#include "platform/IniFile.h"

// Per-file folder of a watched file (full path), or "" when the file lies outside SOURCE.
std::string SnapshotFolder(const std::string& filePath);
// Store folder of a name relative to the watched folder: DESTINATION + "/" + name.
std::string StoreFolderOf(const std::string& relativeName);
// The same inside the given store folder; "" for an empty store or a name that leaves it.
std::string StoreFolderIn(const std::string& destination, const std::string& relativeName);

// Records the next snapshot in folder/snapshot.ini (creating folder and index as needed) and
// returns folder + "/SnapShot.<n>".
std::string NewSnapshot(const std::string& folder, int actionCode);

// The number the next snapshot in folder gets (never one whose copy exists already).
int NextSnapshotNumberIn(const std::string& folder);
// Records snapshot number with today's date and time and actionCode in the folder's index,
// creating the index when missing; false when the index could not be written.
bool RecordSnapshot(const std::string& folder, int number, int actionCode);
// The number of a copy's file name "SnapShot.<n>"; nullopt for any other name.
std::optional<int> SnapshotCopyNumber(const std::string& fileName);
// The highest n of the SnapShot.<n> copies in folder; 0 when there is none.
int HighestSnapshotCopyNumber(const std::string& folder);
// folder + "/SnapShot.<number>".
std::string SnapshotCopyPath(const std::string& folder, int number);
// folder + "/snapshot.ini".
std::string SnapshotIndexPath(const std::string& folder);

// The DATES value of a snapshot taken now: "<date>;<time>;<code>".
std::string SnapshotEntryText(int actionCode);
// As RecordSnapshot, with the DATES value given.
bool RecordSnapshotEntry(const std::string& folder, int number, const std::string& entryText);

// One DATES entry to be added.
struct TIndexEntry {
    int Number = 0;
    std::string Text;
};
// The bytes of folder's index with entries added in their order (NO becomes the last number),
// the same bytes that recording them one after the other gives; nullopt when the index is not in
// the form this program writes (edited by hand) or already holds one of the numbers, so that the
// entries must be recorded one by one.
std::optional<std::string> IndexTextWithEntries(const std::string& folder,
                                                const std::vector<TIndexEntry>& entries);

// Moves the snapshots recorded in fromFolder (those whose copy exists) into the history in
// toFolder as its next numbers, in their order and with their recorded date, time and cause, then
// removes fromFolder. The copies are moved, never copied. Nothing joined leaves both folders as
// they were. Each copy is first linked under its new number, then the new entries are
// written to toFolder's index at once, and only then is fromFolder removed (its index first): a
// crash at any moment leaves every entry naming its copy, and at worst fromFolder whole beside
// the joined history, or copies in toFolder that no entry names yet and no new number reuses.
struct TJoinResult {
    int Joined = 0;          // how many snapshots joined
    std::string NewestCopy;  // the path of the last of them in toFolder
};
TJoinResult JoinSnapshotHistory(const std::string& fromFolder, const std::string& toFolder);

// The path of the newest copy recorded in the folder's index that exists; "" when there is none.
std::string NewestCopyPath(const std::string& folder);

// Removes the DATES entries of numbers from folder's index and leaves NO as it is, so a number is
// never given again. An index edited by hand keeps the keys with empty values, which the list
// skips. False when the index could not be written; true when there is no index.
bool RemoveSnapshotEntries(const std::string& folder, const std::vector<int>& numbers);

struct TSnapshotListItem {
    int Number = 0;
    std::string DateText;
    std::string TimeText;
};
// The index entries of a watched file, in order of number, whatever numbers a hand-edited index
// holds. A number without an entry shows only while its copy exists (a removed snapshot leaves no
// gap in the list).
std::vector<TSnapshotListItem> ReadSnapshotList(const std::string& filePath);
// The same list for an index already read and the numbers n of the copies SnapShot.n beside it.
std::vector<TSnapshotListItem> SnapshotListOf(const IniFile& index, std::vector<int> copyNumbers);

struct TSnapshotEntry {
    std::string DateText;
    std::string TimeText;
    int ActionCode = 0;
    std::string CopyPath;
    bool CopyExists = false;
};
// Snapshot n of the index at indexPath; nullopt when the index does not exist.
std::optional<TSnapshotEntry> ReadSnapshotEntry(const std::string& indexPath, int n);

// True when the newest copy in a file's per-file folder holds the file's current content (see
// CopyHoldsContentOf).
bool NewestSnapshotHoldsContentOf(const std::string& folder, const std::string& filePath);
// True when a copy holds a file's current content: same size, not older than the file's last
// modification, and, only when both hold, the same bytes.
bool CopyHoldsContentOf(const std::string& copyPath, const std::string& filePath);

// Removes the per-file folder of a watched file with everything in it.
void DeleteSnapshots(const std::string& filePath);
