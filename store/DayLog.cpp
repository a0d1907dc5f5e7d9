#include "store/DayLog.h"

#include <algorithm>
#include <climits>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "core/Paths.h"
#include "lang/Language.h"
#include "platform/DateTimeText.h"
#include "platform/FileAccess.h"
#include "platform/FileAttributes.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr std::size_t kReadBlockSize = 64 * 1024;
// The most of one line that is read back: more cannot be shown usefully, and a hand-made file
// of one endless line must not take the memory.
constexpr std::uint64_t kMaxLineShown = 1024 * 1024;

// A file name can hold any byte but '/' and NUL; a control character in the log's file field
// would break the line or forge a new one, so each becomes '?'.
std::string WithoutControlCharacters(std::string text) {
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            c = '?';
        }
    }
    return text;
}

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A decimal whole number (optional sign, spaces around it allowed) that fits an int.
bool ParseNumber(const std::string& field, int& result) {
    const std::string text = Trimmed(field);
    std::size_t pos = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    if (pos == text.size()) {
        return false;
    }
    long long value = 0;
    for (; pos < text.size(); ++pos) {
        if (text[pos] < '0' || text[pos] > '9') {
            return false;
        }
        value = value * 10 + (text[pos] - '0');
        if (value > INT_MAX) {
            return false;
        }
    }
    result = static_cast<int>(text[0] == '-' ? -value : value);
    return true;
}

// Splits off the text before the first ';'; false when there is no ';' (rest is then empty).
bool TakeField(std::string& rest, std::string& field) {
    const std::size_t semicolon = rest.find(';');
    if (semicolon == std::string::npos) {
        field = rest;
        rest.clear();
        return false;
    }
    field = rest.substr(0, semicolon);
    rest.erase(0, semicolon + 1);
    return true;
}

}  // namespace

TLogLine ParseLogLine(const std::string& line) {
    TLogLine record;
    record.ImageIndex = -1;
    std::string rest = line;
    std::string codeField;
    std::string imageField;
    bool complete = TakeField(rest, record.TimeText);
    complete = complete && TakeField(rest, codeField);
    complete = complete && TakeField(rest, imageField);
    record.FileText = complete ? rest : std::string();
    const bool codeRead = ParseNumber(codeField, record.Code);
    if (!codeRead) {
        record.Code = 0;
    }
    const bool imageRead = ParseNumber(imageField, record.ImageIndex);
    if (!imageRead) {
        record.ImageIndex = -1;
    }
    record.WellFormed = complete && codeRead && imageRead;
    return record;
}

