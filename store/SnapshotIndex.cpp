#include "store/SnapshotIndex.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <unordered_map>

#include "core/RunSettings.h"
#include "lang/Language.h"
#include "platform/AtomicFile.h"
#include "platform/DateTimeText.h"
#include "platform/FileAttributes.h"
#include "platform/IniFile.h"
#include "store/FileOperation.h"
#include "store/IndexText.h"
#include "store/PathText.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kIndexName = "snapshot.ini";
constexpr const char* kCopyPrefix = "SnapShot.";
// Snapshot numbers stay well inside 32 bits so that "one more" never overflows.
constexpr long long kLargestNumber = 2147483646;

std::string IndexPathIn(const std::string& folder) {
    return JoinPath(folder, kIndexName);
}

std::string CopyPathIn(const std::string& folder, int n) {
    return JoinPath(folder, kCopyPrefix + std::to_string(n));
}

// A whole decimal number of digits only, within range; nullopt for anything else.
std::optional<int> ParseNumber(const std::string& text) {
    if (text.empty() || text.size() > 10 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    long long value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    if (value > kLargestNumber) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

// The numbers used as keys of the DATES sections (all of them, should one stand twice), so that
// keys the count in NO no longer reaches are found too.
std::vector<int> DatesKeyNumbers(const IniFile& index) {
    std::vector<int> numbers;
    for (const std::string& name : index.KeyNamesInEvery("DATES")) {
        const auto number = ParseNumber(name);
        if (number && *number > 0) {
            numbers.push_back(*number);
        }
    }
    return numbers;
}

int HighestDatesKey(const std::string& indexPath) {
    const auto index = IniFile::Open(indexPath);  // only a regular file: a pipe would never end
    const std::vector<int> numbers = index ? DatesKeyNumbers(*index) : std::vector<int>{};
    return numbers.empty() ? 0 : *std::max_element(numbers.begin(), numbers.end());
}

std::optional<int> CopyNumberOf(const std::string& name) {
    if (name.rfind(kCopyPrefix, 0) != 0) {
        return std::nullopt;
    }
    return ParseNumber(name.substr(std::char_traits<char>::length(kCopyPrefix)));
}

// The numbers n of the copies SnapShot.n in folder.
std::vector<int> CopyNumbersIn(const std::string& folder) {
    std::vector<int> numbers;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const auto number = CopyNumberOf(it->path().filename().string());
        if (number && *number > 0) {
            numbers.push_back(*number);
        }
    }
    return numbers;
}

int HighestCopyNumber(const std::string& folder) {
    const std::vector<int> numbers = CopyNumbersIn(folder);
    return numbers.empty() ? 0 : *std::max_element(numbers.begin(), numbers.end());
}

// The highest snapshot number the per-file folder shows, in its index or among its copies.
int HighestNumberFound(const std::string& folder) {
    return std::max(HighestDatesKey(IndexPathIn(folder)), HighestCopyNumber(folder));
}

// The number of the next snapshot. NO gives it when it is a number; an index whose NO is empty
// or unreadable, or whose next copy already exists, continues above everything found, so an
// existing snapshot is never overwritten.
int NextSnapshotNumber(const std::string& folder, const std::optional<std::string>& countText) {
    int next = 1;
    if (countText) {
        const auto count = ParseNumber(*countText);
        next = count ? *count + 1 : HighestNumberFound(folder) + 1;
    }
    std::error_code ec;
    if (fs::exists(CopyPathIn(folder, next), ec)) {
        next = std::max(next, HighestNumberFound(folder) + 1);
    }
    return static_cast<int>(std::min<long long>(next, kLargestNumber));
}

// An index in the form this program writes, read whole; nullopt for any other form, a missing
// index, or one that is a link (which the general INI writes follow).
std::optional<TPlainIndex> ReadPlainIndex(const std::string& indexPath) {
    std::error_code ec;
    if (fs::is_symlink(indexPath, ec) || !fs::is_regular_file(indexPath, ec)) {
        return std::nullopt;
    }
    std::ifstream in(indexPath, std::ios::binary);
    const std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return in.bad() ? std::nullopt : ParsePlainIndex(content);
}

// The DATES value "<date>;<time>;<code>". A line break, which no date or time format should hold,
// becomes a space so that the entry stays one line.
std::string EntryText(int actionCode) {
    std::string entry = ShortDateText() + ";" + LongTimeText() + ";" + std::to_string(actionCode);
    std::replace_if(
        entry.begin(), entry.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return entry;
}

// Splits "date;time;rest" at its first two ';'; a field whose closing ';' is missing is empty.
struct TEntryFields {
    std::string Date;
    std::string Time;
    std::string Rest;
};
TEntryFields SplitEntry(const std::string& text) {
    TEntryFields fields;
    const auto first = text.find(';');
    if (first == std::string::npos) {
        return fields;
    }
    fields.Date = text.substr(0, first);
    const auto second = text.find(';', first + 1);
    if (second == std::string::npos) {
        return fields;
    }
    fields.Time = text.substr(first + 1, second - first - 1);
    fields.Rest = text.substr(second + 1);
    return fields;
}

// The leading decimal digits of text as a number; 0 when there are none.
int LeadingNumber(const std::string& text) {
    int value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() ? value : 0;
}

// The highest number the list may show: NO, or for a NO that is missing or not a number the
// highest number found. NO is never followed beyond the highest number found.
int ListedCount(const std::optional<std::string>& noText, int highestFound) {
    const auto count = noText ? ParseNumber(*noText) : std::nullopt;
    return count ? std::min(*count, highestFound) : highestFound;
}

// A snapshot as recorded in an index whose copy exists: its number and its DATES value.
struct TRecordedSnapshot {
    int Number = 0;
    std::string Entry;
};

std::vector<TRecordedSnapshot> RecordedSnapshots(const std::string& folder) {
    std::vector<TRecordedSnapshot> recorded;
    const auto index = IniFile::Open(IndexPathIn(folder));
    if (!index) {
        return recorded;
    }
    // Only the copies are looked at (an entry without its copy has nothing to bring along), so a
    // hand-edited huge key cannot make this walk billions of numbers.
    std::vector<int> copies = CopyNumbersIn(folder);
    std::sort(copies.begin(), copies.end());
    const int count = ListedCount(index->Read("GENERAL", "NO"), copies.empty() ? 0 : copies.back());
    std::unordered_map<std::string, std::string> dates;
    for (auto& [key, value] : index->ReadSection("DATES")) {
        dates.emplace(std::move(key), std::move(value));
    }
    for (const int n : copies) {
        if (n > count) {
            break;
        }
        const auto found = dates.find(std::to_string(n));
        recorded.push_back({n, found == dates.end() ? std::string(";;") : found->second});
    }
    return recorded;
}

// Gives the copy its second name in the target history. A file system without hard links gets a
// plain rename, which moves the copy out of the old history before the new index names it.
bool LinkCopy(const std::string& from, const std::string& to, bool* renamed) {
    std::error_code ec;
    fs::create_hard_link(from, to, ec);
    *renamed = false;
    if (!ec) {
        return true;
    }
    if (ec == std::errc::file_exists) {
        return false;
    }
    fs::rename(from, to, ec);
    *renamed = !ec;
    return !ec;
}

struct TJoinedCopy {
    std::string From;
    std::string To;
    bool Renamed = false;
};

// Writes the new entries into the target's index: one atomic write for an index in this program's
// form (or a new one), the general INI writes otherwise.
bool RecordJoinedEntries(const std::string& folder, const std::vector<TIndexLine>& lines) {
    const std::string indexPath = IndexPathIn(folder);
    std::error_code ec;
    if (!fs::exists(indexPath, ec)) {
        return WriteFileAtomically(indexPath, PlainIndexWithLines("", lines));
    }
    if (const auto plain = ReadPlainIndex(indexPath)) {
        return WriteFileAtomically(indexPath, PlainIndexWithLines(plain->DatesLines, lines));
    }
    // Key by key. Once one entry is written its copy must stay, so only a first write that
    // fails lets the join be undone.
    for (const TIndexLine& line : lines) {
        if (!WriteIniValue("DATES", line.Key, line.Entry, indexPath) && &line == &lines.front()) {
            return false;
        }
    }
    WriteIniValue("GENERAL", "NO", lines.back().Key, indexPath);
    return true;
}

// The first number the joined snapshots may take: above NO and above every number in use.
int FirstFreeNumber(const std::string& folder) {
    return std::max(NextSnapshotNumberIn(folder), HighestNumberFound(folder) + 1);
}

void UndoJoinedCopies(const std::vector<TJoinedCopy>& copies) {
    std::error_code ec;
    for (const TJoinedCopy& copy : copies) {
        if (copy.Renamed) {
            fs::rename(copy.To, copy.From, ec);
        } else {
            fs::remove(copy.To, ec);
        }
    }
}

// Removes the old history once the new index names its copies: the index first, so that no entry
// is ever left naming a removed copy; the folder only when nothing else is left in it.
void RemoveJoinedHistory(const std::string& folder, const std::vector<TJoinedCopy>& copies) {
    std::error_code ec;
    fs::remove(IndexPathIn(folder), ec);
    for (const TJoinedCopy& copy : copies) {
        if (!copy.Renamed) {
            fs::remove(copy.From, ec);
        }
    }
    fs::remove(folder, ec);
}

}  // namespace

std::string NewestCopyPath(const std::string& folder) {
    const std::vector<TRecordedSnapshot> recorded = RecordedSnapshots(folder);
    return recorded.empty() ? std::string() : CopyPathIn(folder, recorded.back().Number);
}

TJoinResult JoinSnapshotHistory(const std::string& fromFolder, const std::string& toFolder) {
    if (fromFolder.empty() || toFolder.empty() || fromFolder == toFolder) {
        return {};
    }
    const std::vector<TRecordedSnapshot> recorded = RecordedSnapshots(fromFolder);
    if (recorded.empty()) {
        return {};
    }
    std::error_code ec;
    fs::create_directories(toFolder, ec);
    int next = FirstFreeNumber(toFolder);
    std::vector<TJoinedCopy> copies;
    std::vector<TIndexLine> lines;
    for (const TRecordedSnapshot& snapshot : recorded) {
        if (next > kLargestNumber) {
            break;
        }
        TJoinedCopy copy{CopyPathIn(fromFolder, snapshot.Number), CopyPathIn(toFolder, next)};
        if (!LinkCopy(copy.From, copy.To, &copy.Renamed)) {
            break;
        }
        copies.push_back(copy);
        lines.push_back({std::to_string(next), snapshot.Entry});
        ++next;
    }
    if (lines.size() < recorded.size() || !RecordJoinedEntries(toFolder, lines)) {
        UndoJoinedCopies(copies);  // all or nothing: the old history stays whole
        return {};
    }
    RemoveJoinedHistory(fromFolder, copies);
    return {static_cast<int>(lines.size()), copies.back().To};
}

std::string StoreFolderOf(const std::string& relativeName) {
    return StoreFolderIn(RunSettings.DESTINATION, relativeName);
}

std::string StoreFolderIn(const std::string& destination, const std::string& relativeName) {
    if (destination.empty() || relativeName.empty()) {
        return {};
    }
    const fs::path name = fs::path(relativeName).lexically_normal();
    if (name.empty() || name.is_absolute() || name == "." || *name.begin() == "..") {
        return {};
    }
    return JoinPath(WithoutTrailingSlash(destination), WithoutTrailingSlash(name.string()));
}

std::string SnapshotFolder(const std::string& filePath) {
    if (RunSettings.SOURCE.empty() || filePath.empty()) {
        return {};
    }
    const std::string base =
        WithoutTrailingSlash(fs::path(RunSettings.SOURCE).lexically_normal().string());
    const std::string file = WithoutTrailingSlash(fs::path(filePath).lexically_normal().string());
    const std::string prefix = base == "/" ? base : base + "/";
    if (file.size() <= prefix.size() || file.compare(0, prefix.size(), prefix) != 0) {
        return {};
    }
    return StoreFolderOf(file.substr(prefix.size()));
}

namespace {

// The text of NO in the folder's index: nullopt when there is no index.
std::optional<std::string> IndexCountText(const std::string& indexPath,
                                          const std::optional<TPlainIndex>& plain) {
    std::error_code ec;
    if (plain) {
        return plain->Count;
    }
    if (!fs::exists(indexPath, ec)) {
        return std::nullopt;
    }
    return ReadIniValue("GENERAL", "NO", indexPath);
}

}  // namespace

int NextSnapshotNumberIn(const std::string& folder) {
    const std::string indexPath = IndexPathIn(folder);
    return NextSnapshotNumber(folder, IndexCountText(indexPath, ReadPlainIndex(indexPath)));
}

bool RecordSnapshot(const std::string& folder, int number, int actionCode) {
    return RecordSnapshotEntry(folder, number, EntryText(actionCode));
}

std::string SnapshotEntryText(int actionCode) {
    return EntryText(actionCode);
}

std::string SnapshotIndexPath(const std::string& folder) {
    return IndexPathIn(folder);
}

std::optional<std::string> IndexTextWithEntries(const std::string& folder,
                                                const std::vector<TIndexEntry>& entries) {
    if (entries.empty()) {
        return std::nullopt;
    }
    std::error_code ec;
    const std::string indexPath = IndexPathIn(folder);
    TPlainIndex plain;
    if (fs::exists(indexPath, ec) || fs::is_symlink(indexPath, ec)) {
        std::optional<TPlainIndex> read = ReadPlainIndex(indexPath);
        if (!read) {
            return std::nullopt;  // edited by hand: written key by key under the INI rules
        }
        plain = std::move(*read);
    }
    std::string lines = plain.DatesLines;
    for (std::size_t i = 0; i + 1 < entries.size(); ++i) {
        lines += std::to_string(entries[i].Number) + "=" + entries[i].Text + "\r\n";
    }
    for (const TIndexEntry& entry : entries) {
        const std::string key = std::to_string(entry.Number);
        if (std::find(plain.Keys.begin(), plain.Keys.end(), key) != plain.Keys.end()) {
            return std::nullopt;
        }
    }
    return PlainIndexText(lines, std::to_string(entries.back().Number), entries.back().Text);
}

bool RecordSnapshotEntry(const std::string& folder, int number, const std::string& entry) {
    std::error_code ec;
    const std::string indexPath = IndexPathIn(folder);
    const bool indexExists = fs::exists(indexPath, ec);
    const auto plain = indexExists ? ReadPlainIndex(indexPath) : std::nullopt;
    const std::string key = std::to_string(number);
    if (!indexExists) {
        return WriteFileAtomically(indexPath, PlainIndexText("", key, entry));
    }
    if (plain && std::find(plain->Keys.begin(), plain->Keys.end(), key) == plain->Keys.end()) {
        return WriteFileAtomically(indexPath, PlainIndexText(plain->DatesLines, key, entry));
    }
    return WriteIniValue("GENERAL", "NO", key, indexPath) &&
           WriteIniValue("DATES", key, entry, indexPath);
}

std::optional<int> SnapshotCopyNumber(const std::string& fileName) {
    return CopyNumberOf(fileName);
}

int HighestSnapshotCopyNumber(const std::string& folder) {
    return HighestCopyNumber(folder);
}

bool RemoveSnapshotEntries(const std::string& folder, const std::vector<int>& numbers) {
    const std::string indexPath = IndexPathIn(folder);
    std::error_code ec;
    if (!fs::exists(indexPath, ec) && !fs::is_symlink(indexPath, ec)) {
        return true;
    }
    std::vector<std::string> keys;
    for (const int number : numbers) {
        keys.push_back(std::to_string(number));
    }
    if (const std::optional<TPlainIndex> plain = ReadPlainIndex(indexPath)) {
        return WriteFileAtomically(indexPath, PlainIndexTextWithout(*plain, keys));
    }
    bool all = true;
    for (const std::string& key : keys) {
        all = WriteIniValue("DATES", key, "", indexPath) && all;
    }
    return all;
}

std::string SnapshotCopyPath(const std::string& folder, int number) {
    return CopyPathIn(folder, number);
}

std::string NewSnapshot(const std::string& folder, int actionCode) {
    if (folder.empty()) {
        return {};
    }
    CreatePrivateFolders(folder);  // a failure shows when the copy cannot be made
    const int number = NextSnapshotNumberIn(folder);
    RecordSnapshot(folder, number, actionCode);
    return CopyPathIn(folder, number);
}

std::vector<TSnapshotListItem> SnapshotListOf(const IniFile& index, std::vector<int> copyNumbers) {
    std::vector<TSnapshotListItem> items;
    const std::optional<std::string> noText = index.Read("GENERAL", "NO");
    if (noText && noText->empty()) {
        return items;
    }
    // Only numbers that something in the store stands for are looked at: a key of DATES or a
    // copy. Counting up to NO or the highest key instead would let one hand-edited huge key
    // make a list of billions of entries.
    std::sort(copyNumbers.begin(), copyNumbers.end());
    std::vector<int> numbers = DatesKeyNumbers(index);
    numbers.insert(numbers.end(), copyNumbers.begin(), copyNumbers.end());
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    const int count = ListedCount(noText, numbers.empty() ? 0 : numbers.back());
    // The section is read once: looking up each number in the file would make a long history
    // take a time that grows with the square of its length.
    std::unordered_map<std::string, std::string> dates;
    for (auto& [key, value] : index.ReadSection("DATES")) {
        dates.emplace(std::move(key), std::move(value));  // the first of a twice-written key
    }
    for (const int n : numbers) {
        if (n > count) {
            break;
        }
        // A number without its key (only its copy proves it) reads as a marker text, which
        // holds no ';': it shows with an empty date and time.
        const auto found = dates.find(std::to_string(n));
        if (found == dates.end() &&
            !std::binary_search(copyNumbers.begin(), copyNumbers.end(), n)) {
            continue;  // removed by a keeping rule, or never made
        }
        const std::string text = found == dates.end() ? kMarkerPrefix : found->second;
        if (text.empty()) {
            continue;
        }
        const TEntryFields fields = SplitEntry(text);
        items.push_back({n, fields.Date, fields.Time});
    }
    return items;
}

std::vector<TSnapshotListItem> ReadSnapshotList(const std::string& filePath) {
    const std::string folder = SnapshotFolder(filePath);
    if (folder.empty()) {
        return {};
    }
    const auto index = IniFile::Open(IndexPathIn(folder));
    if (!index) {
        return {};
    }
    return SnapshotListOf(*index, CopyNumbersIn(folder));
}

std::optional<TSnapshotEntry> ReadSnapshotEntry(const std::string& indexPath, int n) {
    std::error_code ec;
    if (!fs::is_regular_file(indexPath, ec)) {
        return std::nullopt;
    }
    TSnapshotEntry entry;
    entry.CopyPath = CopyPathIn(fs::path(indexPath).parent_path().string(), n);
    entry.CopyExists = fs::is_regular_file(entry.CopyPath, ec);
    if (!entry.CopyExists) {
        return entry;
    }
    const TEntryFields fields = SplitEntry(ReadIniValue("DATES", std::to_string(n), indexPath));
    entry.DateText = fields.Date;
    entry.TimeText = fields.Time;
    entry.ActionCode = LeadingNumber(fields.Rest);
    return entry;
}

namespace {

bool SameBytes(const std::string& a, const std::string& b) {
    std::ifstream first(a, std::ios::binary);
    std::ifstream second(b, std::ios::binary);
    if (!first.is_open() || !second.is_open()) {
        return false;
    }
    constexpr std::streamsize kChunk = 64 * 1024;
    std::string left(kChunk, '\0');
    std::string right(kChunk, '\0');
    for (;;) {
        first.read(left.data(), kChunk);
        second.read(right.data(), kChunk);
        const std::streamsize got = first.gcount();
        if (got != second.gcount() || first.bad() || second.bad() ||
            left.compare(0, static_cast<size_t>(got), right, 0, static_cast<size_t>(got)) != 0) {
            return false;
        }
        if (got < kChunk) {
            return first.eof() && second.eof();
        }
    }
}

}  // namespace

bool NewestSnapshotHoldsContentOf(const std::string& folder, const std::string& filePath) {
    const int newest = folder.empty() ? 0 : HighestCopyNumber(folder);
    if (newest == 0) {
        return false;
    }
    return CopyHoldsContentOf(CopyPathIn(folder, newest), filePath);
}

bool CopyHoldsContentOf(const std::string& copy, const std::string& filePath) {
    std::error_code ec;
    if (!fs::is_regular_file(copy, ec) || !fs::is_regular_file(filePath, ec)) {
        return false;
    }
    const auto fileSize = fs::file_size(filePath, ec);
    if (ec || fs::file_size(copy, ec) != fileSize || ec) {
        return false;
    }
    const auto fileTime = fs::last_write_time(filePath, ec);
    if (ec || fs::last_write_time(copy, ec) < fileTime || ec) {
        return false;  // copied before the file's last modification
    }
    return SameBytes(filePath, copy);
}

void DeleteSnapshots(const std::string& filePath) {
    const std::string folder = SnapshotFolder(filePath);
    if (IsExistingFolder(folder)) {
        TransferFile(folder, "", kTransferDelete, true);
    }
}
