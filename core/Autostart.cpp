#include "core/Autostart.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "core/Paths.h"
#include "platform/AtomicFile.h"

namespace fs = std::filesystem;

namespace {

// Characters that make a desktop entry's Exec argument need quotes.
bool NeedsQuotes(const std::string& argument) {
    return argument.find_first_of(" \t\"'\\><~|&;$*?#()`") != std::string::npos;
}

// An Exec argument: quoted where needed, with the escapes of the quoted form, and then the
// backslashes of the string value doubled once more.
std::string ExecArgument(const std::string& argument) {
    std::string quoted;
    if (!NeedsQuotes(argument)) {
        quoted = argument;
    } else {
        quoted = "\"";
        for (const char c : argument) {
            if (c == '"' || c == '`' || c == '$' || c == '\\') {
                quoted += '\\';
            }
            quoted += c;
        }
        quoted += '"';
    }
    std::string value;
    for (const char c : quoted) {
        value += c;
        if (c == '\\') {
            value += '\\';
        }
    }
    return value;
}

std::string Lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    const size_t last = text.find_last_not_of(" \t\r");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

}  // namespace

std::string AutostartEntryPath() {
    return CurrentUserFolders().ConfigHome + "/autostart/ostrevan.desktop";
}

std::string AutostartEntryText(const std::string& executable) {
    if (executable.empty() || executable.find_first_of("\r\n") != std::string::npos) {
        return {};
    }
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Ostrevan\n"
           "Comment=Keeps earlier versions of your documents\n"
           "Exec=" +
           ExecArgument(executable) + " " + kAutostartArgument +
           "\n"
           "Icon=org.example.ostrevan\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool AutostartEnabled() {
    std::ifstream entry(AutostartEntryPath(), std::ios::binary);
    if (!entry) {
        return false;
    }
    bool inMainGroup = false;
    std::string line;
    while (std::getline(entry, line)) {
        line = Trimmed(line);
        if (!line.empty() && line.front() == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        const size_t equals = line.find('=');
        if (!inMainGroup || equals == std::string::npos) {
            continue;
        }
        const std::string key = Trimmed(line.substr(0, equals));
        const std::string value = Lowered(Trimmed(line.substr(equals + 1)));
        if ((key == "Hidden" && value == "true") ||
            (key == "X-GNOME-Autostart-enabled" && value == "false")) {
            return false;
        }
    }
    return true;
}

bool SetAutostart(bool enabled, const std::string& executable) {
    const std::string path = AutostartEntryPath();
    std::error_code error;
    if (!enabled) {
        fs::remove(path, error);
        return !error;
    }
    const std::string text = AutostartEntryText(executable);
    if (text.empty()) {
        return false;
    }
    fs::create_directories(fs::path(path).parent_path(), error);
    return WriteFileAtomically(path, text);
}