namespace {

bool EqualsIgnoringAsciiCase(char a, char b) {
    const auto fold = [](char c) {
        return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    };
    return fold(a) == fold(b);
}

bool IsFilePlaceholderAt(const std::string& text, std::size_t pos) {
    static const std::string placeholder = "$FILE$";
    if (pos + placeholder.size() > text.size()) {
        return false;
    }
    for (std::size_t i = 0; i < placeholder.size(); ++i) {
        if (!EqualsIgnoringAsciiCase(text[pos + i], placeholder[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

void WriteLogLine(int code, int image, const std::string& fileText) {
    if (LogsDir.empty()) {
        return;  // the folders are not set yet: there is no log to write to
    }
    // The window's, the wait and the store thread all write: one line at a time, in the order
    // their times are taken.
    static std::mutex writing;
    const std::lock_guard<std::mutex> guard(writing);
    CreatePrivateFolders(LogsDir);
    const std::string path = LogsDir + "/" + DayFileName(ShortDateText()) + ".log";
    const std::string line = LongTimeText() + ";" + std::to_string(code) + ";" +
                             std::to_string(image) + ";" + WithoutControlCharacters(fileText) +
                             kLineEnd;
    AppendLineToRegularFile(path, line);  // a line that cannot be written is lost without a word
}

std::vector<std::string> ListFiles(const std::string& folder, const std::string& mask) {
    std::vector<std::string> paths;
    std::error_code error;
    fs::directory_iterator entries(folder, error);
    if (error) {
        return paths;
    }
    const std::string prefix = (!folder.empty() && folder.back() == '/') ? folder : folder + "/";
    for (auto it = fs::begin(entries); it != fs::end(entries); it.increment(error)) {
        if (error) {
            break;
        }
        const std::string name = it->path().filename().string();
        if (mask.empty() || NameMatchesMask(name, mask)) {
            paths.push_back(prefix + name);
        }
    }
    return paths;
}

std::string DayLogPath(const std::string& day) {
    return LogsDir + "/" + day + ".log";
}

std::string DayFileName(const std::string& dateText) {
    return PathSafeText(dateText);
}

TDayLog::~TDayLog() {
    Close();
}

TDayLog::TDayLog(TDayLog&& other) noexcept : fd_(other.fd_), lines_(std::move(other.lines_)) {
    other.fd_ = -1;
    other.lines_.clear();
}

TDayLog& TDayLog::operator=(TDayLog&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        lines_ = std::move(other.lines_);
        other.fd_ = -1;
        other.lines_.clear();
    }
    return *this;
}

void TDayLog::Close() {
    if (fd_ >= 0) {
        CloseFile(fd_);
    }
    fd_ = -1;
    lines_.clear();
}

bool TDayLog::Open(const std::string& path) {
    Close();
    int fd = -1;
    if (OpenRegularFileForReading(path, &fd) != TOpenResult::Opened) {
        return false;
    }
    AdviseSequentialReading(fd);
    // The file is read in blocks and only where each non-empty line lies is kept; a line may
    // run over several blocks.
    std::vector<char> block(kReadBlockSize);
    std::uint64_t offset = 0;
    std::uint64_t lineStart = 0;
    char lastByte = '\n';
    for (;;) {
        const std::int64_t got = ReadBlock(fd, block.data(), block.size());
        if (got < 0) {
            CloseFile(fd);
            lines_.clear();
            return false;
        }
        if (got == 0) {
            break;
        }
        for (std::int64_t i = 0; i < got; ++i) {
            if (block[static_cast<std::size_t>(i)] == '\n') {
                const std::uint64_t end = offset + static_cast<std::uint64_t>(i);
                const std::uint64_t length =
                    end - lineStart - (lastByte == '\r' && end > lineStart);
                if (length > 0) {
                    lines_.push_back({lineStart, length});
                }
                lineStart = end + 1;
            }
            lastByte = block[static_cast<std::size_t>(i)];
        }
        offset += static_cast<std::uint64_t>(got);
    }
    // The last line may have no line end.
    const std::uint64_t lastLength = offset - lineStart - (lastByte == '\r' && offset > lineStart);
    if (offset > lineStart && lastLength > 0) {
        lines_.push_back({lineStart, lastLength});
    }
    lines_.shrink_to_fit();
    fd_ = fd;
    return true;
}

TLogLine TDayLog::Line(std::size_t i) const {
    const TLineSpan& span = lines_.at(i);
    std::string text(static_cast<std::size_t>(std::min<std::uint64_t>(span.Length, kMaxLineShown)),
                     '\0');
    const std::int64_t got =
        ReadBlockAt(fd_, text.data(), text.size(), static_cast<std::int64_t>(span.Start));
    if (got != static_cast<std::int64_t>(text.size())) {
        TLogLine unreadable;
        unreadable.ImageIndex = -1;
        unreadable.WellFormed = false;
        return unreadable;
    }
    return ParseLogLine(text);
}

bool ReadDayLog(const std::string& path, std::vector<TLogLine>& records) {
    records.clear();
    TDayLog day;
    if (!day.Open(path)) {
        return false;
    }
    records.reserve(day.Size());
    for (std::size_t i = 0; i < day.Size(); ++i) {
        records.push_back(day.Line(i));
    }
    return true;
}

std::string SubstituteFile(const std::string& templ, const std::string& fileText) {
    std::string result;
    std::size_t pos = 0;
    while (pos < templ.size()) {
        if (IsFilePlaceholderAt(templ, pos)) {
            result += fileText;
            pos += 6;
        } else {
            result += templ[pos++];
        }
    }
    return result;
}
