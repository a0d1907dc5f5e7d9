#include "platform/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "platform/AtomicFile.h"

namespace {

constexpr std::size_t kMaxValueLength = 2047;
constexpr const char* kLineEnd = "\r\n";
constexpr const char* kUtf8Bom = "\xEF\xBB\xBF";

// One line of the file: [begin, end) is its text without the line end; next is where the
// following line starts (content size for the last line).
struct LineSpan {
    std::size_t begin = 0;
    std::size_t end = 0;
    std::size_t next = 0;
};

enum class LineKind { Other, Section, Key };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::string name;   // section name or key name, trimmed
    std::string value;  // key value, trimmed (quotes still on)
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

std::string Trim(const std::string& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && IsBlank(text[first])) {
        ++first;
    }
    while (last > first && IsBlank(text[last - 1])) {
        --last;
    }
    return text.substr(first, last - first);
}

char FoldAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool NamesEqual(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

// CR, LF and CR LF each end a line, so files from any system (and a lone CR left by an editor)
// read line by line alike.
std::vector<LineSpan> SplitLines(const std::string& content) {
    std::vector<LineSpan> lines;
    std::size_t pos = 0;
    if (content.compare(0, 3, kUtf8Bom) == 0) {
        pos = 3;  // a byte order mark is kept in the file but is no part of the first line
    }
    while (pos < content.size()) {
        LineSpan line;
        line.begin = pos;
        const std::size_t lineEnd = content.find_first_of("\r\n", pos);
        line.end = lineEnd == std::string::npos ? content.size() : lineEnd;
        line.next = line.end;
        if (line.next < content.size()) {
            const bool crLf = content[line.next] == '\r' && line.next + 1 < content.size() &&
                              content[line.next + 1] == '\n';
            line.next += crLf ? 2 : 1;
        }
        lines.push_back(line);
        pos = line.next;
    }
    return lines;
}

// A name or a value ends at a NUL byte.
std::string UpToNul(const std::string& text) {
    return text.substr(0, text.find('\0'));
}

// A value loses its blanks at both ends; at its end Ctrl-Z (0x1A, an old end-of-file mark)
// counts as a blank too.
std::string TrimValue(const std::string& text) {
    std::string value = Trim(text);
    while (!value.empty() && (IsBlank(value.back()) || value.back() == '\x1A')) {
        value.pop_back();
    }
    return value;
}

ParsedLine ParseLine(const std::string& content, const LineSpan& span) {
    ParsedLine parsed;
    const std::string text = Trim(content.substr(span.begin, span.end - span.begin));
    if (!text.empty() && text[0] == '[') {
        const std::size_t close = text.rfind(']');  // a name may hold ']' itself
        if (close != std::string::npos) {
            parsed.kind = LineKind::Section;
            parsed.name = Trim(UpToNul(text.substr(1, close - 1)));
        }
        return parsed;
    }
    const std::size_t equals = text.find('=');
    if (equals != std::string::npos) {
        parsed.kind = LineKind::Key;
        parsed.name = Trim(UpToNul(text.substr(0, equals)));
        parsed.value = TrimValue(UpToNul(text.substr(equals + 1)));
    }
    return parsed;
}

// Index of the first header line of the section, or lines.size() when it is absent.
std::size_t FindSection(const std::string& content, const std::vector<LineSpan>& lines,
                        const std::string& section) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const ParsedLine parsed = ParseLine(content, lines[i]);
        if (parsed.kind == LineKind::Section && NamesEqual(parsed.name, section)) {
            return i;
        }
    }
    return lines.size();
}

