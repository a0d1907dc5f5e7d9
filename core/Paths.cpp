#include "core/Paths.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "core/SharedState.h"
#include "lang/Language.h"
#include "platform/AtomicFile.h"
#include "platform/UserFolders.h"

std::string ProgramDir;
std::string LanguageDir;
std::string LogsDir;
std::string SettingsDir;

namespace fs = std::filesystem;

namespace {

// The folders in use; kept for what only the installed layout does at first start.
TProgramFolders CurrentFolders;

std::string ExecutableFolder() {
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    if (error) {
        return fs::current_path(error).string();
    }
    return executable.parent_path().string();
}

std::string WithoutTrailingDelimiters(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
}

// An XDG base folder: the variable when it holds an absolute path, else home + fallback.
std::string BaseFolder(const char* variable, const std::string& home, const char* fallback) {
    const std::string value = EnvironmentValue(variable);
    if (!value.empty() && value.front() == '/') {
        return WithoutTrailingDelimiters(value);
    }
    return WithoutTrailingDelimiters(home) + "/" + fallback;
}

// The user's documents folder: what the desktop names, unless that is only the home folder.
std::string DocumentsFolder(const std::string& home) {
    const std::string named = WithoutTrailingDelimiters(DesktopUserFolder("DOCUMENTS"));
    if (!named.empty() && named.front() == '/' && named != WithoutTrailingDelimiters(home)) {
        return named;
    }
    return WithoutTrailingDelimiters(home) + "/Documents";
}

// The whole content of a file; false when it cannot be opened.
bool ReadWholeFile(const std::string& path, std::string* content) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    content->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

}  // namespace

TUserFolders CurrentUserFolders() {
    TUserFolders user;
    user.Home = HomeFolder();
    user.ConfigHome = BaseFolder("XDG_CONFIG_HOME", user.Home, ".config");
    user.DataHome = BaseFolder("XDG_DATA_HOME", user.Home, ".local/share");
    user.StateHome = BaseFolder("XDG_STATE_HOME", user.Home, ".local/state");
    return user;
}

TProgramFolders PortableFolders(const std::string& programDir) {
    TProgramFolders folders;
    folders.Program = WithoutTrailingDelimiters(programDir);
    folders.Language = folders.Program + "/Language";
    folders.Logs = folders.Program + "/Logs";
    folders.Settings = folders.Program + "/Settings/";
    return folders;
}

TProgramFolders InstalledFolders(const std::string& programDir, const TUserFolders& user) {
    TProgramFolders folders;
    folders.Installed = true;
    folders.Program = WithoutTrailingDelimiters(programDir);
    const std::string data =
        fs::path(folders.Program).parent_path().lexically_normal().string() + "/share/ostrevan";
    folders.Language = data + "/Language";
    folders.SettingsTemplate = data + "/Settings.ini";
    // A program folder that only lacks a writable Settings/ (a read-only copy of a portable
    // folder) still brings its own language files and settings.
    std::error_code error;
    if (!fs::is_directory(folders.Language, error) &&
        fs::is_directory(folders.Program + "/Language", error)) {
        folders.Language = folders.Program + "/Language";
    }
    if (!fs::exists(folders.SettingsTemplate, error) &&
        fs::exists(folders.Program + "/Settings/Settings.ini", error)) {
        folders.SettingsTemplate = folders.Program + "/Settings/Settings.ini";
    }
    folders.Logs = user.StateHome + "/ostrevan/Logs";
    folders.Settings = user.ConfigHome + "/ostrevan/";
    folders.Store = user.DataHome + "/ostrevan/store";
    return folders;
}

TProgramFolders ChooseProgramFolders(const std::string& programDir, const TUserFolders& user) {
    const std::string program = WithoutTrailingDelimiters(programDir);
    if (IsWritableFolder(program + "/Settings")) {
        return PortableFolders(program);
    }
    return InstalledFolders(program, user);
}

bool InitPaths(const TProgramFolders& folders) {
    CurrentFolders = folders;
    ProgramDir = folders.Program;
    LanguageDir = folders.Language;
    LogsDir = folders.Logs;
    SettingsDir = folders.Settings;
    SetLanguageFolder(LanguageDir);
    ResetSnapshotQueue();
    // The watcher starts out not watching: it holds no change source until StartWatching.
    return true;
}

bool InitPaths(const std::string& programDir) {
    if (!programDir.empty()) {
        return InitPaths(PortableFolders(programDir));
    }
    return InitPaths(ChooseProgramFolders(ExecutableFolder(), CurrentUserFolders()));
}

bool InstalledLayout() {
    return CurrentFolders.Installed;
}

std::string SettingsFilePath() {
    return SettingsDir + "Settings.ini";
}

std::string ExecutablePath() {
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    return error ? std::string() : executable.string();
}

bool CreateSettingsAtFirstStart() {
    if (!CurrentFolders.Installed) {
        return true;
    }
    std::error_code error;
    if (fs::exists(SettingsFilePath(), error)) {
        return true;  // the user's file: checked before asking the desktop for a folder
    }
    return CreateSettingsAtFirstStart(DocumentsFolder(HomeFolder()));
}

bool CreateSettingsAtFirstStart(const std::string& documents) {
    if (!CurrentFolders.Installed) {
        return true;
    }
    const std::string target = SettingsFilePath();
    std::error_code error;
    if (fs::exists(target, error)) {
        return true;
    }
    std::string shipped;
    if (!ReadWholeFile(CurrentFolders.SettingsTemplate, &shipped)) {
        return false;
    }
    fs::create_directories(SettingsDir, error);
    fs::create_directories(documents, error);
    fs::create_directories(CurrentFolders.Store, error);
    fs::permissions(CurrentFolders.Store, fs::perms::owner_all, error);
    // Written whole under another name, so a crash never leaves a half-made Settings.ini.
    const std::string draft = SettingsDir + ".Settings.ini.first";
    const bool made = WriteFileAtomically(draft, shipped) &&
                      WriteIniValue("GENERAL", "SOURCE", documents, draft) &&
                      WriteIniValue("GENERAL", "DESTINATION", CurrentFolders.Store, draft);
    if (made) {
        fs::rename(draft, target, error);
    }
    if (!made || error) {
        fs::remove(draft, error);
        return false;
    }
    return true;
}
