// The two layouts: which one a program folder gets, where each keeps settings, logs and language
// files, the XDG defaults, and the settings file a first installed start makes.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/mount.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "core/Autostart.h"
#include "core/Paths.h"
#include "lang/Language.h"
#include "tests/TempFolder.h"

namespace fs = std::filesystem;

namespace {

// Sets environment variables for one test and puts the old values back at its end.
class EnvironmentOverride {
  public:
    ~EnvironmentOverride() {
        for (const auto& [name, value] : saved_) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
    }
    void Set(const std::string& name, const std::optional<std::string>& value) {
        if (!saved_.count(name)) {
            const char* old = getenv(name.c_str());
            saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value) {
            setenv(name.c_str(), value->c_str(), 1);
        } else {
            unsetenv(name.c_str());
        }
    }

  private:
    std::map<std::string, std::optional<std::string>> saved_;
};

class InstallLayout : public ::testing::Test {
  protected:
    void TearDown() override { InitPaths(savedProgramDir_); }

    // An install tree: prefix/bin holds the program, prefix/share/ostrevan the shipped files.
    fs::path MakeInstallTree(const std::string& shippedSettings) {
        const fs::path prefix = root_ / "usr";
        fs::create_directories(prefix / "bin");
        WriteBytes(prefix / "share/ostrevan/Language/GUI.ini", "[GUI_FORM]\r\nTITLE=Installed\r\n");
        if (!shippedSettings.empty()) {
            WriteBytes(prefix / "share/ostrevan/Settings.ini", shippedSettings);
        }
        return prefix;
    }

    TUserFolders User() const {
        return {(root_ / "home").string(), (root_ / "config").string(), (root_ / "data").string(),
                (root_ / "state").string()};
    }

    const TempFolder temp_{"ostrevan-layout"};
    const fs::path& root_ = temp_.Path();
    const std::string savedProgramDir_ = ProgramDir;
    EnvironmentOverride environment_;
};

const char* const kShipped =
    "[GENERAL]\r\nSOURCE=\r\nSUBFOLDERS=TRUE\r\nDESTINATION=\r\nSKIPLIKETASKS=FALSE\r\n\r\n"
    "[FILTERS]\r\nBYSIZE=\r\nBYEXT=.tmp;.bak\r\nBYEXTMODE=2\r\n";

}  // namespace

TEST_F(InstallLayout, AWritableSettingsFolderKeepsEverythingBesideTheProgram) {
    fs::create_directories(root_ / "app/Settings");
    const TProgramFolders folders = ChooseProgramFolders((root_ / "app/").string(), User());
    EXPECT_FALSE(folders.Installed);
    EXPECT_EQ(folders.Program, (root_ / "app").string());
    EXPECT_EQ(folders.Settings, (root_ / "app/Settings/").string());
    EXPECT_EQ(folders.Logs, (root_ / "app/Logs").string());
    EXPECT_EQ(folders.Language, (root_ / "app/Language").string());
}