std::string StripQuotes(const std::string& value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// Length of the UTF-8 sequence that a lead byte opens; 0 for a byte that opens none.
std::size_t Utf8SequenceLength(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    return 0;
}

// Cuts a value to its first 2047 bytes without splitting a UTF-8 character in two.
std::string CutValue(const std::string& value) {
    if (value.size() <= kMaxValueLength) {
        return value;
    }
    std::size_t cut = kMaxValueLength;
    std::size_t lead = cut;
    while (lead > 0 && cut - lead < 3 && (static_cast<unsigned char>(value[lead]) & 0xC0) == 0x80) {
        --lead;
    }
    const std::size_t length = Utf8SequenceLength(static_cast<unsigned char>(value[lead]));
    if (lead < cut && length > 0 && lead + length > cut) {
        cut = lead;
    }
    return value.substr(0, cut);
}

// A line break would add a line of its own; a NUL would cut the text when it is read back.
bool HoldsLineBreakOrNul(const std::string& text) {
    return text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

// Names that would not read back as themselves are refused, so a write can never add a line
// or a key that the caller did not ask for.
bool IsWritable(const std::string& section, const std::string& key, const std::string& value) {
    if (HoldsLineBreakOrNul(section) || HoldsLineBreakOrNul(key) || HoldsLineBreakOrNul(value)) {
        return false;
    }
    if (key.empty() || key.find('=') != std::string::npos) {
        return false;
    }
    return section.find(']') == std::string::npos;
}

// The content with key=value written into section, following the private-profile rules.
std::string WithKey(const std::string& content, const std::string& section, const std::string& key,
                    const std::string& value) {
    const std::vector<LineSpan> lines = SplitLines(content);
    const std::size_t header = FindSection(content, lines, section);
    if (header == lines.size()) {
        std::string result = content;
        if (!result.empty() && result.back() != '\n' && result.back() != '\r' &&
            result != kUtf8Bom) {
            result += kLineEnd;
        }
        return result + "[" + section + "]" + kLineEnd + key + "=" + value + kLineEnd;
    }
    std::size_t lastKeyLine = header;
    for (std::size_t i = header + 1; i < lines.size(); ++i) {
        const ParsedLine parsed = ParseLine(content, lines[i]);
        if (parsed.kind == LineKind::Section) {
            break;
        }
        if (parsed.kind != LineKind::Key) {
            continue;
        }
        if (NamesEqual(parsed.name, key)) {
            const std::string line = parsed.name + "=" + value + kLineEnd;
            return content.substr(0, lines[i].begin) + line + content.substr(lines[i].next);
        }
        lastKeyLine = i;
    }
    // A new key goes directly below the last key line of its section (or its header), so blank
    // lines that separate it from the next section stay below the new key.
    const LineSpan& anchor = lines[lastKeyLine];
    std::string result = content.substr(0, anchor.next);
    if (anchor.next == anchor.end) {
        result += kLineEnd;  // the anchor was the last line and had no line end
    }
    return result + key + "=" + value + kLineEnd + content.substr(anchor.next);
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string ResolvedPath(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) {
        return path;
    }
    return resolved;
}

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Replaces the file's content as one step: a temporary file in the same folder, flushed to
// disk with the original's owner and permissions, then renamed over the original. A failure at
// any point leaves the original untouched. When no temporary file can be made beside it (a
// read-only folder holding a writable file), the file is written in place instead.
bool ReplaceFileContent(const std::string& path, const std::string& content) {
    const std::string target = ResolvedPath(path);
    struct stat info {};
    if (::stat(target.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    if (::access(target.c_str(), W_OK) != 0) {
        return false;
    }
    const std::string folder = FolderOf(target);
    std::string temporary;
    const int fd = OpenReplacement(folder, target, &temporary);
    if (fd < 0) {
        return false;
    }
    if (!WriteAll(fd, content.data(), content.size())) {
        DiscardTempFile(fd, temporary);
        return false;
    }
    if (!temporary.empty()) {
        TakeOverTargetAttributes(fd, target);
    }
    bool renameFailed = false;
    if (!CommitTempFile(fd, temporary, target, &renameFailed)) {
        return false;
    }
    if (!temporary.empty()) {
        SyncFolder(folder);
    }
    return true;
}

}  // namespace

std::optional<IniFile> IniFile::Open(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        return std::nullopt;
    }
    IniFile file;
    file.path_ = path;
    file.content_.assign(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
    if (stream.bad()) {
        return std::nullopt;
    }
    return file;
}

std::optional<std::string> IniFile::Read(const std::string& section, const std::string& key) const {
    const std::vector<LineSpan> lines = SplitLines(content_);
    const std::size_t header = FindSection(content_, lines, section);
    for (std::size_t i = header + 1; i < lines.size(); ++i) {
        const ParsedLine parsed = ParseLine(content_, lines[i]);
        if (parsed.kind == LineKind::Section) {
            break;
        }
        if (parsed.kind == LineKind::Key && NamesEqual(parsed.name, key)) {
            return CutValue(StripQuotes(parsed.value));
        }
    }
    return std::nullopt;
}

std::vector<std::pair<std::string, std::string>> IniFile::ReadSection(
    const std::string& section) const {
    std::vector<std::pair<std::string, std::string>> keys;
    const std::vector<LineSpan> lines = SplitLines(content_);
    for (std::size_t i = FindSection(content_, lines, section) + 1; i < lines.size(); ++i) {
        ParsedLine parsed = ParseLine(content_, lines[i]);
        if (parsed.kind == LineKind::Section) {
            break;
        }
        if (parsed.kind == LineKind::Key) {
            keys.emplace_back(std::move(parsed.name), CutValue(StripQuotes(parsed.value)));
        }
    }
    return keys;
}

std::vector<std::string> IniFile::KeyNamesInEvery(const std::string& section) const {
    std::vector<std::string> names;
    bool inSection = false;
    for (const LineSpan& line : SplitLines(content_)) {
        ParsedLine parsed = ParseLine(content_, line);
        if (parsed.kind == LineKind::Section) {
            inSection = NamesEqual(parsed.name, section);
        } else if (inSection && parsed.kind == LineKind::Key) {
            names.push_back(std::move(parsed.name));
        }
    }
    return names;
}

IniFile IniFile::FromText(std::string content) {
    IniFile file;
    file.content_ = std::move(content);
    return file;
}

std::optional<std::string> IniFile::TextWith(const std::string& section,
                                             const std::vector<TIniValue>& values) const {
    for (const auto& [key, value] : values) {
        if (!IsWritable(section, key, value)) {
            return std::nullopt;
        }
    }
    std::string updated = content_;
    for (const auto& [key, value] : values) {
        updated = WithKey(updated, section, key, value);
    }
    return updated;
}

bool IniFile::Write(const std::string& section, const std::string& key, const std::string& value) {
    return Write(section, {{key, value}});
}

bool IniFile::Write(const std::string& section, const std::vector<TIniValue>& values) {
    std::optional<std::string> updated = TextWith(section, values);
    if (!updated || path_.empty() || !ReplaceFileContent(path_, *updated)) {
        return false;
    }
    content_ = std::move(*updated);
    return true;
}
