#include "store/IndexText.h"

#include <algorithm>

namespace {

constexpr const char* kHead = "[GENERAL]\r\nNO=";
constexpr const char* kBetween = "\r\n \r\n[DATES]\r\n";

bool AllDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool StartsWithAt(const std::string& text, size_t at, const std::string& part) {
    return text.compare(at, part.size(), part) == 0;
}

}  // namespace

std::optional<TPlainIndex> ParsePlainIndex(const std::string& content) {
    const std::string head = kHead;
    const std::string between = kBetween;
    if (!StartsWithAt(content, 0, head)) {
        return std::nullopt;
    }
    const size_t countEnd = content.find('\r', head.size());
    if (countEnd == std::string::npos || !StartsWithAt(content, countEnd, between)) {
        return std::nullopt;
    }
    TPlainIndex index;
    index.Count = content.substr(head.size(), countEnd - head.size());
    if (!AllDigits(index.Count)) {
        return std::nullopt;
    }
    const size_t datesStart = countEnd + between.size();
    for (size_t at = datesStart; at < content.size();) {
        const size_t end = content.find("\r\n", at);
        const size_t equals = content.find('=', at);
        if (end == std::string::npos || equals == std::string::npos || equals > end) {
            return std::nullopt;
        }
        const std::string line = content.substr(at, end - at);
        if (line.find('\n') != std::string::npos || line.find('\r') != std::string::npos) {
            return std::nullopt;
        }
        std::string key = content.substr(at, equals - at);
        if (!AllDigits(key)) {
            return std::nullopt;
        }
        index.Keys.push_back(std::move(key));
        at = end + 2;
    }
    index.DatesLines = content.substr(datesStart);
    return index;
}

std::string PlainIndexTextWithout(const TPlainIndex& index, const std::vector<std::string>& keys) {
    std::string text = kHead + index.Count + kBetween;
    size_t at = 0;
    for (const std::string& key : index.Keys) {
        const size_t end = index.DatesLines.find("\r\n", at) + 2;
        if (std::find(keys.begin(), keys.end(), key) == keys.end()) {
            text.append(index.DatesLines, at, end - at);
        }
        at = end;
    }
    return text;
}

std::string PlainIndexText(const std::string& datesLines, const std::string& key,
                           const std::string& entry) {
    return PlainIndexWithLines(datesLines, {{key, entry}});
}

std::string PlainIndexWithLines(const std::string& datesLines,
                                const std::vector<TIndexLine>& added) {
    std::string text = kHead + (added.empty() ? std::string("0") : added.back().Key) + kBetween;
    text += datesLines;
    for (const TIndexLine& line : added) {
        text += line.Key + "=" + line.Entry + "\r\n";
    }
    return text;
}
