#include "store/WatchState.h"

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/AtomicFile.h"
#include "store/PathText.h"

// Not of the form of the program's temporary files, which a start clears away.
const char* const kWatchStateName = ".ostrevan.watchstate";

namespace {

constexpr const char* kKey = "COMPLETEUNTIL=";

std::string StatePath(const std::string& storeFolder) {
    return JoinPath(storeFolder, kWatchStateName);
}

}  // namespace

bool IsWatchStateName(const std::string& name) {
    const std::size_t slash = name.find_last_of('/');
    return name.compare(slash == std::string::npos ? 0 : slash + 1, std::string::npos,
                        kWatchStateName) == 0;
}

std::optional<timespec> ReadWatchCompleteUntil(const std::string& storeFolder) {
    if (storeFolder.empty() || !IsExistingFile(StatePath(storeFolder))) {
        return std::nullopt;
    }
    std::ifstream in(StatePath(storeFolder), std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::size_t at = text.find(kKey);
    if (at == std::string::npos) {
        return std::nullopt;
    }
    const char* first = text.data() + at + std::char_traits<char>::length(kKey);
    const char* last = text.data() + text.size();
    long long seconds = 0;
    long nanoseconds = 0;
    const auto [end, error] = std::from_chars(first, last, seconds);
    if (error != std::errc() || end == first || seconds <= 0) {
        return std::nullopt;
    }
    if (end != last && *end == '.') {
        const auto fraction = std::from_chars(end + 1, last, nanoseconds);
        if (fraction.ec != std::errc() || nanoseconds < 0 || nanoseconds > 999999999) {
            nanoseconds = 0;
        }
    }
    return timespec{static_cast<std::time_t>(seconds), nanoseconds};
}

bool WriteWatchCompleteUntil(const std::string& storeFolder, const timespec& moment) {
    if (storeFolder.empty()) {
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(storeFolder, ec);
    char fraction[16];
    std::snprintf(fraction, sizeof fraction, ".%09ld", static_cast<long>(moment.tv_nsec));
    const std::string seconds = std::to_string(static_cast<long long>(moment.tv_sec));
    return WriteFileAtomically(StatePath(storeFolder),
                               std::string("[WATCH]\r\n") + kKey + seconds + fraction + "\r\n");
}
