#include "store/SourceFile.h"

#include <chrono>
#include <filesystem>
#include <thread>

#include "platform/FileAccess.h"
#include "store/PathText.h"
#include "store/StoreThread.h"

namespace {

constexpr int kOpenRetries = 200;
constexpr auto kOpenRetryPause = std::chrono::milliseconds(10);

}  // namespace

int OpenSourceWithRetries(const std::string& source) {
    for (int attempt = 0; attempt <= kOpenRetries && !StoreWorkAbandoned(); ++attempt) {
        if (attempt > 0) {
            std::this_thread::sleep_for(kOpenRetryPause);
        }
        int fd = -1;
        switch (OpenRegularFileForReading(source, &fd)) {
            case TOpenResult::Opened:
                return fd;
            case TOpenResult::NotRegular:
            case TOpenResult::Missing:  // gone: waiting will not bring it back
                return -1;
            case TOpenResult::Failed:
                break;
        }
    }
    return -1;
}

bool EnsureFolder(const std::string& folder) {
    if (IsExistingFolder(folder)) {
        return true;
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return IsExistingFolder(folder);
}
