#include "ui/TextTables.h"

#include <charconv>

TTextTables TextTables;

int LogMessageCount(const std::string& text) {
    if (text.empty()) {
        return 3;
    }
    const char* first = text.data();
    const char* last = text.data() + text.size();
    if (*first == '+' && text.size() > 1 && text[1] != '-') {
        ++first;  // from_chars takes no plus sign
    }
    int value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || first == last) {
        return 0;
    }
    return value > kMaxLogMessages ? kMaxLogMessages : value;
}

std::string LogMessageText(int code) {
    if (code < 1 || code > static_cast<int>(TextTables.LogMessages.size())) {
        return {};
    }
    return TextTables.LogMessages[static_cast<size_t>(code - 1)];
}
