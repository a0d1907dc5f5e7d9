#include "core/RunSettings.h"

#include <limits>

#include "lang/Language.h"

TRunSettings RunSettings;

namespace {

constexpr int32_t kDefaultSizeLimit = 1032;

std::string UpperAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

// A decimal whole number with an optional sign that fits 32 bits; nothing else.
bool ParseInt32(const std::string& text, int32_t& result) {
    std::size_t pos = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        pos = 1;
    }
    if (pos == text.size()) {
        return false;
    }
    int64_t value = 0;
    for (; pos < text.size(); ++pos) {
        if (text[pos] < '0' || text[pos] > '9') {
            return false;
        }
        value = value * 10 + (text[pos] - '0');
        if (value > int64_t{std::numeric_limits<int32_t>::max()} + 1) {
            return false;
        }
    }
    value = negative ? -value : value;
    if (value > std::numeric_limits<int32_t>::max()) {
        return false;
    }
    result = static_cast<int32_t>(value);
    return true;
}

}  // namespace

bool SettingFlag(const std::string& text) {
    return UpperAscii(text) == "TRUE";
}

int32_t SettingSizeLimit(const std::string& text) {
    int32_t limit = kDefaultSizeLimit;
    if (text.empty() || !ParseInt32(text, limit)) {
        return kDefaultSizeLimit;
    }
    return limit;
}

bool SettingOnUnlessFalse(const std::string& text) {
    return UpperAscii(text) != "FALSE";
}

int32_t SettingExtMode(const std::string& text) {
    return text == "2" ? 2 : 1;
}

int32_t SettingKeepLimit(const std::string& text) {
    int32_t limit = 0;
    return ParseInt32(text, limit) && limit > 0 ? limit : 0;
}

TRunSettings ReadSettingsFile(const std::string& path) {
    TRunSettings settings;
    settings.SOURCE = ReadIniPathValue("GENERAL", "SOURCE", path);
    settings.SUBFOLDERS = SettingFlag(ReadIniValue("GENERAL", "SUBFOLDERS", path));
    settings.DESTINATION = ReadIniPathValue("GENERAL", "DESTINATION", path);
    settings.SKIPLIKETASKS = SettingFlag(ReadIniValue("GENERAL", "SKIPLIKETASKS", path));
    settings.BYSIZE = SettingSizeLimit(ReadIniValue("FILTERS", "BYSIZE", path));
    settings.BYEXT = ReadIniValue("FILTERS", "BYEXT", path);
    settings.BYEXTMODE = SettingExtMode(ReadIniValue("FILTERS", "BYEXTMODE", path));
    // A missing key reads as a marker text, which keeps the transient files out.
    settings.SKIPTRANSIENT = SettingOnUnlessFalse(ReadIniValue("FILTERS", "SKIPTRANSIENT", path));
    settings.KEEPCOUNT = SettingKeepLimit(ReadIniValue("STORE", "KEEPCOUNT", path));
    settings.KEEPDAYS = SettingKeepLimit(ReadIniValue("STORE", "KEEPDAYS", path));
    settings.KEEPMB = SettingKeepLimit(ReadIniValue("STORE", "KEEPMB", path));
    return settings;
}
