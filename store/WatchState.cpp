#include "store/WatchState.h"

#include <charconv>
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

std::optional<std::time_t> ReadWatchCompleteUntil(const std::string& storeFolder) {
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
    long long seconds = 0;
    const auto [end, error] = std::from_chars(first, text.data() + text.size(), seconds);
    if (error != std::errc() || end == first || seconds <= 0) {
        return std::nullopt;
    }
    return static_cast<std::time_t>(seconds);
}

bool WriteWatchCompleteUntil(const std::string& storeFolder, std::time_t moment) {
    if (storeFolder.empty()) {
        return false;
    }
    std::error_code ec;
    std::filesystem::create_directories(storeFolder, ec);
    return WriteFileAtomically(StatePath(storeFolder),
                               std::string("[WATCH]\r\n") + kKey + std::to_string(moment) + "\r\n");
}
