#include "store/DayLog.h"

#include <climits>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <system_error>

#include "core/Paths.h"
#include "platform/DateTimeText.h"
#include "platform/FileAccess.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kLineEnd = "\r\n";

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

TLogRecord ParseLogLine(const std::string& line) {
    TLogRecord record;
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
    std::error_code error;
    fs::create_directories(LogsDir, error);
    const std::string path = LogsDir + "/" + DayFileName(ShortDateText()) + ".log";
    const std::string line = LongTimeText() + ";" + std::to_string(code) + ";" +
                             std::to_string(image) + ";" + WithoutControlCharacters(fileText) +
                             kLineEnd;
    AppendToRegularFile(path, line);  // a line that cannot be written is lost without a word
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
    std::string name = dateText;
    for (char& c : name) {
        if (c == '/') {
            c = '-';
        }
    }
    return name;
}

bool ReadDayLog(const std::string& path, std::vector<TLogRecord>& records) {
    records.clear();
    std::error_code error;
    if (!fs::is_regular_file(path, error)) {
        return false;
    }
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        return false;
    }
    const std::string content{std::istreambuf_iterator<char>(stream),
                              std::istreambuf_iterator<char>()};
    std::size_t pos = 0;
    while (pos < content.size()) {
        std::size_t end = content.find('\n', pos);
        const std::size_t next = end == std::string::npos ? content.size() : end + 1;
        end = end == std::string::npos ? content.size() : end;
        if (end > pos && content[end - 1] == '\r') {
            --end;
        }
        if (end > pos) {
            records.push_back(ParseLogLine(content.substr(pos, end - pos)));
        }
        pos = next;
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
