#include "core/Paths.h"

#include <filesystem>
#include <system_error>

#include "core/SharedState.h"
#include "lang/Language.h"

std::string ProgramDir;
std::string LanguageDir;
std::string LogsDir;
std::string SettingsDir;

namespace {

std::string ExecutableFolder() {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return std::filesystem::current_path(error).string();
    }
    return executable.parent_path().string();
}

std::string WithoutTrailingDelimiters(std::string folder) {
    while (!folder.empty() && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
}

}  // namespace

bool InitPaths(const std::string& programDir) {
    ProgramDir = WithoutTrailingDelimiters(programDir.empty() ? ExecutableFolder() : programDir);
    LanguageDir = ProgramDir + "/Language";
    LogsDir = ProgramDir + "/Logs";
    SettingsDir = ProgramDir + "/Settings/";
    SetLanguageFolder(LanguageDir);
    ResetSnapshotQueue();
    // The watcher starts out not watching: it holds no change source until StartWatching.
    return true;
}

std::string SettingsFilePath() {
    return SettingsDir + "Settings.ini";
}