TEST_F(InstallLayout, ASettingsFolderOnAReadOnlyMountIsNotPortable) {
    const fs::path settings = root_ / "app/Settings";
    fs::create_directories(settings);
    if (mount(settings.c_str(), settings.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        GTEST_SKIP() << "bind mount not permitted";
    }
    const bool readOnly =
        mount(nullptr, settings.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
    const TProgramFolders folders = ChooseProgramFolders((root_ / "app").string(), User());
    umount2(settings.c_str(), MNT_DETACH);
    ASSERT_TRUE(readOnly);
    EXPECT_TRUE(folders.Installed);
    EXPECT_EQ(folders.Settings, (root_ / "config/ostrevan/").string());
}

TEST_F(InstallLayout, WithoutASettingsFolderTheUserFoldersAndTheSharedDataAreUsed) {
    const fs::path prefix = MakeInstallTree(kShipped);
    // A file named Settings is no settings folder either.
    WriteBytes(prefix / "bin/Settings", "");
    const TProgramFolders folders = ChooseProgramFolders((prefix / "bin").string(), User());
    EXPECT_TRUE(folders.Installed);
    EXPECT_EQ(folders.Program, (prefix / "bin").string());
    EXPECT_EQ(folders.Settings, (root_ / "config/ostrevan/").string());
    EXPECT_EQ(folders.Logs, (root_ / "state/ostrevan/Logs").string());
    EXPECT_EQ(folders.Language, (prefix / "share/ostrevan/Language").string());
    EXPECT_EQ(folders.Store, (root_ / "data/ostrevan/store").string());

    InitPaths(folders);
    EXPECT_TRUE(InstalledLayout());
    EXPECT_EQ(SettingsFilePath(), (root_ / "config/ostrevan/Settings.ini").string());
    EXPECT_EQ(LanguageText("GUI_FORM", "TITLE"), "Installed");
}

TEST_F(InstallLayout, AReadOnlyPortableFolderKeepsItsOwnLanguageAndShippedSettings) {
    WriteBytes(root_ / "app/Language/GUI.ini", "[GUI_FORM]\r\nTITLE=Portable\r\n");
    WriteBytes(root_ / "app/Settings/Settings.ini", kShipped);
    const TProgramFolders folders = InstalledFolders((root_ / "app").string(), User());
    EXPECT_EQ(folders.Language, (root_ / "app/Language").string());
    EXPECT_EQ(folders.SettingsTemplate, (root_ / "app/Settings/Settings.ini").string());
    EXPECT_EQ(folders.Settings, (root_ / "config/ostrevan/").string());
}

TEST_F(InstallLayout, XdgVariablesOverrideTheDefaultsOnlyWithAbsolutePaths) {
    environment_.Set("HOME", "/home/someone");
    environment_.Set("XDG_CONFIG_HOME", std::nullopt);
    environment_.Set("XDG_DATA_HOME", "");
    environment_.Set("XDG_STATE_HOME", "relative/state");
    TUserFolders user = CurrentUserFolders();
    EXPECT_EQ(user.Home, "/home/someone");
    EXPECT_EQ(user.ConfigHome, "/home/someone/.config");
    EXPECT_EQ(user.DataHome, "/home/someone/.local/share");
    EXPECT_EQ(user.StateHome, "/home/someone/.local/state");

    environment_.Set("XDG_CONFIG_HOME", "/x/config/");
    environment_.Set("XDG_DATA_HOME", "/x/data");
    environment_.Set("XDG_STATE_HOME", "/x/state");
    user = CurrentUserFolders();
    EXPECT_EQ(user.ConfigHome, "/x/config");
    EXPECT_EQ(user.DataHome, "/x/data");
    EXPECT_EQ(user.StateHome, "/x/state");
    EXPECT_EQ(AutostartEntryPath(), "/x/config/autostart/ostrevan.desktop");
}

TEST_F(InstallLayout, FirstStartMakesTheSettingsFromTheShippedOneAndNeverOverwritesThem) {
    const fs::path prefix = MakeInstallTree(kShipped);
    InitPaths(InstalledFolders((prefix / "bin").string(), User()));
    const fs::path documents = root_ / "home/Papers";
    ASSERT_TRUE(CreateSettingsAtFirstStart(documents.string()));

    const std::string settings = SettingsFilePath();
    EXPECT_EQ(ReadIniValue("GENERAL", "SOURCE", settings), documents.string());
    EXPECT_EQ(ReadIniValue("GENERAL", "DESTINATION", settings),
              (root_ / "data/ostrevan/store").string());
    EXPECT_EQ(ReadIniValue("FILTERS", "BYEXT", settings), ".tmp;.bak");
    EXPECT_TRUE(fs::is_directory(documents));
    EXPECT_TRUE(fs::is_directory(root_ / "data/ostrevan/store"));
    EXPECT_EQ(fs::status(root_ / "data/ostrevan/store").permissions() & fs::perms::all,
              fs::perms::owner_all);
    // Only the settings file is left in the folder: the draft it was made as is gone.
    EXPECT_EQ(std::distance(fs::directory_iterator(root_ / "config/ostrevan"), {}), 1);

    WriteIniValue("GENERAL", "SOURCE", "/chosen/by/the/user", settings);
    EXPECT_TRUE(CreateSettingsAtFirstStart((root_ / "elsewhere").string()));
    EXPECT_EQ(ReadIniValue("GENERAL", "SOURCE", settings), "/chosen/by/the/user");
    EXPECT_FALSE(fs::exists(root_ / "elsewhere"));
}

TEST_F(InstallLayout, NoSettingsAreMadeWithoutAShippedFileOrInThePortableLayout) {
    const fs::path prefix = MakeInstallTree("");
    InitPaths(InstalledFolders((prefix / "bin").string(), User()));
    EXPECT_FALSE(CreateSettingsAtFirstStart((root_ / "docs").string()));
    EXPECT_FALSE(fs::exists(SettingsFilePath()));

    fs::create_directories(root_ / "app/Settings");
    InitPaths((root_ / "app").string());
    EXPECT_TRUE(CreateSettingsAtFirstStart((root_ / "docs").string()));
    EXPECT_FALSE(fs::exists(SettingsFilePath()));
}

TEST(AutostartEntry, RunsThisProgramAtLoginAndQuotesAnOddPath) {
    EXPECT_NE(
        AutostartEntryText("/usr/bin/ostrevan").find("\nExec=/usr/bin/ostrevan --autostart\n"),
        std::string::npos);
    // Quoted, with ", `, $ and \ escaped, and each backslash doubled again for the string value.
    EXPECT_NE(AutostartEntryText("/opt/my apps/$x\\y/ostrevan")
                  .find("\nExec=\"/opt/my apps/\\\\$x\\\\\\\\y/ostrevan\" --autostart\n"),
              std::string::npos);
    EXPECT_EQ(AutostartEntryText("/opt/line\nbreak/ostrevan"), "");
    EXPECT_EQ(AutostartEntryText(""), "");
}
