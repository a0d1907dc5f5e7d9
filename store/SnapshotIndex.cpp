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

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

bool SameLettersIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto up = [](char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; };
               return up(x) == up(y);
           });
}

// The numbers used as keys of the DATES section, read straight from the file so that keys the
// count in NO no longer reaches are found too.
int HighestDatesKey(const std::string& indexPath) {
    std::error_code ec;
    if (!fs::is_regular_file(indexPath, ec)) {
        return 0;  // opening a pipe put in the index's place would wait for a writer for ever
    }
    std::ifstream in(indexPath, std::ios::binary);
    std::string line;
    bool inDates = false;
    int highest = 0;
    while (std::getline(in, line)) {
        const std::string text = Trimmed(line);
        if (!text.empty() && text.front() == '[') {
            const auto close = text.find(']');
            inDates = close != std::string::npos &&
                      SameLettersIgnoringCase(Trimmed(text.substr(1, close - 1)), "DATES");
            continue;
        }
        const auto equals = text.find('=');
        if (inDates && equals != std::string::npos) {
            highest = std::max(highest, ParseNumber(Trimmed(text.substr(0, equals))).value_or(0));
        }
    }
    return highest;
}

std::optional<int> CopyNumberOf(const std::string& name) {
    if (name.rfind(kCopyPrefix, 0) != 0) {
        return std::nullopt;
    }
    return ParseNumber(name.substr(std::char_traits<char>::length(kCopyPrefix)));
}

int HighestCopyNumber(const std::string& folder) {
    int highest = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        highest = std::max(highest, CopyNumberOf(it->path().filename().string()).value_or(0));
    }
    return highest;
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

// How many entries the list shows: NO (empty counts as 0), or for a NO that is missing or not a
// number the highest number found. NO is never followed beyond the highest number found, so a
// hand-edited huge count cannot make the list endless.
int ListedCount(const std::string& folder, const std::optional<std::string>& noText) {
    if (noText && noText->empty()) {
        return 0;
    }
    const int highest = HighestNumberFound(folder);
    const auto count = noText ? ParseNumber(*noText) : std::nullopt;
    return count ? std::min(*count, highest) : highest;
}

}  // namespace

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
    std::error_code ec;
    fs::create_directories(folder, ec);  // a failure shows when the copy cannot be made
    const int number = NextSnapshotNumberIn(folder);
    RecordSnapshot(folder, number, actionCode);
    return CopyPathIn(folder, number);
}

std::vector<TSnapshotListItem> ReadSnapshotList(const std::string& filePath) {
    std::vector<TSnapshotListItem> items;
    const std::string folder = SnapshotFolder(filePath);
    if (folder.empty()) {
        return items;
    }
    const std::string indexPath = IndexPathIn(folder);
    const auto index = IniFile::Open(indexPath);
    if (!index) {
        return items;
    }
    const int count = ListedCount(folder, index->Read("GENERAL", "NO"));
    // The section is read once: looking up each number in the file would make a long history
    // take a time that grows with the square of its length.
    std::unordered_map<std::string, std::string> dates;
    std::error_code ec;
    for (auto& [key, value] : index->ReadSection("DATES")) {
        dates.emplace(std::move(key), std::move(value));  // the first of a twice-written key
    }
    for (int n = 1; n <= count; ++n) {
        // A missing key reads as a marker text, which holds no ';': the number shows with an
        // empty date and time.
        const auto found = dates.find(std::to_string(n));
        if (found == dates.end() && !fs::exists(CopyPathIn(folder, n), ec)) {
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

void DeleteSnapshots(const std::string& filePath) {
    const std::string folder = SnapshotFolder(filePath);
    if (IsExistingFolder(folder)) {
        TransferFile(folder, "", kTransferDelete, true);
    }
}
