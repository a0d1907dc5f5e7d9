#include "lang/Language.h"

#include <mutex>
#include <optional>

#include "platform/DateTimeText.h"
#include "platform/IniFile.h"

namespace {

std::string languageFolder;

// The one open INI file shared by the routines below. Only language lookups keep it open
// between calls; the settings and index routines reopen their file every time.
struct TIniCache {
    std::optional<IniFile> File;
    std::string Name;  // the stem the language file was opened for; empty when none
};
TIniCache IniCache;
// The window's thread looks up texts while the store thread may read or write an index.
std::mutex IniCacheLock;

void CloseIniCache() {
    IniCache.File.reset();
    IniCache.Name.clear();
}

char FoldAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Position of the first occurrence of an upper-case placeholder, letters compared without
// regard to ASCII case; npos when there is none.
std::size_t FindPlaceholder(const std::string& text, const std::string& placeholder) {
    if (text.size() < placeholder.size()) {
        return std::string::npos;
    }
    for (std::size_t pos = 0; pos + placeholder.size() <= text.size(); ++pos) {
        std::size_t i = 0;
        while (i < placeholder.size() && FoldAscii(text[pos + i]) == placeholder[i]) {
            ++i;
        }
        if (i == placeholder.size()) {
            return pos;
        }
    }
    return std::string::npos;
}

bool ReplaceFirst(std::string& text, const std::string& placeholder, std::string (*now)()) {
    const std::size_t pos = FindPlaceholder(text, placeholder);
    if (pos == std::string::npos) {
        return false;
    }
    text.replace(pos, placeholder.size(), now());
    return true;
}

}  // namespace

void SetLanguageFolder(const std::string& folder) {
    const std::lock_guard<std::mutex> guard(IniCacheLock);
    CloseIniCache();
    languageFolder = folder;
}

std::string LanguageText(const std::string& section, const std::string& key,
                         const std::string& stem) {
    const std::lock_guard<std::mutex> guard(IniCacheLock);
    if (!IniCache.File || IniCache.Name != stem) {
        CloseIniCache();
        IniCache.File = IniFile::Open(languageFolder + "/" + stem + ".ini");
        if (!IniCache.File) {
            return kLanguageError;
        }
        IniCache.Name = stem;
    }
    const std::optional<std::string> value = IniCache.File->Read(section, key);
    return SubstituteDateTime(value ? *value : kMarkerPrefix + section);
}

std::string ReadIniValue(const std::string& section, const std::string& key,
                         const std::string& path) {
    {
        const std::lock_guard<std::mutex> guard(IniCacheLock);
        CloseIniCache();
    }
    const std::optional<IniFile> file = IniFile::Open(path);
    if (!file) {
        return kLanguageError;
    }
    const std::optional<std::string> value = file->Read(section, key);
    return SubstituteDateTime(value ? *value : kMarkerPrefix + section + " - " + key);
}

bool WriteIniValue(const std::string& section, const std::string& key, const std::string& value,
                   const std::string& path) {
    {
        const std::lock_guard<std::mutex> guard(IniCacheLock);
        CloseIniCache();
    }
    std::optional<IniFile> file = IniFile::Open(path);
    return file && file->Write(section, key, value);
}

std::string SubstituteDateTime(std::string text) {
    // Each pass replaces the first $DATE$ and then the first $TIME$, until nothing is left. The
    // inserted texts hold no '$', so every replacement removes two of them: the bound below is
    // never reached and only guards against a strange regional format that holds '$'.
    std::size_t passesLeft = text.size() / 2 + 1;
    bool changed = true;
    while (changed && passesLeft-- > 0) {
        changed = ReplaceFirst(text, "$DATE$", ShortDateText);
        changed = ReplaceFirst(text, "$TIME$", LongTimeText) || changed;
    }
    return text;
}
